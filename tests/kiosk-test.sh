#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Boots a fresh Debian root of a release (amd64) with systemd-nspawn, installs
# the show's and the kiosk's packages there with apt as docs/kiosk.md says,
# enables the service with its one command and boots again. Then it checks
# that the service is active after boot; that a screenshot of cage's output
# (grim) shows the scene in the centre and black around it; that after a
# SIGKILL of the show systemd has it playing again within 5 s; that the show
# loops in one process past two round boundaries, its title card back on
# screen; that `systemctl stop` ends it all within 2 s; and that
# `systemd-analyze verify` finds nothing in the unit. The container is
# powered off and its root removed however the checks end. Needs root and
# Debian's mirror, not systemd on this machine.
#   kiosk-test.sh [bookworm|trixie]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "kiosk-test.sh: needs root for mmdebstrap and systemd-nspawn" >&2
    exit 1
fi
source scripts/debian-root.sh
source tests/screen.sh
debian_target "$@"
scripts/package.sh "$release" amd64
scripts/install-deps.sh kiosk
build=build-package-$release-amd64
debs=("$build"/vexshow_*_amd64.deb "$build"/vexshow-kiosk_*_all.deb)

unit=vexshow-kiosk.service
# How long one round of the show lasts.
round_s=19
begin=$SECONDS
work=$(mktemp -d /var/tmp/vexshow-kiosk.XXXXXX)
nspawn='' leader='' failures=0

say() {
    printf 'kiosk test (%s, %3d s): %s\n' "$release" $((SECONDS - begin)) "$*"
}

fail() {
    say "FAILED: $*"
    failures=$((failures + 1))
}

# Runs a command inside the booted container, in its namespaces.
in_container() {
    nsenter --target "$leader" --all env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

# The host runs no systemd: nspawn neither registers the machine nor makes a
# scope of its own. Its child that becomes systemd is the container's init.
boot() {
    systemd-nspawn --quiet --register=no --keep-unit --console=read-only -D "$root" --boot \
        >>"$work/console.log" 2>&1 &
    nspawn=$!
    leader=''
    for ((i = 0; i < 100; i++)); do
        sleep 0.1
        leader=$(pgrep -P "$nspawn" -x systemd || true)
        [ -z "$leader" ] || break
    done
    [ -n "$leader" ] || { say "the container did not start:"; cat "$work/console.log"; return 1; }
    # systemctl answers once systemd's own bus is up, then waits for the boot.
    local state=''
    for ((i = 0; i < 100; i++)); do
        state=$(in_container timeout 120 systemctl is-system-running --wait 2>/dev/null) || true
        [ -z "$state" ] || break
        sleep 0.1
    done
    say "booted: ${state:-no answer from systemctl}"
}

power_off() {
    [ -n "$nspawn" ] || return 0
    in_container systemctl poweroff 2>/dev/null || kill "$nspawn" 2>/dev/null || true
    for ((i = 0; i < 300; i++)); do
        kill -0 "$nspawn" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$nspawn" 2>/dev/null; then
        say "the container did not power off within 30 s; killing it"
        kill -KILL "$nspawn" || true
    fi
    wait "$nspawn" || true
    nspawn=''
}
trap 'power_off; root_take_down && rm -rf "$work"' EXIT

show_pid() {
    in_container pgrep -x vexshow || true
}

# shoot NAME: a screenshot of cage's output, in $work/NAME.png.
shoot() {
    local uid
    uid=$(in_container id -u vexshow-kiosk)
    rm -f "$root/root/shot.png"
    in_container env XDG_RUNTIME_DIR="/run/user/$uid" WAYLAND_DISPLAY=wayland-0 \
        grim /root/shot.png 2>/dev/null && mv "$root/root/shot.png" "$work/$1.png"
}

# The title card: white lines inside the scene, away from its border.
is_title_card() {
    local box
    box=$(painted "$1")
    [[ "$box" =~ ^([0-9]+)x([0-9]+) ]] && ((BASH_REMATCH[1] > 0 && BASH_REMATCH[1] < scene_width / 2 &&
        BASH_REMATCH[2] < scene_height / 2))
}

# wait_for_title_card SECONDS: shoots until two shots in a row show the title
# card alike, the second kept as title.png; the card fades after 3 s.
wait_for_title_card() {
    local until=$((SECONDS + $1))
    rm -f "$work/previous.png"
    while ((SECONDS < until)); do
        if shoot title && is_title_card "$work/title.png"; then
            if [ -e "$work/previous.png" ] && same_picture "$work/previous.png" "$work/title.png"; then
                return 0
            fi
            cp "$work/title.png" "$work/previous.png"
        fi
        sleep 0.2
    done
    return 1
}

# wait_for_picture PNG SECONDS: shoots until a shot shows PNG.
wait_for_picture() {
    local until=$((SECONDS + $2))
    while ((SECONDS < until)); do
        if shoot again && same_picture "$1" "$work/again.png"; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

root_make "$release" amd64 "$work/root" --include=systemd,systemd-sysv,dbus,libpam-systemd
cp "${debs[@]}" "$root/root/"
# What the test alone differs in from a board: a compositor with no screen,
# drawing in software, and no console to take.
mkdir -p "$root/etc/systemd/system/$unit.d"
cat >"$root/etc/systemd/system/$unit.d/test.conf" <<'EOF'
[Service]
Environment=WLR_BACKENDS=headless WLR_RENDERER=pixman
TTYPath=
StandardInput=null
TTYReset=no
TTYVHangup=no
TTYVTDisallocate=no
EOF
# apt keeps what it downloads, for the cache of the next run.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' >"$root/etc/apt/apt.conf.d/99keep-downloads"

boot
say "installing ${debs[*]##*/}, then enabling the kiosk"
in_container apt-get -q update >"$work/apt.log" 2>&1
if ! in_container sh -c 'cd /root && apt install -y "$@"' sh "${debs[@]/#*\//./}" >>"$work/apt.log" 2>&1 ||
        ! in_container systemctl enable --now "$unit" >>"$work/apt.log" 2>&1; then
    tail -n 30 "$work/apt.log"
    fail "the documented install and enable failed"
    exit 1
fi
# The test's own tools, after the kiosk has what it needs: the screenshots,
# the processes, and the manual pages that systemd-analyze verify looks for.
in_container apt-get install -q -y --no-install-recommends grim procps man-db >>"$work/apt.log" 2>&1
power_off
boot

if [ "$(in_container systemctl is-active "$unit")" = active ]; then
    say "the kiosk is active after boot"
else
    fail "the kiosk is not active after boot"
fi
first=''
for ((i = 0; i < 50; i++)); do
    sleep 0.2
    first=$(show_pid)
    [ -z "$first" ] || break
done
if [ -z "$first" ]; then
    fail "no show is running"
    in_container journalctl -b -u "$unit" --no-pager | tail -n 30
    exit 1
fi

# The scene and its border from about 6 s into a round to 13 s.
framed=''
until=$((SECONDS + round_s))
while [ -z "$framed" ] && ((SECONDS < until)); do
    sleep 0.5
    if shoot scene && [ "$(painted "$work/scene.png")" = "$(scene "$work/scene.png")" ]; then
        framed=yes
    fi
done
if [ -n "$framed" ]; then
    say "the scene fills $(scene "$work/scene.png") of the $(identify -format '%wx%h' "$work/scene.png") screen, black around it"
else
    fail "no screenshot showed the scene framed in the centre; the last painted $(painted "$work/scene.png") of a screen where the scene is $(scene "$work/scene.png")"
fi

killed=$(show_pid)
kill_time=$EPOCHREALTIME
in_container kill -KILL "$killed"
again=''
until=$((SECONDS + 10))
while [ -z "$again" ] && ((SECONDS < until)); do
    sleep 0.1
    pid=$(show_pid)
    if [ -n "$pid" ] && [ "$pid" != "$killed" ] && shoot restart &&
            [[ "$(painted "$work/restart.png")" != 0x0* ]]; then
        again=$pid
    fi
done
ms=$(((${EPOCHREALTIME/./} - ${kill_time/./}) / 1000))
if [ -n "$again" ] && ((ms <= 5000)); then
    say "the show killed with SIGKILL was playing again after $ms ms"
else
    fail "the show killed with SIGKILL was not playing again within 5 s (${again:+after $ms ms})"
fi

# The title card at the start of the show, to see again after two rounds:
# from a second before the second round ends, the only title card to come is
# the third round's.
looped=''
pid=$(show_pid)
if ! wait_for_title_card 5; then
    fail "the show started without its title card"
elif [ -n "$pid" ]; then
    started=$(in_container ps -o etimes= -p "$pid" | tr -d ' ')
    rest=$((2 * round_s - 1 - started))
    if ((rest > 0)); then
        sleep "$rest"
    fi
    if wait_for_picture "$work/title.png" $((round_s + 5)); then
        looped=$(show_pid)
    fi
fi
if [ -n "$looped" ] && [ "$looped" = "$pid" ]; then
    say "the show ($pid) showed its title card again after $(in_container ps -o etimes= -p "$pid" | tr -d ' ') s, in one process"
else
    fail "the show did not loop in one process: process $pid showed its title card, then ${looped:-no process} did so again after two rounds"
fi

stop_time=$EPOCHREALTIME
in_container systemctl stop "$unit"
left=''
until=$((SECONDS + 3))
while left=$(in_container pgrep -a -x 'cage|vexshow' || true) && [ -n "$left" ] && ((SECONDS < until)); do
    sleep 0.1
done
ms=$(((${EPOCHREALTIME/./} - ${stop_time/./}) / 1000))
if [ -z "$left" ] && ((ms <= 2000)); then
    say "systemctl stop ended cage and the show after $ms ms"
else
    fail "systemctl stop left ${left:-nothing} running, after $ms ms"
fi

if verify=$(in_container systemd-analyze verify "$unit" 2>&1) && [ -z "$verify" ]; then
    say "systemd-analyze verify finds nothing in $unit"
else
    fail "systemd-analyze verify: $verify"
fi

if [ "$failures" -ne 0 ]; then
    in_container journalctl -b -u "$unit" --no-pager | tail -n 30
    exit 1
fi
say "all checks passed"
