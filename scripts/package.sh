#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Debian package build-package/vexshow_<version>_amd64.deb from a
# Release build without the tests, and checks it and the desktop's files it
# installs: lintian (no error, no warning), desktop-file-validate, appstreamcli
# and groff. Install it with: sudo apt install ./build-package/vexshow_*.deb
# Two builds of one commit give the same package (scripts/reproducible.sh);
# its SHA256SUMS goes beside it.
#   package.sh arm64   cross-builds build-package-arm64/vexshow_<version>_arm64.deb
#                      instead, against Debian's arm64 Qt
set -euo pipefail
cd "$(dirname "$0")/.."

# choose_target [arm64]: what to install, where to build, and how to cross-build.
choose_target() {
    case "$1" in
        "")
            deps=package build=build-package cross=()
            ;;
        arm64)
            # Qt's tools run on this machine, so they come from its own Qt.
            deps=arm64 build=build-package-arm64
            cross=(-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DQT_HOST_PATH=/usr
                -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_BUILD_MULTIARCH)/cmake")
            ;;
        *)
            echo "usage: package.sh [arm64]" >&2
            exit 2
            ;;
    esac
}

# The package's version is the project's, with the Debian revision (say
# 1~deb12u1) after a hyphen when one is given.
build_package() {
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${cross[@]}" \
        -DVEXSHOW_DEBIAN_REVISION="$revision"
    rm -f "$build"/vexshow_*.deb "$build/SHA256SUMS"
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
    lintian --fail-on error,warning "$build"/vexshow_*.deb
}

source scripts/reproducible.sh
pin_build_environment
revision=
choose_target "${1:-}"
scripts/install-deps.sh "$deps"
build_package
check_package
write_checksums "$build" "$(cd "$build" && ls vexshow_*.deb)"
