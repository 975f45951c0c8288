#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Boots a fresh Debian root of a release (amd64) with systemd-nspawn, sets it
# up to follow a repository of the packages (scripts/repository.sh, signed by
# a throwaway key, served on the loopback address) with the three commands of
# docs/fleet.md, enables the service and boots again. Then it checks that the
# package takes the kiosk's user out of the groups an earlier one put it in;
# that the service is active after boot, in a login session of its own PAM
# service, and only once the show has said it is ready, after cage started;
# that a screenshot of cage's output (grim) shows the scene in the centre and
# black around it; that after a SIGKILL of the show systemd has it playing
# again within 5 s; that the show loops in one process past two round
# boundaries, its title card back on screen, and `systemctl status` names its
# version and round; that a show stopped with SIGSTOP is caught by the
# watchdog and another is playing within its timeout and 5 s. Then it
# publishes a newer version, built from a copy of the tree with a changelog
# entry of its own, runs the upgrade as apt's timers would, and checks that
# the same process plays the new version from the next round, its title card
# back within 1 s of the old round's last picture; and that a newer version
# signed by another key, one whose package is damaged and a repository gone
# are each refused, the show playing on. Last, that `systemctl stop` ends it
# all within 2 s; that with no output at all the service stays active,
# unrestarted, for 3 minutes on Debian 13 and 1 on Debian 12; that
# `systemd-analyze verify` finds nothing in the unit and `systemd-analyze
# security` rates its exposure 2.0 at most; that settings systemd or the
# wrapper cannot take are named in the journal while the show plays, and
# ROTATION reaches the show; on Debian 13, that an output switched on again
# goes off while OUTPUT chooses another; and that the journal shows no system
# call or file refused to the kiosk. The container is powered off and its
# root removed however the checks end. Needs root and Debian's mirror, not
# systemd on this machine.
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

unit=vexshow-kiosk.service
# How long one round of the show lasts.
round_s=19
# How long the show plays with no output at all; each minute is a minute of
# CI, so one release waits longer than the other.
idle_s=$([ "$release" = trixie ] && echo 180 || echo 60)
test_name="kiosk test, $release" begin=$SECONDS
work=$(mktemp -d /var/tmp/vexshow-kiosk.XXXXXX)
nspawn='' leader='' server='' newer_build=''

# The next version, as an operator makes one: an entry in the changelog of a
# copy of the tree, packaged there, in a process group of its own while the
# first version is tested.
newer=$work/newer
copy_project "$newer"
version=$(dpkg-parsechangelog -l dist/changelog -SVersion)
printf '%s\n' "vexshow (${version%-*}.1-1) unstable; urgency=medium" "" \
    "  * The kiosk test's newer version." "" \
    " -- vexshow developers <vexshow@example.org>  $(date -u -R)" "" >"$newer/dist/changelog"
cat dist/changelog >>"$newer/dist/changelog"
setsid nice "$newer/scripts/package.sh" "$release" amd64 >"$work/newer.log" 2>&1 &
newer_build=$!

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
# The web server, the throwaway keys' agents and the newer build, if still
# running, go with the container.
stop_all() {
    power_off
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    [ -z "$newer_build" ] || kill -- -"$newer_build" 2>/dev/null || true
    wait
    local key
    for key in "$work"/key-*; do
        [ ! -d "$key" ] || gpgconf --homedir "$key" --kill gpg-agent || true
    done
}
trap 'stop_all; root_take_down && rm -rf "$work"' EXIT

show_pid() {
    in_container pgrep -x vexshow || true
}

# Runs a Wayland client of cage's, as root, on the socket in the service's
# runtime directory.
in_cage() {
    in_container env XDG_RUNTIME_DIR=/run/vexshow-kiosk WAYLAND_DISPLAY=wayland-0 "$@"
}

# shoot NAME: a screenshot of cage's output, in $work/NAME.png.
shoot() {
    rm -f "$root/root/$1.png"
    in_cage grim "/root/$1.png" 2>/dev/null && mv "$root/root/$1.png" "$work/$1.png"
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

# make_key GNUPGHOME: a throwaway signing key of its own.
make_key() {
    mkdir -m 0700 "$1"
    GNUPGHOME=$1 gpg --batch --quiet --passphrase '' \
        --quick-gen-key "vexshow kiosk test <kiosk-test@example.org>" ed25519 sign never 2>/dev/null
}

# serve DIR: a web server for DIR on a free port of the loopback address,
# which the container shares; its address in $url.
serve() {
    # Made first: the server may not have opened it by the time it is read.
    : >"$work/http.log"
    python3 -u -m http.server --bind 127.0.0.1 --directory "$1" 0 >>"$work/http.log" 2>&1 &
    server=$!
    local port=''
    for ((i = 0; i < 50; i++)); do
        port=$(sed -n 's/^Serving HTTP on [^ ]* port \([0-9]*\) .*/\1/p' "$work/http.log")
        [ -z "$port" ] || break
        sleep 0.1
    done
    [ -n "$port" ] || { say "the web server did not start:"; cat "$work/http.log"; return 1; }
    url=http://127.0.0.1:$port
}

# publish TREE KEY DIR: what TREE's package.sh built, into the repository DIR.
publish() {
    if ! "$1/scripts/repository.sh" "$2" "$url" "$3" >>"$work/publish.log" 2>&1; then
        tail -n 20 "$work/publish.log"
        return 1
    fi
}

# film DIR PID: screenshots one after another into DIR until DIR/stop exists
# or 5 minutes pass, each named by the time it was taken in microseconds and
# by what PID ran just after: old while it runs the file it ran at first.
film() {
    local until=$((SECONDS + 300)) at first runs
    mkdir -p "$1"
    first=$(in_container stat -L -c %i "/proc/$2/exe")
    while [ ! -e "$1/stop" ] && ((SECONDS < until)); do
        at=${EPOCHREALTIME/./}
        if shoot film; then
            runs=$(in_container stat -L -c %i "/proc/$2/exe" || true)
            mv "$work/film.png" "$1/$at-$([ "$runs" = "$first" ] && echo old || echo new).png"
        fi
    done
}

# switch_gap DIR: from a film, the time of the new program's first title
# card, and the milliseconds from the last picture before it: the new
# program's first is its title card, so every one before is the old's.
switch_gap() {
    local shot at last=''
    for shot in $(find "$1" -name '*.png' -printf '%f\n' | sort -n); do
        at=${shot%%-*}
        if [[ "$shot" == *-new.png ]] && is_title_card "$1/$shot" && same_picture "$work/title.png" "$1/$shot"; then
            [ -z "$last" ] || echo "$at $(((at - last) / 1000))"
            return
        fi
        [[ "$(painted "$1/$shot")" == 0x0* ]] || last=$at
    done
}

# upgrade_window: apt's two daily services, as their timers start them in the
# operator's window. Their stamps go first, as the checks run them several
# times within a day; so does unattended-upgrades' log, to read what it did.
upgrade_window() {
    in_container find /var/lib/apt/periodic -name '*stamp' -delete
    in_container find /var/log/unattended-upgrades -name '*.log' -delete
    window_start=$(date +%s)
    in_container systemctl start apt-daily.service apt-daily-upgrade.service || true
}

# apt_said PATTERN: the first line that the journal or unattended-upgrades
# took in the last window matching PATTERN.
apt_said() {
    { in_container journalctl -q -o cat --no-pager --since "@$window_start"
        in_container sh -c 'cat /var/log/unattended-upgrades/*.log 2>/dev/null'; } |
        grep -m 1 -E "$1" || true
}

installed() {
    # shellcheck disable=SC2016 # dpkg-query's own placeholder
    in_container dpkg-query -W -f '${Version}' vexshow
}

restarts() {
    in_container systemctl show -p NRestarts --value "$unit"
}

# refused WHAT PATTERN: after a window that offered something wrong, the board
# still has the version before and the same show plays on, unrestarted.
refused() {
    local why
    why=$(apt_said "$2")
    if [ -n "$why" ] && [ "$(installed)" = "$next" ] && [ "$(show_pid)" = "$pid" ] &&
            [ "$(restarts)" = "$restarted" ] && shoot playing && [[ "$(painted "$work/playing.png")" != 0x0* ]]; then
        say "$1: refused, the show ($pid) playing on: $why"
    else
        fail "$1: apt said ${why:-nothing like /$2/}; $(installed) installed, show ${pid} now $(show_pid), $(restarts) restarts"
    fi
}

root_make "$release" amd64 "$work/root" --include="$root_booted_packages"
# The served folder is a symlink, which the checks below point at one
# repository or another.
make_key "$work/key-operator"
make_key "$work/key-other"
serve "$work/served"
publish . "$work/key-operator" "$work/repository"
ln -sfn "$work/repository/current" "$work/served"
cp "$work/served/vexshow-repository-$release.deb" "$root/root/"
# What the test alone differs in from a board: a compositor with no screen,
# drawing in software, and no console to take; and a system call the filter
# refuses ends the process with SIGSYS, which the journal shows, where a
# board's EPERM would pass unseen.
mkdir -p "$root/etc/systemd/system/$unit.d"
cat >"$root/etc/systemd/system/$unit.d/test.conf" <<'EOF'
[Service]
Environment=WLR_BACKENDS=headless WLR_RENDERER=pixman
TTYPath=
StandardInput=null
TTYReset=no
TTYVHangup=no
TTYVTDisallocate=no
SystemCallErrorNumber=
EOF
# apt keeps what it downloads, for the cache of the next run; and its daily
# services tell the journal what apt and unattended-upgrades said.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' >"$root/etc/apt/apt.conf.d/99keep-downloads"
echo 'APT::Periodic::Verbose "2";' >"$root/etc/apt/apt.conf.d/99verbose"

boot
say "following the repository at $url, then installing the kiosk from it and enabling it"
in_container apt-get -q update >"$work/apt.log" 2>&1
if ! in_container sh -c "cd /root && apt install -y ./vexshow-repository-$release.deb && apt update &&
        apt install -y vexshow-kiosk" >>"$work/apt.log" 2>&1 ||
        ! in_container systemctl enable --now "$unit" >>"$work/apt.log" 2>&1; then
    tail -n 30 "$work/apt.log"
    fail "the documented install and enable failed"
    exit 1
fi
# The test's own tools, after the kiosk has what it needs: the screenshots,
# the processes, and the manual pages that systemd-analyze verify looks for.
in_container apt-get install -q -y --no-install-recommends grim procps man-db >>"$work/apt.log" 2>&1

# The groups a user made by an earlier package is in, which that package made
# where udev had not; an upgrade, whose steps a reinstall runs, takes it out of
# them.
for group in input video render; do
    in_container groupadd --force --system "$group"
    in_container gpasswd --add vexshow-kiosk "$group" >/dev/null
done
in_container apt-get install -q -y --reinstall vexshow-kiosk >>"$work/apt.log" 2>&1
groups=$(in_container id -nG vexshow-kiosk)
if [[ " $groups " =~ \ (input|video|render)\  ]]; then
    fail "after an upgrade the kiosk's user is still in ${BASH_REMATCH[1]}: $groups"
else
    say "after an upgrade the kiosk's user is in no group but its own: $groups"
fi
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
# The login session that the show leads, as its PAM service opened it (the
# seat and the VT come with a console, which the test has not).
main_pid=$(in_container systemctl show -p MainPID --value "$unit")
session=''
for id in $(in_container loginctl list-sessions --no-legend | awk '{ print $1 }'); do
    if [ "$(in_container loginctl show-session -p Leader --value "$id")" = "$main_pid" ]; then
        session=$(in_container loginctl show-session -p Service -p Type -p Class "$id" | sort | paste -sd ' ')
    fi
done
if [ "$session" = "Class=user Service=vexshow-kiosk Type=wayland" ]; then
    say "the show leads a login session: $session"
else
    fail "the show ($main_pid) leads no login session of the kiosk's PAM service: ${session:-none}"
fi

# Type=notify: active once the show said it was ready, which is after cage
# started (its start in clock ticks since boot, the 22nd field of its stat),
# not as soon as the service's process did.
active_us=$(in_container systemctl show -p ActiveEnterTimestampMonotonic --value "$unit")
stat=$(in_container cat "/proc/$(in_container pgrep -o -x cage)/stat")
read -ra fields <<<"${stat##*) }"
started_us=$((fields[19] * 1000000 / $(getconf CLK_TCK)))
if ((active_us > started_us)); then
    say "the kiosk became active $(((active_us - started_us) / 1000)) ms after cage started, once the show was ready"
else
    fail "the kiosk became active $(((started_us - active_us) / 1000)) ms before cage started: it did not wait for the show to be ready"
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

# Past two rounds, in its third; the version, as after an upgrade it must be
# the new one.
version=$(in_container vexshow --version)
status=$(in_container systemctl status --no-pager "$unit" | sed -n 's/^ *Status: "\(.*\)"$/\1/p')
if [[ "$status" =~ ^"$version, round "([0-9]+)", "[0-9.]+" frames a second"$ ]] && ((BASH_REMATCH[1] >= 3)); then
    say "systemctl status says: $status"
else
    fail "systemctl status does not name $version, its round past two and its frame rate: ${status:-no status}"
fi

# A show that hangs, as one stopped with SIGSTOP does, sends the watchdog
# nothing more: systemd ends it and starts another.
watchdog_s=$(in_container systemctl show -p WatchdogUSec --value "$unit")
watchdog_s=${watchdog_s%s}
timeouts=$(in_container journalctl -b -u "$unit" --no-pager | grep -c 'Watchdog timeout' || true)
stopped=$(show_pid)
stop_time=$EPOCHREALTIME
in_container kill -STOP "$stopped"
again=''
until=$((SECONDS + watchdog_s + 10))
while [ -z "$again" ] && ((SECONDS < until)); do
    sleep 0.2
    pid=$(in_container pgrep -n -x vexshow || true)
    if [ -n "$pid" ] && [ "$pid" != "$stopped" ] && shoot restart &&
            [[ "$(painted "$work/restart.png")" != 0x0* ]]; then
        again=$pid
    fi
done
ms=$(((${EPOCHREALTIME/./} - ${stop_time/./}) / 1000))
caught=$(in_container journalctl -b -u "$unit" --no-pager | grep -c 'Watchdog timeout' || true)
if [ -n "$again" ] && ((ms <= (watchdog_s + 5) * 1000)) && ((caught > timeouts)); then
    say "the watchdog caught the show stopped with SIGSTOP; another was playing after $ms ms"
else
    fail "the show stopped with SIGSTOP: $((caught - timeouts)) watchdog timeouts, ${again:+another playing}${again:-none playing} after $ms ms, not within $((watchdog_s + 5)) s"
fi

# A newer version published, and installed by unattended-upgrades: the same
# process plays it from the round after, with no show on screen for at most
# a second between the old round's last picture and the new one's title card.
if ! wait "$newer_build"; then
    newer_build=''
    tail -n 30 "$work/newer.log"
    fail "the newer version did not build"
    exit 1
fi
newer_build=''
next=$(dpkg-deb -f "$newer/build-package-$release-amd64"/vexshow_*_amd64.deb Version)
publish "$newer" "$work/key-operator" "$work/repository"
pid=$(show_pid) restarted=$(restarts)
film "$work/film" "$pid" &
filming=$!
upgrade_window
upgraded=${EPOCHREALTIME/./}
until=$((SECONDS + round_s + 2))
while [ "$(in_container readlink "/proc/$pid/exe")" != /usr/bin/vexshow ] && ((SECONDS < until)); do
    sleep 0.2
done
# The title card holds for three seconds: the film catches it after the switch.
sleep 3
touch "$work/film/stop"
wait "$filming"
read -r switched gap < <(switch_gap "$work/film") || true
said=$(in_container journalctl -q -o cat --no-pager -b -t vexshow-kiosk | grep -m 1 'was replaced' || true)
running=$(in_container "/proc/$pid/exe" --version 2>&1 || true)
if [ "$(installed)" != "$next" ]; then
    fail "unattended-upgrades did not install $next: $(installed) is installed"
    in_container sh -c 'apt-cache policy vexshow; tail -n 20 /var/log/unattended-upgrades/*.log'
elif [ "$running" != "vexshow ${next%-*}" ] || [ "$(show_pid)" != "$pid" ] || [ -z "$said" ]; then
    fail "the show ($pid) did not become $next in its process, saying so: it runs ${running:-nothing}, the show is now $(show_pid); it said ${said:-nothing}"
elif [ -z "$gap" ]; then
    fail "the film shows no title card of the new program after a picture of the old"
elif ((switched > upgraded + (round_s + 2) * 1000000)); then
    fail "the show played $next from $(((switched - upgraded) / 1000)) ms after the upgrade, more than a round"
elif ((gap > 1000)); then
    fail "the screen showed no show for $gap ms between the old round and the new"
elif [ "$(in_container systemctl is-active "$unit")" != active ] || [ "$(restarts)" != "$restarted" ]; then
    fail "the kiosk is $(in_container systemctl is-active "$unit") after the upgrade, restarted $(restarts) times, not $restarted"
else
    say "unattended-upgrades installed $next; the show ($pid) became it at a round's end, the title card $gap ms after the old round's last picture"
fi

# A newer version yet, never to be installed: the packages above, renamed.
later=${next/-/.1-}
for deb in "$newer/build-package-$release-amd64"/*.deb; do
    rm -rf "$work/repack"
    dpkg-deb -R "$deb" "$work/repack"
    sed -i -e "s/^Version: .*/Version: $later/" -e "s/(= [^)]*)/(= $later)/" "$work/repack/DEBIAN/control"
    rm "$deb"
    dpkg-deb --root-owner-group -b "$work/repack" "${deb/$next/$later}" >/dev/null
done
publish "$newer" "$work/key-other" "$work/impostor"
ln -sfn "$work/impostor/current" "$work/served"
upgrade_window
# Debian 12's apt checks signatures with gpgv, Debian 13's with sqv.
refused "signed by another key" 'NO_PUBKEY|OpenPGP signature verification failed|is not signed'

publish "$newer" "$work/key-operator" "$work/repository"
ln -sfn "$work/repository/current" "$work/served"
damaged=$(find "$work/repository/current/pool" -name "vexshow_${later}_amd64.deb")
cp "$damaged" "$work/damaged.deb"
printf 'damage' | dd of="$work/damaged.deb" bs=1 seek=2000 conv=notrunc status=none
mv "$work/damaged.deb" "$damaged"
upgrade_window
refused "a damaged package" 'Hash Sum mismatch|hash sum mismatch|unexpected size'

kill "$server"
wait "$server" || true
server=''
upgrade_window
refused "the repository gone" 'Could not connect|Failed to fetch|Connection refused'

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

# No output at all, as when every screen is off or unplugged: the show is
# ready, and idle, not hung; the watchdog leaves it be.
cat >"$root/etc/systemd/system/$unit.d/no-output.conf" <<'EOF'
[Service]
Environment=WLR_HEADLESS_OUTPUTS=0
EOF
in_container systemctl daemon-reload
if in_container timeout 60 systemctl start "$unit"; then
    restarts=$(in_container systemctl show -p NRestarts --value "$unit")
    sleep "$idle_s"
    state=$(in_container systemctl is-active "$unit" || true)
    now=$(in_container systemctl show -p NRestarts --value "$unit")
    status=$(in_container systemctl show -p StatusText --value "$unit")
    if [ "$state" = active ] && [ "$now" = "$restarts" ] && [[ "$status" = *"drawing nothing"* ]]; then
        say "with no output the kiosk stayed active for $idle_s s, not restarted: $status"
    else
        fail "with no output, after $idle_s s: $state, restarted $((now - restarts)) times, saying: $status"
    fi
else
    fail "with no output the kiosk did not start"
fi
in_container systemctl stop "$unit"
rm "$root/etc/systemd/system/$unit.d/no-output.conf"
in_container systemctl daemon-reload

if verify=$(in_container systemd-analyze verify "$unit" 2>&1) && [ -z "$verify" ]; then
    say "systemd-analyze verify finds nothing in $unit"
else
    fail "systemd-analyze verify: $verify"
fi

exposure=$(in_container systemd-analyze security "$unit" 2>&1 | grep 'Overall exposure level' || true)
if [[ "$exposure" =~ :\ ([0-9]+\.[0-9]) ]] && awk -v e="${BASH_REMATCH[1]}" 'BEGIN { exit !(e <= 2.0) }'; then
    say "systemd-analyze security: $exposure"
else
    fail "systemd-analyze security rates more than 2.0: ${exposure:-no figure}"
fi

# play_with SETTING...: starts the show with /etc/default/vexshow-kiosk holding
# the lines SETTING, and waits up to 10 s for it to play.
play_with() {
    printf '%s\n' "$@" >"$root/etc/default/vexshow-kiosk"
    # Seen once on Debian 13, not understood yet: a start that fails, which
    # Restart= makes good a second later. Said, with why, and waited for.
    if ! in_container systemctl restart "$unit"; then
        say "the kiosk did not start at once with the settings $*; the journal says:"
        kiosk_journal | tail -n 30
    fi
    local until=$((SECONDS + 15))
    while [ -z "$(show_pid)" ] && ((SECONDS < until)); do
        sleep 0.2
    done
}

# What the kiosk's processes, and systemd about it, wrote in this boot.
kiosk_journal() {
    in_container journalctl -b --no-pager SYSLOG_IDENTIFIER=vexshow-kiosk + UNIT="$unit" + _SYSTEMD_UNIT="$unit"
}

# The outputs cage lights, by name.
lit_outputs() {
    in_cage wlr-randr | awk '/^[^ ]/ { name = $1 } /^ +Enabled: yes/ { print name }' | paste -sd ' '
}

play_with ROTATION=sideways 'this line is no setting'
said=$(kiosk_journal)
if [[ "$said" == *"vexshow-kiosk:2 is not NAME=VALUE"* && "$said" == *"not sideways; not turning"* ]] &&
        [ -n "$(show_pid)" ]; then
    say "bad settings: the journal names the line that is no setting and the bad ROTATION, and the show plays"
else
    fail "bad settings: the journal does not name the line that is no setting and the bad ROTATION, or no show plays ($(show_pid))"
fi
play_with ROTATION=90
args=$(in_container ps -o args= -C vexshow || true)
if [ "$args" = "vexshow --loop --rotate 90" ]; then
    say "ROTATION=90 reaches the show: $args"
else
    fail "ROTATION=90 does not reach the show: ${args:-no show}"
fi

# Debian 13's cage leaves outputs to wlr-randr, and gives one that comes back
# its defaults, as wlr-randr --on does here: lit.
if [ "$release" != bookworm ]; then
    printf '[Service]\nEnvironment=WLR_HEADLESS_OUTPUTS=2\n' >"$root/etc/systemd/system/$unit.d/outputs.conf"
    in_container systemctl daemon-reload
    play_with OUTPUT=HEADLESS-2
    before=$(lit_outputs)
    in_cage wlr-randr --output HEADLESS-1 --on
    lit_again=$EPOCHREALTIME
    until=$((SECONDS + 5))
    while [ "$(lit_outputs)" != HEADLESS-2 ] && ((SECONDS < until)); do
        sleep 0.2
    done
    ms=$(((${EPOCHREALTIME/./} - ${lit_again/./}) / 1000))
    if [ "$before" = HEADLESS-2 ] && [ "$(lit_outputs)" = HEADLESS-2 ]; then
        say "OUTPUT=HEADLESS-2 holds: HEADLESS-1, lit again, was off again after $ms ms"
    else
        fail "OUTPUT=HEADLESS-2 does not hold: cage lit ${before:-nothing}, then $(lit_outputs) ${ms} ms after HEADLESS-1 was lit again;" \
            "running: $(in_container pgrep -a -x 'cage|vexshow' | paste -sd ' '); sockets: $(in_container ls /run/vexshow-kiosk | paste -sd ' ')"
    fi
    rm "$root/etc/systemd/system/$unit.d/outputs.conf"
    in_container systemctl daemon-reload
fi
in_container systemctl stop "$unit"
: >"$root/etc/default/vexshow-kiosk"

# A system call the filter refused ends its process (test.conf); a file or
# device the sandbox hides or keeps read-only makes a program say so.
refused=$(kiosk_journal | grep -i -E 'not permitted|permission denied|read-only file system|status=(31/SYS|159)|bad system call|seccomp|apparmor="DENIED"' || true)
if [ -z "$refused" ]; then
    say "the journal shows nothing refused to the kiosk, after playing, restarts and stops"
else
    fail "the sandbox refused the kiosk something:"
    printf '%s\n' "$refused" | head -n 10
fi

if [ "$failures" -ne 0 ]; then
    in_container journalctl -b -u "$unit" --no-pager | tail -n 30
    exit 1
fi
say "all checks passed"
