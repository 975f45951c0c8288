#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Makes the Debian package of a release and architecture, lets apt install it
# into a fresh minbase root of that release and architecture (arm64 through
# qemu) and plays the installed /usr/bin/vexshow there on a virtual screen: it
# must play the whole show and exit with code 0, which it cannot when the
# package leaves out something the show needs at run time. Then the manual
# must format without warnings and the desktop entry's icon must be installed.
# Needs root and Debian's mirror.
#   package-test.sh [bookworm|trixie] [amd64|arm64]   as scripts/package.sh takes them
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test.sh: needs root for mmdebstrap, mount and chroot" >&2
    exit 1
fi
source scripts/debian-root.sh
source scripts/virtual-screen.sh
debian_target "$@"

scripts/package.sh "$release" "$arch"
scripts/install-deps.sh roots
deb=$(ls build-package-"$release-$arch"/vexshow_*_"$arch".deb)

work=$(mktemp -d /var/tmp/vexshow-freshroot.XXXXXX)
trap 'stop_virtual_screen; root_take_down && rm -rf "$work"' EXIT

root_make "$release" "$arch" "$work/root"
root_enter nobody
cp "$deb" "$root/tmp/"
chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -q -y --no-install-recommends "/tmp/${deb##*/}"

start_virtual_screen 1280x800 "$work"
root_bind /tmp/.X11-unix /tmp/.X11-unix
begin=${EPOCHREALTIME/./}
status=0
# A show that never ends is ended here and fails (124 or 137). Qt Quick logs
# a line per frame drawn, which is counted, not judged: the frame rate depends
# on the machine, and under emulation on the emulator.
in_root DISPLAY="$DISPLAY" QT_LOGGING_RULES=qt.scenegraph.time.renderer.debug=true \
    timeout -k 5 120 /usr/bin/vexshow 2>"$work/show.log" || status=$?
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
