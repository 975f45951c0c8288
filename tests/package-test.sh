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
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test.sh: needs root for debootstrap, mount and chroot" >&2
    exit 1
fi
cache=${VEXSHOW_FRESHROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexshow-freshroot}

scripts/package.sh
deb=$(ls build-package/vexshow_*_amd64.deb)

work=$(mktemp -d /var/tmp/vexshow-freshroot.XXXXXX)
root=$work/root
mounts=()
source scripts/virtual-screen.sh
# A bind mount still in place would take what it shows down with the root,
# so the root is removed only once every mount is gone.
cleanup() {
    stop_virtual_screen
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

echo "package test: a fresh Debian 12 root in $root"
mkdir -p "$cache/debootstrap" "$cache/archives/partial" "$cache/lists/partial"
if ! debootstrap --variant=minbase --cache-dir="$cache/debootstrap" bookworm "$root" \
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
# A show that never ends is ended here and fails (124 or 137).
timeout -k 5 120 chroot --userspec=nobody:nogroup "$root" \
    env -i HOME=/tmp DISPLAY="$DISPLAY" /usr/bin/vexshow || status=$?
ms=$(( (${EPOCHREALTIME/./} - begin) / 1000 ))
printf 'package test: the installed show exited with code %d after %d.%03d s\n' \
    "$status" $((ms / 1000)) $((ms % 1000))
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
