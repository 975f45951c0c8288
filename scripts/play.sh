#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the show and plays it: on the desktop when there is one, otherwise on
# a virtual screen of its own, and then says how the show ended.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target vexshow

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/vexshow "$@"
fi

echo "No DISPLAY or WAYLAND_DISPLAY: playing on a virtual 1280x800 screen."

workdir=$(mktemp -d)
source scripts/virtual-screen.sh
trap 'stop_virtual_screen; rm -rf "$workdir"' EXIT
start_virtual_screen 1280x800 "$workdir"

begin=$(date +%s%N)
status=0
build/vexshow "$@" || status=$?
end=$(date +%s%N)
elapsed=$(( (end - begin) / 1000000 ))
printf 'The show ended with exit code %d after %d.%03d s.\n' \
    "$status" $((elapsed / 1000)) $((elapsed % 1000))
exit "$status"
