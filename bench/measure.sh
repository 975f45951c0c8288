# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash
# Sourced by the benchmarks, which set root (the repository), work (a folder
# of their own) and show (the show's length in seconds):
#   build_program      VEXSHOW, or else the Release build in build-bench,
#                      built now
#   run NAME ARGS...   one measured run; appends a result line to $work/NAME
#   col NAME COLUMN    the median of a column over NAME's result lines
# A result line: CPU user+sys (s), frames, frames per second of show, largest
# gap between frames (ms), first frame after start (ms), peak RSS (MB), exit
# after show start (s), exit status. Runs that do not end by themselves get
# SIGTERM: the peers named qml* a show's length after their first frame, the
# show with --loop or --sync after loop_rounds shows (default 2), and its CPU
# is given per round.

# Qt Quick's per-frame renderer log, with timestamps of wall-clock time of day
# in UTC, which the scripts can read too.
export TZ=UTC
export QT_LOGGING_RULES='qt.scenegraph.time.renderer.debug=true'
export QT_MESSAGE_PATTERN='%{time HH:mm:ss.zzz} %{category} %{message}'

build_program() {
    [ -z "${VEXSHOW:-}" ] || return 0
    VEXSHOW=${root:?}/build-bench/vexshow
    cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build-bench" --target vexshow >/dev/null
}

now() { echo "$EPOCHREALTIME"; }

# first_frame LOG: seconds of day of the first frame, or nothing yet.
first_frame() {
    awk '$2 == "qt.scenegraph.time.renderer" { split($1, t, ":"); print t[1]*3600 + t[2]*60 + t[3]; exit }' "$1"
}

# run NAME ARGS...: one measured run; appends a result line to $work/NAME.
run() {
    local name=$1; shift
    local log=${work:?}/$name.log timing=$work/$name.time
    : >"$log"
    local start; start=$(now)
    local length=${show:?} rounds=1
    if [[ " $* " == *" --loop "* || " $* " == *" --sync "* ]]; then
        rounds=${loop_rounds:-2}
        length=$((show * rounds))
    fi
    timeout -k 5 $((length + 30)) /usr/bin/time -f '%U %S %M %x' -o "$timing" "$@" \
        >/dev/null 2>"$log" &
    local pid=$!
    if [[ $name == qml* || $rounds -gt 1 ]]; then
        local t0=''
        for _ in $(seq 500); do
            t0=$(first_frame "$log")
            [ -n "$t0" ] && break
            sleep 0.02
        done
        if [ -n "$t0" ]; then
            # Sleep until show time 19 s, or its rounds' length, from the log's
            # own first-frame stamp.
            local wait_s
            wait_s=$(awk -v t0="$t0" -v s="$(now)" -v d="$length" \
                'BEGIN { n = s % 86400; if (t0 < n - 43200) t0 += 86400; w = t0 + d - n; print (w > 0 ? w : 0) }')
            sleep "$wait_s"
        fi
        local timepid child
        # The peer is the child of time, itself the child of timeout.
        timepid=$(ps -o pid= --ppid "$pid" | tr -d ' ' || true)
        child=''
        [ -n "$timepid" ] && child=$(ps -o pid= --ppid "$timepid" | tr -d ' ' || true)
        if [ -n "$child" ]; then
            kill -TERM "$child" 2>/dev/null || true
        fi
    fi
    wait "$pid" || true
    local end; end=$(now)
    # user sys maxrss(kB) status; the peer's status is that of a killed process.
    local usage; usage=$(tail -n1 "$timing")
    awk -v start="$start" -v end="$end" -v usage="$usage" -v rounds="$rounds" '
        BEGIN { s = start % 86400; e = end % 86400 }
        $2 == "qt.scenegraph.time.renderer" {
            split($1, t, ":"); ts = t[1]*3600 + t[2]*60 + t[3]
            if (ts < s - 43200) ts += 86400
            if (n == 0) first = ts; else if (ts - last > gap) gap = ts - last
            last = ts; n++
        }
        END {
            split(usage, u, " ")
            if (e < s) e += 86400
            fps = (n > 1 && last > first) ? (n - 1) / (last - first) : 0
            printf "%.2f %d %.1f %.0f %.0f %.1f %.3f %d\n", (u[1] + u[2]) / rounds, n, fps, gap * 1000,
                (first - s) * 1000, u[3] / 1024, e - first, u[4]
        }' "$log" >>"$work/$name"
    cp "$log" "$work/$name.last.log"
}

# Columns of a result line, as named in the table below.
median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
col() { awk -v c="$2" '{ print $c }' "$work/$1" | median; }
