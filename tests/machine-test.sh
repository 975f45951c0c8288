#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Boots a whole emulated PC (qemu-system-x86_64, software emulation) from a
# fresh Debian 13 disk with the show's and the kiosk's packages installed by
# apt, the service enabled as docs/kiosk.md says and WLR_RENDERER=pixman in
# /etc/default/vexshow-kiosk, with a virtio-vga screen and a USB keyboard.
# Then it checks from outside, through QEMU's screendump and a root shell on
# the second serial port (the test's own, not a board's), what only a whole
# machine shows: the scene in the middle of the screen, black around it;
# the show back after it is killed; Ctrl+Alt+F2 reaching tty2's login prompt
# and Ctrl+Alt+F1 the show again; and tty1's login prompt after
# `systemctl stop`. Needs root and Debian's mirror. With a folder, its
# vexshow_*_amd64.deb and vexshow-kiosk_*_all.deb are tested rather than
# those that scripts/package.sh builds.
#   machine-test.sh [DEB-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "machine-test.sh: needs root for mmdebstrap and the disk's owners" >&2
    exit 1
fi
source scripts/debian-root.sh
source tests/screen.sh
release=trixie
if [ $# -eq 0 ]; then
    scripts/package.sh "$release" amd64
    set -- "build-package-$release-amd64"
fi
debs=("$1"/vexshow_*~deb13u1_amd64.deb "$1"/vexshow-kiosk_*~deb13u1_all.deb)
if [ ! -f "${debs[0]}" ] || [ ! -f "${debs[1]}" ]; then
    echo "machine-test.sh: no Debian 13 vexshow and vexshow-kiosk packages in $1" >&2
    exit 1
fi
scripts/install-deps.sh machine

unit=vexshow-kiosk.service
test_name="machine test" begin=$SECONDS
work=$(mktemp -d /var/tmp/vexshow-machine.XXXXXX)
qemu='' readers=()

stop_machine() {
    local pid
    for pid in $qemu "${readers[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    qemu='' readers=()
}
trap 'stop_machine; root_take_down; rm -rf "$work"' EXIT

# The disk: a minbase root with a kernel and what boots it, the packages
# installed and the service enabled as on a board, and the test's own root
# shell on ttyS1.
make_disk() {
    local getty=etc/systemd/system/serial-getty@ttyS1.service.d
    root_make "$release" amd64 "$work/root" \
        --include=linux-image-amd64,systemd,systemd-sysv,dbus,libpam-systemd,udev,kmod,procps \
        --customize-hook="copy-in ${debs[*]} /root" \
        --customize-hook="chroot \"\$1\" sh -c 'cd /root && apt-get install -y ./*.deb && rm ./*.deb'" \
        --customize-hook="chroot \"\$1\" systemctl enable $unit serial-getty@ttyS1.service"
    sed -i 's/^#WLR_RENDERER=pixman$/WLR_RENDERER=pixman/' "$root/etc/default/vexshow-kiosk"
    mkdir -p "$root/$getty"
    printf '%s\n' '[Service]' 'ExecStart=' \
        "ExecStart=-/sbin/agetty --autologin root --noclear --keep-baud 115200 %I \$TERM" \
        >"$root/$getty/autologin.conf"
    cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
    cp "$root"/boot/initrd.img-* "$work/initrd.img"
    # What apt downloaded goes to the cache, not onto the disk.
    root_keep_downloads
    rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*_*
    mke2fs -q -t ext4 -d "$root" "$work/disk.img" "$(($(du -sm "$root" | cut -f1) + 512))M"
    root_take_down
}

boot() {
    mkfifo "$work/shell.in" "$work/shell.out" "$work/qmp.in" "$work/qmp.out"
    qemu-system-x86_64 -nodefaults -no-user-config -machine pc -accel tcg -smp 2 -m 2048 \
        -kernel "$work/vmlinuz" -initrd "$work/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 panic=-1" -no-reboot \
        -drive "file=$work/disk.img,format=raw,if=virtio,cache=unsafe" \
        -device virtio-vga -display none -device qemu-xhci -device usb-kbd \
        -serial "file:$work/console.log" -chardev "pipe,id=shell,path=$work/shell" -serial chardev:shell \
        -qmp "pipe:$work/qmp" &
    qemu=$!
    cat "$work/shell.out" >"$work/shell.log" &
    readers+=($!)
    cat "$work/qmp.out" >"$work/qmp.log" &
    readers+=($!)
}

# in_machine COMMAND [SECONDS]: runs COMMAND in the machine's root shell and
# prints what it printed; fails as COMMAND did, or with 124 when no answer
# came in time (60 s). The typed line never matches the marks it prints, and
# what the terminal is told (bracketed paste on and off) is left out.
in_machine() {
    local mark=@${EPOCHREALTIME/./} until=$((SECONDS + ${2:-60})) log status
    printf 'echo "%s""<"; %s; echo "%s"">$?"\n' "$mark" "$1" "$mark" >"$work/shell.in"
    while ((SECONDS < until)); do
        log=$(sed 's/\r//g; s/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/shell.log")
        if [[ "$log" == *"$mark>"* ]]; then
            status=${log##*"$mark>"}
            log=${log##*"$mark<"$'\n'}
            printf '%s' "${log%%"$mark>"*}"
            return "${status%%$'\n'*}"
        fi
        sleep 0.5
    done
    return 124
}

# qmp COMMAND [ARGUMENTS]: a command to QEMU, waited for; fails on its error.
qmp() {
    local id=${EPOCHREALTIME/./} until=$((SECONDS + 60)) answer
    printf '{"execute": "%s", "arguments": %s, "id": %s}\n' "$1" "${2:-"{}"}" "$id" >"$work/qmp.in"
    while ((SECONDS < until)); do
        if answer=$(grep -E "\"id\": ${id}[,}]" "$work/qmp.log"); then
            [[ "$answer" != *'"error"'* ]] || { say "QEMU: $answer"; return 1; }
            return 0
        fi
        sleep 0.2
    done
    say "QEMU did not answer $1"
    return 1
}

# press KEY...: keys held down together on the USB keyboard, by QEMU's names.
press() {
    local keys=() key
    for key; do
        keys+=("{\"type\": \"qcode\", \"data\": \"$key\"}")
    done
    qmp send-key "{\"keys\": [$(IFS=,; echo "${keys[*]}")]}"
}

# shoot: the screen, in $work/screen.png.
shoot() {
    qmp screendump "{\"filename\": \"$work/screen.ppm\"}" && convert "$work/screen.ppm" "$work/screen.png"
}

# A login prompt: a few lines of text, more than a cursor, at the top left of
# a black screen (the first line may be empty). The font is 8x16.
is_text_console() {
    [[ "$(painted "$1")" =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] &&
        ((BASH_REMATCH[1] >= 6 * 8 && BASH_REMATCH[2] >= 16 && BASH_REMATCH[2] < 8 * 16 &&
            BASH_REMATCH[3] < 16 && BASH_REMATCH[4] < 3 * 16))
}

is_framed() {
    [ "$(painted "$1")" = "$(scene "$1")" ]
}

# until_seen SECONDS CONDITION...: shoots the screen until CONDITION, which
# may read the shot, holds; a round of the show frames the scene for 7 s.
until_seen() {
    local until=$((SECONDS + $1))
    while ((SECONDS < until)); do
        if shoot && "${@:2}"; then
            return 0
        fi
        sleep 1
    done
    return 1
}

# The console that the screen shows, tty1 to tty63.
active_console() {
    in_machine 'cat /sys/class/tty/tty0/active'
}

on_console() {
    [ "$(active_console)" = "$1" ] && is_text_console "$work/screen.png"
}

show_framed() {
    pid=$(in_machine 'pgrep -x vexshow') && [ "$pid" != "${killed:-}" ] && is_framed "$work/screen.png"
}

# give_up: what the machine said, and the last screendump kept, then exit 1.
give_up() {
    local kept
    if kill -0 "$qemu" 2>/dev/null; then
        in_machine "journalctl -b -u $unit --no-pager | tail -n 40" || true
    fi
    echo
    kept=$(mktemp -d /var/tmp/vexshow-machine-failed.XXXXXX)
    cp "$work/console.log" "$kept/"
    cp "$work/screen.png" "$kept/" 2>/dev/null || true
    say "the last screendump: $kept/screen.png; the serial console: $kept/console.log, its end:"
    tail -n 30 "$work/console.log"
    exit 1
}

say "making the disk: Debian $release, ${debs[*]##*/}"
make_disk
say "the disk is made; powering the machine on"
boot
on=$SECONDS
qmp qmp_capabilities || give_up
ready=''
while [ -z "$ready" ] && ((SECONDS < on + 600)) && kill -0 "$qemu" 2>/dev/null; do
    ready=$(in_machine 'stty -echo; PS1=; export SYSTEMD_PAGER=cat SYSTEMD_COLORS=0; echo up' 10 || true)
done
if [ -z "$ready" ]; then
    fail "no root shell on the serial port within 600 s of power-on$(kill -0 "$qemu" 2>/dev/null || echo '; QEMU has ended')"
    give_up
fi
say "the root shell answers $((SECONDS - on)) s after power-on; the system is $(in_machine 'systemctl is-system-running --wait' 600 || true)"

killed=''
if until_seen 600 show_framed; then
    say "the show plays $((SECONDS - on)) s after power-on, the scene $(scene "$work/screen.png") of the $(identify -format '%wx%h' "$work/screen.png") screen, black around it"
else
    fail "no screendump showed the scene framed in the centre; the last painted $(painted "$work/screen.png")"
fi

killed=$(in_machine 'pgrep -x vexshow' || true)
in_machine "kill -KILL $killed" || true
since=$SECONDS
if until_seen 300 show_framed; then
    say "the show killed with SIGKILL ($killed) was playing again after $((SECONDS - since)) s, as $pid"
else
    fail "the show killed with SIGKILL was not playing again within 300 s"
fi

press ctrl alt f2
since=$SECONDS
if until_seen 120 on_console tty2; then
    say "Ctrl+Alt+F2 showed tty2's login prompt after $((SECONDS - since)) s"
else
    fail "Ctrl+Alt+F2 did not show tty2's login prompt: the screen shows $(active_console || true), painted $(painted "$work/screen.png")"
fi
press ctrl alt f1
since=$SECONDS
if until_seen 120 show_framed; then
    say "Ctrl+Alt+F1 showed the show again after $((SECONDS - since)) s"
else
    fail "Ctrl+Alt+F1 did not show the show again: the screen shows $(active_console || true), painted $(painted "$work/screen.png")"
fi

# The console that the show leaves takes its login prompt again, as
# docs/kiosk.md has a technician get it back at once.
in_machine "systemctl stop $unit; systemctl start getty@tty1.service" 120 || true
since=$SECONDS
if until_seen 120 on_console tty1; then
    say "after systemctl stop, tty1 showed its login prompt after $((SECONDS - since)) s"
else
    fail "after systemctl stop, no login prompt on tty1: getty@tty1 is $(in_machine 'systemctl is-active getty@tty1.service' || true), the screen shows $(active_console || true), painted $(painted "$work/screen.png")"
fi

if [ "$failures" -ne 0 ]; then
    give_up
fi
say "all checks passed"
