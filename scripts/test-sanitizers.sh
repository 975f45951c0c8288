#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs every test there. Leaks of the toolkit's own are
# suppressed in tests/lsan.supp; anything else fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXSHOW_SANITIZE=ON
cmake --build build-asan
scripts/run-tests.sh build-asan
