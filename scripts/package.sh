#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Debian package build-package/vexshow_<version>_amd64.deb from a
# Release build without the tests, and checks it with lintian and
# desktop-file-validate. Install it with: sudo apt install ./build-package/vexshow_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
rm -f build-package/vexshow_*.deb
cmake --build build-package --target package
desktop-file-validate dist/vexshow.desktop
lintian --fail-on error build-package/vexshow_*.deb
