#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the whole show on a 1920x1080 virtual screen with openbox, the Linux
# program and the Windows program under Wine in turn, each alone, with its own
# renderer choice and with Qt Quick's software backend forced, and prints
# medians over the rounds. Measured as bench/run.sh measures, from Qt Quick's
# per-frame renderer log; Wine's CPU is the program's and wineserver's.
# Usage: bench/wine.sh [ROUNDS]   (default 3)
#
# Environment: VEXSHOW (the Linux program; default: built into build-bench),
# VEXSHOW_WINDOWS_BUNDLE (the folder with vexshow.exe; default: gathered by
# scripts/windows.sh into build-windows/vexshow), SHOW_SECONDS (19).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [ROUNDS]" >&2; exit 2; }
show=${SHOW_SECONDS:-19}
source "$root/bench/measure.sh"
build_program
if [ -z "${VEXSHOW_WINDOWS_BUNDLE:-}" ]; then
    VEXSHOW_WINDOWS_BUNDLE=$root/build-windows/vexshow
    "$root/scripts/windows.sh" >/dev/null
fi
windows_program=$VEXSHOW_WINDOWS_BUNDLE/vexshow.exe
for tool in Xvfb openbox wine wineserver /usr/bin/time "$VEXSHOW" "$windows_program"; do
    command -v "$tool" >/dev/null || { echo "bench: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
source "$root/scripts/virtual-screen.sh"
trap 'wineserver -k 2>/dev/null; stop_virtual_screen; rm -rf "$work"' EXIT
start_virtual_screen 1920x1080 "$work" || { echo "bench: no virtual screen" >&2; exit 1; }

# A Wine prefix of the run's own: Wine hands no QT_* variable on to Windows
# programs, so they go into its registry's user environment, which does.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "bench: making a Wine prefix" >&2
wineboot --init
wineserver -w
# A server that stays between runs, so that its CPU over each can be read.
wineserver -p

# wine_env NAME [VALUE]: sets, or without a value removes, a variable that
# the Windows program sees.
wine_env() {
    if [ $# -eq 2 ]; then
        wine reg add 'HKCU\Environment' /v "$1" /d "$2" /f >/dev/null 2>&1
    else
        wine reg delete 'HKCU\Environment' /v "$1" /f >/dev/null 2>&1 || true
    fi
}
wine_env QT_LOGGING_RULES "$QT_LOGGING_RULES"
wine_env QT_MESSAGE_PATTERN "$QT_MESSAGE_PATTERN"
# With no console, Qt on Windows logs to the debugger rather than stderr.
wine_env QT_FORCE_STDERR_LOGGING 1

wineserver_pid=''
for pid in $(pgrep -x 'wineserver(32|64)?'); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
        wineserver_pid=$pid
    fi
done
[ -n "$wineserver_pid" ] || { echo "bench: wineserver did not start" >&2; exit 1; }
# cpu_ticks PID: user and system time of a process so far, in clock ticks.
cpu_ticks() {
    awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}
ticks_per_second=$(getconf CLK_TCK)

# run_wine NAME: the Windows program under Wine, with wineserver's CPU over
# the run added to the program's.
run_wine() {
    local name=$1 before after
    before=$(cpu_ticks "$wineserver_pid")
    run "$name" wine "$windows_program"
    after=$(cpu_ticks "$wineserver_pid")
    awk -v extra="$(( after - before ))" -v hz="$ticks_per_second" \
        'NR == n { $1 = sprintf("%.2f", $1 + extra / hz) } { print }' n="$(wc -l <"$work/$name")" \
        "$work/$name" >"$work/$name.new"
    mv "$work/$name.new" "$work/$name"
}

echo "bench: $rounds round(s) on $DISPLAY: $VEXSHOW and $windows_program under Wine $(wine --version)" >&2
for i in $(seq "$rounds"); do
    run linux "$VEXSHOW"
    run linux-sw env QT_QUICK_BACKEND=software "$VEXSHOW"
    wine_env QT_QUICK_BACKEND
    run_wine wine
    wine_env QT_QUICK_BACKEND software
    run_wine wine-sw
    wine_env QT_QUICK_BACKEND
    echo "bench: round $i: linux $(tail -n1 "$work/linux")  linux-sw $(tail -n1 "$work/linux-sw")" \
        " wine $(tail -n1 "$work/wine")  wine-sw $(tail -n1 "$work/wine-sw")" >&2
done

status=0
for name in linux linux-sw wine wine-sw; do
    while read -r r; do
        [ "$r" = 0 ] || { echo "bench: $name exited with status $r" >&2; status=1; }
    done < <(awk '{ print $8 }' "$work/$name")
    [ "$(col "$name" 2)" != 0 ] || { echo "bench: no frames were counted for $name" >&2; status=1; }
done

printf '%-32s %10s %10s %10s %10s\n' "median over $rounds round(s)" linux linux-sw wine wine-sw
names=('CPU user+sys over the show (s)' 'frames rendered' 'frames per second of show' \
       'largest gap between frames (ms)' 'first frame after start (ms)' 'peak RSS (MB)' \
       'exit after show start (s)')
for c in 1 2 3 4 5 6 7; do
    printf '%-32s %10s %10s %10s %10s\n' "${names[c - 1]}" \
        "$(col linux $c)" "$(col linux-sw $c)" "$(col wine $c)" "$(col wine-sw $c)"
done
exit $status
