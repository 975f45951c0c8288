#!/bin/bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the show for ever in the kiosk compositor cage, on the outputs and
# turned as /etc/default/vexshow-kiosk says (ROTATION, OUTPUT). Run by
# vexshow-kiosk.service, as /usr/lib/vexshow-kiosk/vexshow-kiosk:
#   vexshow-kiosk                  starts cage, with -s so that a technician
#                                  can still switch to another console, sets
#                                  up its outputs through wlr-randr, then
#                                  becomes the show
#   vexshow-kiosk --hold PID FIFO  cage's own client: writes where cage
#                                  listens to FIFO, then keeps cage running
#                                  for as long as process PID, the show, runs
#
# The show is the service's main process, not cage's child: the login session
# moves cage and all it starts out of the service's control group, and from
# there systemd hears nothing the show says of being ready and well. The
# show ends cleanly on the service's SIGTERM, and cage a moment later; cage
# never gets that SIGTERM, on which Debian 12's cage aborts.
set -euo pipefail

if [ "${1:-}" = --hold ]; then
    echo "$WAYLAND_DISPLAY" >"$3"
    exec tail -f -s 0.2 --pid="$2" /dev/null
fi

rotation=${ROTATION:-0}
output=${OUTPUT:-}
case "$rotation" in
    0 | 90 | 180 | 270) ;;
    *)
        echo "vexshow-kiosk: ROTATION is 0, 90, 180 or 270, not $rotation; not turning" >&2
        rotation=0
        ;;
esac

# cage 0.1 turns its outputs a quarter each -r, and cannot choose one; later
# ones leave all output settings to a client of the output management
# protocol.
turns=()
if [[ "$(cage -v 2>&1)" == *" 0.1."* ]]; then
    for ((i = 0; i < rotation / 90; i++)); do
        turns+=(-r)
    done
    rotation=0 output=
fi

# Opened for reading and writing, the fifo does not wait for cage to open it;
# a cage that does not start leaves nothing to read.
fifo=$(mktemp -u /tmp/vexshow-kiosk.XXXXXX)
mkfifo -m 600 "$fifo"
exec 3<>"$fifo"
# The console as its input, not the /dev/null a job in the background gets.
cage -s "${turns[@]}" -- "$0" --hold $$ "$fifo" <&0 3<&- &
display=''
read -r -t 30 display <&3 || true
exec 3<&-
rm -f "$fifo"
if [ -z "$display" ]; then
    echo "vexshow-kiosk: cage did not start within 30 s" >&2
    exit 1
fi
export WAYLAND_DISPLAY=$display

if [ "$rotation" != 0 ] || [ -n "$output" ]; then
    mapfile -t outputs < <(wlr-randr | sed -n 's/^\([^ ]\+\).*/\1/p')
    if [ -n "$output" ] && ! printf '%s\n' "${outputs[@]}" | grep -qxF -- "$output"; then
        echo "vexshow-kiosk: no output $output, only: ${outputs[*]}; showing on all" >&2
        output=
    fi
    transform=$([ "$rotation" = 0 ] && echo normal || echo "$rotation")
    for name in "${outputs[@]}"; do
        if [ -n "$output" ] && [ "$name" != "$output" ]; then
            settings=(--off)
        else
            settings=(--transform "$transform")
        fi
        # The show on a screen set up wrong beats no show.
        wlr-randr --output "$name" "${settings[@]}" ||
            echo "vexshow-kiosk: cage did not take ${settings[*]} for $name" >&2
    done
fi
exec vexshow --loop
