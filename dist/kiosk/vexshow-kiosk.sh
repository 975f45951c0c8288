#!/bin/bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the show for ever in the kiosk compositor cage, turned and on the
# output /etc/default/vexshow-kiosk says (ROTATION, OUTPUT), in step with
# other screens if it says SYNC=yes. Run by
# vexshow-kiosk.service, as /usr/lib/vexshow-kiosk/vexshow-kiosk:
#   vexshow-kiosk                  starts cage, with -s so that a technician
#                                  can still switch to another console, then
#                                  becomes the show
#   vexshow-kiosk --hold PID FIFO  cage's own client: writes where cage
#                                  listens to FIFO, keeps every output but
#                                  OUTPUT switched off, and keeps cage running
#                                  for as long as process PID, the show, runs
#
# The show is the service's main process, not cage's child: the login session
# moves cage and all it starts out of the service's control group, and from
# there systemd hears nothing the show says of being ready and well. The
# show ends cleanly on the service's SIGTERM, and cage a moment later; cage
# never gets that SIGTERM, on which Debian 12's cage aborts.
set -euo pipefail

# hold_output PID [again]: switches every output but $OUTPUT off, or all on
# while there is no $OUTPUT; once, or with "again" every 2 s for as long as
# process PID plays: cage gives an output that comes back (a screen out of
# standby, a cable plugged in) its defaults, which light it.
hold_output() {
    local listing name state want missing=''
    while kill -0 "$1" 2>/dev/null && listing=$(wlr-randr 2>/dev/null); do
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
        [ "${2:-}" = again ] || return 0
        sleep 2
    done
}

if [ "${1:-}" = --hold ]; then
    # The outputs are set before the show starts on them.
    if [ -n "${OUTPUT:-}" ]; then
        hold_output "$2"
        echo "$WAYLAND_DISPLAY" >"$3"
        hold_output "$2" again
    else
        echo "$WAYLAND_DISPLAY" >"$3"
    fi
    exec tail -f -s 0.2 --pid="$2" /dev/null
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
# cage 0.1 has no output management; later ones leave it to a client.
if [ -n "${OUTPUT:-}" ] && [[ "$(cage -v 2>&1)" == *" 0.1."* ]]; then
    echo "vexshow-kiosk: this cage cannot choose an output; OUTPUT=$OUTPUT ignored, showing on all" >&2
    OUTPUT=
fi
export OUTPUT
# The service hides logind's /run/user; its own runtime directory stands in.
if [ -n "${RUNTIME_DIRECTORY:-}" ]; then
    export XDG_RUNTIME_DIR=$RUNTIME_DIRECTORY
fi

# The cage of the show before ends only once its --hold client has seen that
# show end, which may be after this one started: until then it holds the
# screen, and as it goes it deletes the socket it made, by then the new
# cage's of the same name. It has a few seconds.
cage_left_over() {
    local comm name
    for comm in /proc/[0-9]*/comm; do
        [ -O "$comm" ] && read -r name 2>/dev/null <"$comm" && [ "$name" = cage ] && return 0
    done
    return 1
}
until=$((SECONDS + 5))
while cage_left_over && ((SECONDS < until)); do
    sleep 0.1
done
if cage_left_over; then
    echo "vexshow-kiosk: the cage of the show before still runs; starting another beside it" >&2
fi

# Opened for reading and writing, the fifo does not wait for cage to open it;
# a cage that does not start leaves nothing to read.
fifo=$(mktemp -u /tmp/vexshow-kiosk.XXXXXX)
mkfifo -m 600 "$fifo"
exec 3<>"$fifo"
# The console as its input, not the /dev/null a job in the background gets.
cage -s -- "$0" --hold $$ "$fifo" <&0 3<&- &
display=''
read -r -t 30 display <&3 || true
exec 3<&-
rm -f "$fifo"
if [ -z "$display" ]; then
    echo "vexshow-kiosk: cage did not start within 30 s" >&2
    exit 1
fi
export WAYLAND_DISPLAY=$display

# The show turns itself, inside its window, on every output and whatever
# happens to them.
show=(vexshow --loop --rotate "$rotation")
[ "${SYNC:-no}" != yes ] || show+=(--sync)
exec "${show[@]}"
