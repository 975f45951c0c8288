#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the whole show full-screen on a 1920x1080 virtual screen beside Qt's
# qml tool running the same scene file twice, once with its defaults and once
# with Qt Quick's software backend (QT_QUICK_BACKEND=software, the cheapest way
# the tool has to play it without a GPU), and prints medians over the rounds.
# Usage: bench/run.sh [--quick] [--pairs N] [--loop | --sync] [--release RELEASE]
#
# With --loop the program plays with --loop for two rounds, 38 s, and its CPU
# is taken a round, to weigh a round of the loop against a show of the peers.
# --sync does the same with the rounds in step with the clock, taken as
# synchronised whatever this machine's kernel says.
#
# With --release (bookworm, trixie or testing) it runs in a fresh root of that
# Debian release, against that release's Qt and qml tool (needs root).
#
# Each round plays the program and the software peer at the same time, each on
# a virtual screen of its own and the peer a second later, so that both meet
# the same machine load for all but their start-up; the
# CPU ratio to that peer is taken pair by pair. The default peer, which keeps
# both cores busy emulating a GPU, plays alone after them.
#
# Frames are counted from Qt Quick's own per-frame renderer log, which all
# three write with either scene graph backend, so the peers run unmodified.
# Show start is the first frame. The peers have no quit action, so they are
# sent SIGTERM 19 s after their first frame; ours must exit by itself.
#
# Environment: VEXSHOW (the program; default: built into build-bench),
# QML_TOOL (default: Qt 6's qml), SHOW_SECONDS (19).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
pairs=5
loop=()
while [ $# -gt 0 ]; do
    case $1 in
        --quick) pairs=1 ;;
        --pairs) pairs=$2; shift ;;
        --loop) loop=(--loop) ;;
        --sync) loop=(--sync); export VEXSHOW_TRUST_CLOCK=1 ;;
        --release) release=$2; shift ;;
        *) echo "usage: $0 [--quick] [--pairs N] [--loop | --sync] [--release RELEASE]" >&2; exit 2 ;;
    esac
    shift
done
if [ -n "${release:-}" ]; then
    exec "$root/scripts/debian-root.sh" "$release" amd64 bench/run.sh --pairs "$pairs" "${loop[@]}"
fi
show=${SHOW_SECONDS:-19}
source "$root/bench/measure.sh"
build_program
if [ -z "${QML_TOOL:-}" ]; then
    QML_TOOL=/usr/lib/qt6/bin/qml
    [ -x "$QML_TOOL" ] || QML_TOOL=$(command -v qml6 || command -v qml)
fi
scene=$root/resources/main.qml
for tool in Xvfb openbox /usr/bin/time "$VEXSHOW" "$QML_TOOL"; do
    command -v "$tool" >/dev/null || { echo "bench: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
source "$root/scripts/virtual-screen.sh"
trap 'stop_virtual_screen; rm -rf "$work"' EXIT
mkdir "$work/screen1" "$work/screen2"
start_virtual_screen 1920x1080 "$work/screen2" || { echo "bench: no virtual screen" >&2; exit 1; }
peer_display=$DISPLAY
start_virtual_screen 1920x1080 "$work/screen1" || { echo "bench: no virtual screen" >&2; exit 1; }

echo "bench: $pairs round(s) on $DISPLAY and $peer_display, $(basename "$VEXSHOW") vs $QML_TOOL $scene, default and software" >&2
for i in $(seq "$pairs"); do
    run vexshow "$VEXSHOW" "${loop[@]}" &
    ours=$!
    # Not both starting at once: each start-up, and so each first frame, has
    # the machine to itself.
    sleep 1
    DISPLAY=$peer_display run qml-sw env QT_QUICK_BACKEND=software "$QML_TOOL" "$scene" &
    wait "$ours" $!
    run qml "$QML_TOOL" "$scene"
    echo "bench: round $i: vexshow $(tail -n1 "$work/vexshow")  qml $(tail -n1 "$work/qml")" \
        " qml-sw $(tail -n1 "$work/qml-sw")" >&2
done

status=0
while read -r r; do
    [ "$r" = 0 ] || { echo "bench: vexshow exited with status $r" >&2; status=1; }
done < <(awk '{ print $8 }' "$work/vexshow")
if [ "$(col vexshow 2)" = 0 ] || [ "$(col qml 2)" = 0 ] || [ "$(col qml-sw 2)" = 0 ]; then
    echo "bench: no frames were counted" >&2
    status=1
fi

printf '%-32s %10s %10s %10s   %s\n' "median over $pairs round(s)" vexshow qml qml-sw goal
names=('CPU user+sys over the show (s)' 'frames rendered' 'frames per second of show' \
       'largest gap between frames (ms)' 'first frame after start (ms)' 'peak RSS (MB)' \
       'exit after show start (s)')
goals=('<= 0.5 x qml, <= 0.8 x qml-sw' '' '>= 59' '<= 50' '<= 150' '<= 80' '19.0 +- 0.1')
# A looping show exits when it is told to, after two rounds.
if [ ${#loop[@]} -gt 0 ]; then
    names[0]='CPU user+sys a show (s)'
    goals[6]=''
fi

ratios=''
software_ratios=''
for c in 1 2 3 4 5 6 7; do
    a=$(col vexshow $c); b=$(col qml $c); sw=$(col qml-sw $c)
    printf '%-32s %10s %10s %10s   %s\n' "${names[c - 1]}" "$a" "$b" "$sw" "${goals[c - 1]}" | sed 's/ *$//'
    ratios+=$(awk -v a="$a" -v b="$b" 'BEGIN { printf " %.2f", b != 0 ? a / b : 0 }')
    software_ratios+=$(awk -v a="$a" -v b="$sw" 'BEGIN { printf " %.2f", b != 0 ? a / b : 0 }')
done
echo "ratios vexshow/qml    (cpu frames fps gap first rss exit):$ratios"
echo "ratios vexshow/qml-sw (cpu frames fps gap first rss exit):$software_ratios"
# The pairs played at the same time, so their own ratios are the steadier ones.
pair_ratios=$(paste -d ' ' "$work/vexshow" "$work/qml-sw" \
    | awk '{ printf "%.2f\n", $9 != 0 ? $1 / $9 : 0 }')
echo "CPU vexshow/qml-sw pair by pair: ${pair_ratios//$'\n'/ }," \
    "median $(echo "$pair_ratios" | median) (goal <= 0.8)"
exit $status
