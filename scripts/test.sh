#!/usr/bin/env bash
# Builds everything and runs every test: the end-to-end ones on virtual
# screens of their own, the scene through the linter, and then the whole
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build
cmake --build build --target all_qmllint
ctest --test-dir build --output-on-failure
scripts/test-sanitizers.sh
