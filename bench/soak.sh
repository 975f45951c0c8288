#!/usr/bin/env bash
# Plays the whole show N times in a row (default 30) on one virtual 1280x800
# screen with a window manager, and checks that every run exits with code 0
# at about 19 s (17 to 25 s). Prints each run's exit code and duration, then a
# summary; exits 1 if any run failed. Takes about 20 s a run.
# Usage: bench/soak.sh [N]
#
# Environment: VEXSHOW (the program; default: built into build/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-30}
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [N]" >&2
    exit 2
fi

if [ -z "${VEXSHOW:-}" ]; then
    VEXSHOW=$root/build/vexshow
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
    cmake --build "$root/build" --target vexshow >/dev/null
fi
for tool in Xvfb openbox xprop timeout "$VEXSHOW"; do
    command -v "$tool" >/dev/null || { echo "soak: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
source "$root/scripts/virtual-screen.sh"
trap 'stop_virtual_screen; rm -rf "$work"' EXIT
start_virtual_screen 1280x800 "$work" || { echo "soak: no virtual screen" >&2; exit 1; }

# Microseconds since the epoch.
now() { local t=$EPOCHREALTIME; echo "${t/./}"; }

echo "soak: $runs runs of $VEXSHOW on display $DISPLAY (1280x800)"
passed=0
durations=()
for ((run = 1; run <= runs; run++)); do
    begin=$(now)
    status=0
    # A run that hangs is ended, and counts as failed (124 or 137).
    timeout -k 5 60 "$VEXSHOW" >"$work/run.log" 2>&1 || status=$?
    ms=$(( ($(now) - begin) / 1000 ))
    durations+=("$ms")
    verdict=FAIL
    if [ "$status" -eq 0 ] && [ "$ms" -ge 17000 ] && [ "$ms" -le 25000 ]; then
        verdict=ok
        passed=$((passed + 1))
    fi
    printf 'run %3d/%d: exit %3d after %2d.%03d s  %s\n' \
        "$run" "$runs" "$status" $((ms / 1000)) $((ms % 1000)) "$verdict"
    if [ "$verdict" = FAIL ]; then
        sed 's/^/    /' "$work/run.log" | tail -n 20
    fi
    if ! virtual_screen_alive; then
        echo "soak: the X server or the window manager died after run $run" >&2
        break
    fi
done

sorted=($(printf '%s\n' "${durations[@]}" | sort -n))
count=${#sorted[@]}
median=${sorted[$((count / 2))]}
secs() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
failed=$((runs - passed))
echo "soak: $passed of $runs runs passed, $failed failed;" \
    "durations $(secs "${sorted[0]}")-$(secs "${sorted[$((count - 1))]}") s, median $(secs "$median") s"
[ "$failed" -eq 0 ]
