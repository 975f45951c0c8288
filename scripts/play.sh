#!/usr/bin/env bash
# Builds the show and plays it: on the desktop when there is one, otherwise on
# a virtual screen of its own, and then says how the show ended.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target vexshow

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/vexshow "$@"
fi

echo "No DISPLAY or WAYLAND_DISPLAY: playing on a virtual 1280x800 screen."

started=()
workdir=$(mktemp -d)
cleanup() {
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$workdir"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds or time runs out.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x800x24 >"$workdir/display" 2>"$workdir/xvfb.log" &
started+=($!)
if ! wait_for 15 test -s "$workdir/display"; then
    echo "Xvfb did not start:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(cat "$workdir/display")"
export QT_QPA_PLATFORM=xcb

openbox --sm-disable >"$workdir/openbox.log" 2>&1 &
started+=($!)
if ! wait_for 15 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'; then
    echo "openbox did not start:" >&2
    cat "$workdir/openbox.log" >&2
    exit 1
fi

begin=$(date +%s%N)
status=0
build/vexshow "$@" || status=$?
end=$(date +%s%N)
elapsed=$(( (end - begin) / 1000000 ))
printf 'The show ended with exit code %d after %d.%03d s.\n' \
    "$status" $((elapsed / 1000)) $((elapsed % 1000))
exit "$status"
