#!/usr/bin/env bash
# Builds everything and runs every test, the end-to-end one on a virtual
# screen of its own, and lints the scene.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build
cmake --build build --target all_qmllint
ctest --test-dir build --output-on-failure
