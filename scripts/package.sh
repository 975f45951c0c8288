#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Debian package build-package/vexshow_<version>_amd64.deb from a
# Release build without the tests, and checks it and the desktop's files it
# installs: lintian (no error, no warning), desktop-file-validate, appstreamcli
# and groff. Install it with: sudo apt install ./build-package/vexshow_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

build_package() {
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    rm -f build-package/vexshow_*.deb
    cmake --build build-package --target package
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
    lintian --fail-on error,warning build-package/vexshow_*.deb
}

scripts/install-deps.sh package
build_package
check_package
