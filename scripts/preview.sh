#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Renders docs/preview.gif, the whole show at 10 frames a second, with
# contactsheet on the tests' virtual clock: the same on every machine but for
# the border's colours, which the scene draws at random.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target contactsheet

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
build/contactsheet --out "$frames" $(seq 0 100 18900) >/dev/null
# Dithered, every frame would differ from the last almost everywhere, and the
# file would be more than twice the size.
convert -delay 10 -loop 0 "$frames"/frame-*.png +dither -layers Optimize docs/preview.gif
