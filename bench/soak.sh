#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the whole show N times in a row (default 30) on a virtual 1280x800
# screen, and checks that every run exits with code 0 at about 19 s (17 to
# 25 s). Prints each run's exit code, duration and peak memory, then a
# summary; exits 1 if any run failed. Takes about 20 s a run.
# Usage: bench/soak.sh [--on x11|wayland|both] [N]
#
# x11 (the default) is Xvfb with openbox; wayland is weston's headless
# desktop; both alternates the two, run by run, so that their memory can be
# told apart on the same machine at the same time.
#
# With --loop it instead plays one show with --loop for SECONDS of real time
# (on the first display named), then stops it with SIGTERM. It prints each
# round's resident memory, taken half-way through it, and its largest gap
# between two frames from Qt Quick's per-frame renderer log; it fails if the
# show did not exit with code 0 on the signal or its memory grew by 2 MB or
# more from round 2 to the last.
# Usage: bench/soak.sh [--on x11|wayland] --loop SECONDS
#
# Environment: VEXSHOW (the program; default: built into build/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
on=x11
if [ "${1:-}" = --on ]; then
    on=${2:-}
    shift 2
fi
loop_seconds=''
if [ "${1:-}" = --loop ]; then
    loop_seconds=${2:-}
    shift 2
fi
runs=${1:-30}
if ! [[ $runs =~ ^[1-9][0-9]*$ ]] || ! [[ $on =~ ^(x11|wayland|both)$ ]] \
        || ! [[ $loop_seconds =~ ^([1-9][0-9]*)?$ ]]; then
    echo "usage: $0 [--on x11|wayland|both] [N]" >&2
    echo "       $0 [--on x11|wayland] --loop SECONDS" >&2
    exit 2
fi

if [ -z "${VEXSHOW:-}" ]; then
    VEXSHOW=$root/build/vexshow
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
    cmake --build "$root/build" --target vexshow >/dev/null
fi
for tool in Xvfb openbox weston xprop timeout /usr/bin/time "$VEXSHOW"; do
    command -v "$tool" >/dev/null || { echo "soak: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
source "$root/scripts/virtual-screen.sh"
trap 'stop_virtual_screen; rm -rf "$work"' EXIT
# Each display's environment for the show, as its start function exports it.
declare -A display_env
if [ "$on" != wayland ]; then
    mkdir "$work/x11"
    start_virtual_screen 1280x800 "$work/x11" || { echo "soak: no X server" >&2; exit 1; }
    display_env[x11]="DISPLAY=$DISPLAY QT_QPA_PLATFORM=xcb"
fi
if [ "$on" != x11 ]; then
    mkdir "$work/wayland"
    start_wayland_screen 1280x800 "$work/wayland" || { echo "soak: no compositor" >&2; exit 1; }
    display_env[wayland]="XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR WAYLAND_DISPLAY=$WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland"
fi
displays=("${!display_env[@]}")
[ "$on" = both ] && displays=(x11 wayland)

# Microseconds since the epoch.
now() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# One looping show for loop_seconds on the first display; see the header.
soak_loop() {
    local display=${displays[0]} round=19 log=$work/loop.log status=0 pid variables
    read -r -a variables <<<"${display_env[$display]}"
    echo "soak: $VEXSHOW --loop for $loop_seconds s on $display (1280x800)"
    env -u DISPLAY -u WAYLAND_DISPLAY "${variables[@]}" TZ=UTC \
        QT_LOGGING_RULES=qt.scenegraph.time.renderer.debug=true \
        QT_MESSAGE_PATTERN='%{time HH:mm:ss.zzz} %{category} %{message}' \
        "$VEXSHOW" --loop 2>"$log" &
    pid=$!
    local begin=$SECONDS rss=()
    # Half-way through each round, as counted from the start.
    sleep $((round / 2))
    while [ $((SECONDS - begin)) -lt "$loop_seconds" ] && kill -0 "$pid" 2>/dev/null; do
        rss+=("$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")")
        sleep "$round"
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || status=$?
    # The largest gap between frames in each round, counted from the first frame.
    local gaps
    gaps=$(awk -v round="$round" '$2 == "qt.scenegraph.time.renderer" {
            split($1, t, ":"); ts = t[1]*3600 + t[2]*60 + t[3]
            if (n++ == 0) first = ts
            else { r = int((ts - first) / round); if (ts - last > gap[r]) gap[r] = ts - last; if (r > rounds) rounds = r }
            last = ts
        }
        END { for (r = 0; r <= rounds; r++) printf "%.0f ", gap[r] * 1000 }' "$log")
    read -r -a gaps <<<"$gaps"
    local i
    for i in "${!rss[@]}"; do
        printf 'round %3d: RSS %6.1f MB, largest gap between frames %4s ms\n' $((i + 1)) \
            "$(awk -v kb="${rss[i]}" 'BEGIN { print kb / 1024 }')" "${gaps[i]:-?}"
    done
    local growth=0
    [ ${#rss[@]} -lt 2 ] || growth=$((rss[-1] - rss[1]))
    echo "soak: exit $status on SIGTERM after $((SECONDS - begin)) s, ${#rss[@]} rounds;" \
        "RSS grew $growth kB from round 2 to the last;" \
        "largest gap $(printf '%s\n' "${gaps[@]}" | sort -n | tail -n1) ms"
    [ "$status" -eq 0 ] && [ "$growth" -lt 2048 ]
}
if [ -n "$loop_seconds" ]; then
    soak_loop
    exit
fi

echo "soak: $runs runs of $VEXSHOW on ${displays[*]} (1280x800)"
passed=0
durations=()
declare -A peaks
for ((run = 1; run <= runs; run++)); do
    display=${displays[$(( (run - 1) % ${#displays[@]} ))]}
    begin=$(now)
    status=0
    # A run that hangs is ended, and counts as failed (124 or 137).
    read -ra variables <<<"${display_env[$display]}"
    env -u DISPLAY -u WAYLAND_DISPLAY "${variables[@]}" \
        /usr/bin/time -f %M -o "$work/rss" timeout -k 5 60 "$VEXSHOW" >"$work/run.log" 2>&1 || status=$?
    ms=$(( ($(now) - begin) / 1000 ))
    kb=$(tail -n1 "$work/rss")
    durations+=("$ms")
    peaks[$display]+="$kb"$'\n'
    verdict=FAIL
    if [ "$status" -eq 0 ] && [ "$ms" -ge 17000 ] && [ "$ms" -le 25000 ]; then
        verdict=ok
        passed=$((passed + 1))
    fi
    printf 'run %3d/%d on %-7s exit %3d after %2d.%03d s, peak RSS %5.1f MB  %s\n' \
        "$run" "$runs" "$display:" "$status" $((ms / 1000)) $((ms % 1000)) \
        "$(awk -v kb="$kb" 'BEGIN { print kb / 1024 }')" "$verdict"
    if [ "$verdict" = FAIL ]; then
        sed 's/^/    /' "$work/run.log" | tail -n 20
    fi
    if ! virtual_screen_alive; then
        echo "soak: a display server or the window manager died after run $run" >&2
        break
    fi
done

mapfile -t sorted < <(printf '%s\n' "${durations[@]}" | sort -n)
count=${#sorted[@]}
median=${sorted[$((count / 2))]}
secs() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
failed=$((runs - passed))
echo "soak: $passed of $runs runs passed, $failed failed;" \
    "durations $(secs "${sorted[0]}")-$(secs "${sorted[$((count - 1))]}") s, median $(secs "$median") s"
for display in "${displays[@]}"; do
    echo "soak: median peak RSS on $display $(printf '%s' "${peaks[$display]}" | sort -n \
        | awk '{ v[NR] = $1 } END { printf "%.1f MB over %d runs", v[int((NR + 1) / 2)] / 1024, NR }')"
done
[ "$failed" -eq 0 ]
