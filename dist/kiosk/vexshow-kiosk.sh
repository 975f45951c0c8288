#!/bin/bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Plays the show for ever in the kiosk compositor cage, on the outputs and
# turned as /etc/default/vexshow-kiosk says (ROTATION, OUTPUT), in step with
# other screens if it says SYNC=yes. Run by
# vexshow-kiosk.service, as /usr/lib/vexshow-kiosk/vexshow-kiosk:
#   vexshow-kiosk            starts cage, with -s so that a technician can
#                            still switch to another console
#   vexshow-kiosk --in-cage  cage's one client: sets up the outputs through
#                            wlr-randr, then becomes the show
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

rotation=${ROTATION:-0}
show=(vexshow --loop)
[ "${SYNC:-no}" != yes ] || show+=(--sync)
output=${OUTPUT:-}
case "$rotation" in
    0 | 90 | 180 | 270) ;;
    *)
        echo "vexshow-kiosk: ROTATION is 0, 90, 180 or 270, not $rotation; not turning" >&2
        rotation=0
        ;;
esac

if [ "${1:-}" != --in-cage ]; then
    # cage 0.1 turns its outputs a quarter each -r; later ones leave all
    # output settings to a client of the output management protocol.
    if [[ "$(cage -v 2>&1)" == *" 0.1."* ]]; then
        turns=()
        for ((i = 0; i < rotation / 90; i++)); do
            turns+=(-r)
        done
        exec cage -s "${turns[@]}" -- "${show[@]}"
    fi
    exec cage -s -- "$0" --in-cage
fi

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
exec "${show[@]}"
