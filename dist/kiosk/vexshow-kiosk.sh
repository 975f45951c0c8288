#!/bin/bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the show for ever in the kiosk compositor cage, turned and on the
# output /etc/default/vexshow-kiosk says (ROTATION, OUTPUT). Run by
# vexshow-kiosk.service, as /usr/lib/vexshow-kiosk/vexshow-kiosk:
#   vexshow-kiosk            starts cage, with -s so that a technician can
#                            still switch to another console
#   vexshow-kiosk --in-cage SHOW...
#                            cage's one client where OUTPUT chooses an output:
#                            keeps the others switched off through wlr-randr,
#                            then becomes the show, SHOW
#   vexshow-kiosk --stop PID  asks the show in cage PID to end, and waits a
#                            little for cage to follow it
set -euo pipefail

# The show ends cleanly on SIGTERM, and cage with its client; Debian 12's cage
# aborts on SIGTERM itself.
if [ "${1:-}" = --stop ]; then
    cage=${2:-}
    [ -n "$cage" ] || exit 0
    children=()
    read -ra children 2>/dev/null <"/proc/$cage/task/$cage/children" || true
    for child in "${children[@]}"; do
        if [ "$(cat "/proc/$child/comm" 2>/dev/null)" = vexshow ]; then
            kill -TERM "$child" || true
        fi
    done
    for ((i = 0; i < 20; i++)); do
        kill -0 "$cage" 2>/dev/null || break
        sleep 0.1
    done
    exit 0
fi

# hold_output: switches every output but $OUTPUT off, or all on while there
# is no $OUTPUT; once, or with "again" every 2 s for as long as the show, this
# process, plays. cage gives an output that comes back (a screen out of
# standby, a cable plugged in) its defaults, which light it. The show's end
# ends it: a restarted cage has the same socket, and outputs of its own to
# keep.
missing=''
hold_output() {
    local listing name state want
    while kill -0 $$ 2>/dev/null && listing=$(wlr-randr 2>/dev/null); do
        local -A enabled=()
        while read -r name state; do
            enabled[$name]=$state
        done < <(awk '/^[^ ]/ { name = $1 } /^ +Enabled:/ { print name, $2 }' <<<"$listing")
        if [ -n "${enabled[$OUTPUT]:-}" ]; then
            missing=''
        elif [ -z "$missing" ]; then
            echo "vexshow-kiosk: no output $OUTPUT, only: ${!enabled[*]}; showing on all" >&2
            missing=yes
        fi
        for name in "${!enabled[@]}"; do
            want=$([ -n "$missing" ] || [ "$name" = "$OUTPUT" ] && echo on || echo off)
            [ "${enabled[$name]}" != "$([ "$want" = on ] && echo yes || echo no)" ] || continue
            # The show on a screen set up wrong beats no show.
            if ! wlr-randr --output "$name" "--$want"; then
                echo "vexshow-kiosk: cage did not switch $name $want; leaving the outputs as they are" >&2
                return 0
            fi
        done
        [ "${1:-}" = again ] || return 0
        sleep 2
    done
}

if [ "${1:-}" = --in-cage ]; then
    hold_output
    # Away from the show, which becomes this process.
    (hold_output again &)
    exec "${@:2}"
fi

# systemd passes over a line of the settings that is no assignment without a
# word.
settings=/etc/default/vexshow-kiosk
if [ -r "$settings" ]; then
    grep -n -v -E '^[[:space:]]*([#;]|$)|^[[:space:]]*[A-Za-z_][A-Za-z0-9_]*[[:space:]]*=' "$settings" |
        sed "s|^\([0-9]*\):|vexshow-kiosk: $settings:\1 is not NAME=VALUE, ignored: |" >&2 || true
fi

rotation=${ROTATION:-0}
case "$rotation" in
    0 | 90 | 180 | 270) ;;
    *)
        echo "vexshow-kiosk: ROTATION is 0, 90, 180 or 270, not $rotation; not turning" >&2
        rotation=0
        ;;
esac
# The show turns itself, inside its window, on every output and whatever
# happens to them.
show=(vexshow --loop --rotate "$rotation")
# The service hides logind's /run/user; its own runtime directory stands in.
if [ -n "${RUNTIME_DIRECTORY:-}" ]; then
    export XDG_RUNTIME_DIR=$RUNTIME_DIRECTORY
fi

if [ -z "${OUTPUT:-}" ]; then
    exec cage -s -- "${show[@]}"
fi
# cage 0.1 has no output management; later ones leave it to a client.
if [[ "$(cage -v 2>&1)" == *" 0.1."* ]]; then
    echo "vexshow-kiosk: this cage cannot choose an output; OUTPUT=$OUTPUT ignored, showing on all" >&2
    exec cage -s -- "${show[@]}"
fi
exec cage -s -- "$0" --in-cage "${show[@]}"
