#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Debian packages of a release and architecture from a Release build
# without the tests, the show's and the kiosk's (vexshow-kiosk, which holds no
# program and so is built for all architectures), and checks them and the
# desktop's files: lintian (no error, no warning), desktop-file-validate,
# appstreamcli and groff.
#   package.sh [bookworm|trixie] [amd64|arm64]
# No release means this machine's, no architecture amd64. The package lands in
# build-package-RELEASE-ARCH/, as vexshow_1.0-1~deb12u1_amd64.deb for Debian 12,
# ~deb13u1 for Debian 13: so a machine upgraded from 12 to 13 takes the newer
# build, and Debian's own 1.0-1 would still come after both. Install it with:
#   sudo apt install ./build-package-bookworm-amd64/vexshow_*.deb
# Another release's package is built in a clean root of that release, with its
# compiler, Qt and dpkg-shlibdeps, so that its Depends name that release's
# packages. arm64 is cross-built against Debian's arm64 Qt, with Qt's tools
# from the machine's own. Two builds of one commit give the same package
# (scripts/reproducible.sh); its SHA256SUMS goes beside it, and a stamp of
# what it was built from: called again for the same tree, date, release,
# architecture and build tools (the machine's, or for another release the
# day's mirror), it keeps the packages it built and says so. Calls side by
# side wait for one another.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/debian-root.sh
source scripts/reproducible.sh

debian_target
own_release=$release
debian_target "$@"
case "$release-$arch" in
    bookworm-amd64 | bookworm-arm64 | trixie-amd64 | trixie-arm64) ;;
    *)
        echo "usage: package.sh [bookworm|trixie] [amd64|arm64]" >&2
        exit 2
        ;;
esac
build=build-package-$release-$arch
pin_build_environment

# What the packages are built from: the project's files as a root's copy has
# them, the date they carry, and what builds them; where no git lists the
# files (a root's copy), nothing is kept.
package_stamp() {
    local files names tools
    files=$(project_files | sort -z |
        tar --null --no-recursion -T - -c --mtime=@0 --owner=0 --group=0 --numeric-owner | sha256sum)
    if [ "$release" = "$own_release" ]; then
        # The build's packages and all they depend on, as installed. apt also
        # names alternatives that are not installed, which dpkg-query leaves
        # out, and another architecture's, which the arm64 build installs
        # beside the machine's: only the build's own architecture counts, and
        # a name without one is the machine's or all.
        mapfile -t names < <(scripts/install-deps.sh --list "$([ "$arch" = amd64 ] && echo package || echo arm64)")
        mapfile -t names < <(apt-cache depends --recurse --installed --no-recommends --no-suggests \
                --no-conflicts --no-breaks --no-replaces --no-enhances "${names[@]}" | grep -v '^ ' | sort -u |
            awk -F: -v arch="$arch" 'NF == 1 || $2 == arch' |
            sed "/:/!{s/\$/:all/;p;s/:all\$/:$(dpkg --print-architecture)/}")
        tools=$({ dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' "${names[@]}" 2>/dev/null || true; } |
            sha256sum)
        tools="the installed packages ${tools%% *}"
    else
        tools="a root of Debian's mirror on $(date -u +%F)"
    fi
    printf '%s\n' "files ${files%% *}" "SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH" "release $release" \
        "arch $arch" "built with $tools"
}

mkdir -p "$build"
exec {lock}>"$build/lock"
flock "$lock"
stamp=''
if [ -e .git ] && command -v git >/dev/null; then
    stamp=$(package_stamp)
    if [ -e "$build/stamp" ] && [ "$(cat "$build/stamp")" = "$stamp" ] &&
            (cd "$build" && sha256sum --quiet --strict -c SHA256SUMS 2>/dev/null); then
        echo "package.sh: $build already holds the packages of this tree, built $(date -u -r "$build/stamp" '+%F %T UTC'); not building them again:"
        cat "$build/SHA256SUMS"
        exit 0
    fi
fi
rm -f "$build/stamp"

if [ "$release" != "$own_release" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "package.sh: another release's package is built in a fresh root, which needs root" >&2
        exit 1
    fi
    scripts/install-deps.sh roots
    work=$(mktemp -d /var/tmp/vexshow-package.XXXXXX)
    trap 'root_take_down && rm -rf "$work"' EXIT
    root_make "$release" "$(dpkg --print-architecture)" "$work/root"
    root_enter root
    root_copy_project
    # A root's copy of the project has no history to date it by.
    in_root SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" sh -c 'cd /vexshow && exec scripts/package.sh "$@"' sh "$release" "$arch"
    rm -f "$build"/*.deb "$build/SHA256SUMS"
    cp "$root/vexshow/$build"/*.deb "$root/vexshow/$build/SHA256SUMS" "$build/"
    [ -z "$stamp" ] || echo "$stamp" >"$build/stamp"
    exit
fi

if [ "$arch" = amd64 ]; then
    scripts/install-deps.sh package
    cross=()
else
    scripts/install-deps.sh arm64
    cross=(-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DQT_HOST_PATH=/usr
        -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_BUILD_MULTIARCH)/cmake")
fi
# shellcheck source=/dev/null
revision=1~deb$(. /etc/os-release && echo "$VERSION_ID")u1

build_package() {
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DVEXSHOW_DEBIAN_REVISION="$revision" -DVEXSHOW_DEBIAN_DISTRIBUTION="$release" "${cross[@]}"
    rm -f "$build"/*.deb "$build/SHA256SUMS"
    # Every output is made again: rcc writes SOURCE_DATE_EPOCH into the
    # resources it packs, and ninja would keep those of an earlier commit.
    cmake --build "$build" --target clean
    cmake --build "$build" --target package
}

# groff reports what it cannot format and still succeeds.
check_manual() {
    local warnings
    warnings=$(groff -man -ww -Tutf8 -z dist/vexshow.1 2>&1)
    if [ -n "$warnings" ]; then
        echo "$warnings" >&2
        return 1
    fi
}

check_package() {
    desktop-file-validate dist/org.example.vexshow.desktop
    appstreamcli validate --no-net dist/org.example.vexshow.metainfo.xml
    check_manual
    lintian --fail-on error,warning "$build"/*.deb
}

build_package
check_package
mapfile -t debs < <(cd "$build" && ls -- *.deb)
write_checksums "$build" "${debs[@]}"
[ -z "$stamp" ] || echo "$stamp" >"$build/stamp"
