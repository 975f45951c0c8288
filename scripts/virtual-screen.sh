# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash
# Sourced by the scripts that play the show on a virtual screen of their own:
#   start_virtual_screen WIDTHxHEIGHT DIR   Xvfb and openbox, logs in DIR;
#                                           exports DISPLAY for the show
#   start_wayland_screen WIDTHxHEIGHT DIR   weston's headless desktop instead;
#                                           exports WAYLAND_DISPLAY
#   virtual_screen_alive                    all still running
#   stop_virtual_screen                     ends what the starts began

virtual_screen_pids=()

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds or time runs out.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

start_virtual_screen() {
    local size=$1 dir=$2 fd
    # Xvfb picks a free display and writes its number once it accepts clients.
    # Without -noreset it resets whenever its last client leaves, which can
    # throw out a window manager that is just connecting.
    exec {fd}>"$dir/display"
    Xvfb -displayfd "$fd" -noreset -nolisten tcp -screen 0 "${size}x24" 2>"$dir/xvfb.log" &
    virtual_screen_pids+=($!)
    exec {fd}>&-
    if ! wait_for 15 test -s "$dir/display"; then
        echo "Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        return 1
    fi
    DISPLAY=:$(head -n1 "$dir/display")
    export DISPLAY
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY

    # Full-screen state is the window manager's to grant.
    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    virtual_screen_pids+=($!)
    if ! wait_for 15 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'; then
        echo "openbox did not start:" >&2
        cat "$dir/openbox.log" >&2
        return 1
    fi
}

start_wayland_screen() {
    local size=$1 dir=$2
    mkdir -m 700 "$dir/runtime"
    XDG_RUNTIME_DIR=$dir/runtime weston --no-config --backend=headless-backend.so --use-pixman \
        --width="${size%x*}" --height="${size#*x}" --socket=vexshow --idle-time=0 \
        >"$dir/weston.log" 2>&1 &
    virtual_screen_pids+=($!)
    if ! wait_for 15 test -S "$dir/runtime/vexshow"; then
        echo "weston did not start:" >&2
        cat "$dir/weston.log" >&2
        return 1
    fi
    export XDG_RUNTIME_DIR=$dir/runtime WAYLAND_DISPLAY=vexshow QT_QPA_PLATFORM=wayland
    unset DISPLAY
}

virtual_screen_alive() {
    local pid
    for pid in "${virtual_screen_pids[@]}"; do
        kill -0 "$pid" 2>/dev/null || return 1
    done
}

stop_virtual_screen() {
    local pid
    for pid in "${virtual_screen_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    virtual_screen_pids=()
}
