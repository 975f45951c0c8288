#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Debian package build-package/vexshow_<version>_amd64.deb from a
# Release build without the tests, and checks it with lintian and
# desktop-file-validate. Install it with: sudo apt install ./build-package/vexshow_*.deb
#   package.sh arm64   cross-builds build-package-arm64/vexshow_<version>_arm64.deb
#                      instead, against Debian's arm64 Qt
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
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

scripts/install-deps.sh "$deps"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${cross[@]}"
rm -f "$build"/vexshow_*.deb
cmake --build "$build" --target package
desktop-file-validate dist/vexshow.desktop
lintian --fail-on error "$build"/vexshow_*.deb
