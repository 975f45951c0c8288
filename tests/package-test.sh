#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Makes the Debian package, lets apt install it into a fresh Debian 12 root
# (debootstrap, minbase) and plays the installed /usr/bin/vexshow there on a
# virtual screen: it must play the whole show and exit with code 0, which it
# cannot when the package leaves out something the show needs at run time.
# Then the manual must format without warnings and the desktop entry's icon
# must be installed.
# Needs root and Debian's mirror. What it downloads is kept for the next run
# in VEXSHOW_FRESHROOT_CACHE (default ~/.cache/vexshow-freshroot).
#   package-test.sh arm64   the cross-built arm64 package in an arm64 root, run
#                           through qemu; its cache gets the suffix -arm64
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test.sh: needs root for debootstrap, mount and chroot" >&2
    exit 1
fi
arch=${1:-$(dpkg --print-architecture)}
if [ "$arch" = "$(dpkg --print-architecture)" ]; then
    package=() build=build-package suffix=
else
    package=("$arch") build=build-package-$arch suffix=-$arch
fi
cache=${VEXSHOW_FRESHROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexshow-freshroot}$suffix

scripts/package.sh "${package[@]}"
deb=$(ls "$build"/vexshow_*_"$arch".deb)

# A foreign root's programs run through qemu's binfmt handler; whatever of it
# was not already in place is put back as it was.
binfmt=/proc/sys/fs/binfmt_misc
unmount_binfmt=0 disable_handler=0
start_emulation() {
    if ! mountpoint -q "$binfmt"; then
        mount -t binfmt_misc binfmt_misc "$binfmt"
        unmount_binfmt=1
    fi
    if ! grep -qx enabled "$binfmt/qemu-aarch64" 2>/dev/null; then
        update-binfmts --enable qemu-aarch64
        disable_handler=1
    fi
}
stop_emulation() {
    if [ "$disable_handler" -eq 1 ]; then
        update-binfmts --disable qemu-aarch64 || true
    fi
    if [ "$unmount_binfmt" -eq 1 ]; then
        umount "$binfmt" || true
    fi
}
work=$(mktemp -d /var/tmp/vexshow-freshroot.XXXXXX)
root=$work/root
mounts=()
source scripts/virtual-screen.sh
# A bind mount still in place would take what it shows down with the root,
# so the root is removed only once every mount is gone.
cleanup() {
    stop_virtual_screen
    stop_emulation
    local i left=0
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount --lazy "${mounts[i]}" || left=1
    done
    if [ "$left" -eq 0 ]; then
        rm -rf "$work"
    else
        echo "package-test.sh: left $work behind, something is still mounted there" >&2
    fi
}
trap cleanup EXIT
# bind DIR PATH: shows DIR at PATH inside the root.
bind() {
    mkdir -p "$root$2"
    mount --bind "$1" "$root$2"
    mounts+=("$root$2")
}

if [ "$arch" = arm64 ]; then
    start_emulation
fi

echo "package test: a fresh Debian 12 $arch root in $root"
mkdir -p "$cache/debootstrap" "$cache/archives/partial" "$cache/lists/partial"
if ! debootstrap --arch="$arch" --variant=minbase --cache-dir="$cache/debootstrap" bookworm "$root" \
        >"$work/debootstrap.log" 2>&1; then
    tail -n 20 "$work/debootstrap.log"
    exit 1
fi
cp /etc/resolv.conf "$root/etc/"
mount -t proc proc "$root/proc"
mounts+=("$root/proc")
bind "$cache/archives" /var/cache/apt/archives
bind "$cache/lists" /var/lib/apt/lists
cp "$deb" "$root/tmp/"
chroot "$root" apt-get update -q
chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -q -y --no-install-recommends "/tmp/${deb##*/}"

start_virtual_screen 1280x800 "$work"
bind /tmp/.X11-unix /tmp/.X11-unix
begin=${EPOCHREALTIME/./}
status=0
# A show that never ends is ended here and fails (124 or 137). Qt Quick logs
# a line per frame drawn, which is counted, not judged: the frame rate depends
# on the machine, and under emulation on the emulator.
timeout -k 5 120 chroot --userspec=nobody:nogroup "$root" \
    env -i HOME=/tmp DISPLAY="$DISPLAY" QT_LOGGING_RULES=qt.scenegraph.time.renderer.debug=true \
    /usr/bin/vexshow 2>"$work/show.log" || status=$?
ms=$(( (${EPOCHREALTIME/./} - begin) / 1000 ))
grep -v 'qt.scenegraph.time.renderer' "$work/show.log" >&2 || true
frames=$(grep -c 'qt.scenegraph.time.renderer' "$work/show.log" || true)
printf 'package test: the installed show exited with code %d after %d.%03d s, %d frames drawn\n' \
    "$status" $((ms / 1000)) $((ms % 1000)) "$frames"
# The scene's own timers take 19 s, so a show that ended before 17 s did not
# play to its end. No upper bound: on a loaded machine the show runs late.
[ "$status" -eq 0 ] && [ "$ms" -ge 17000 ] || exit 1

# After the show, so that man-db cannot supply anything the show needs.
chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -q -y --no-install-recommends man-db >/dev/null
if ! warnings=$(chroot "$root" man --warnings vexshow 2>&1 >/dev/null) || [ -n "$warnings" ]; then
    echo "package test: man vexshow does not format cleanly: $warnings" >&2
    exit 1
fi
icon=$(sed -n 's/^Icon=//p' "$root$(chroot "$root" dpkg -L vexshow | grep '\.desktop$')")
echo "package test: the desktop entry's icon $icon is installed as:"
find "$root/usr/share/icons/hicolor" -name "$icon.png" | grep .
