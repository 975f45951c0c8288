#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Checks that every file names its licence, that shellcheck finds nothing in
# the shell scripts and that the Markdown links lead somewhere, builds
# everything and runs every test: the end-to-end ones on virtual screens of
# their own, the scene through the linter, and then the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer.
#   test.sh --no-sanitizers   the plain pass alone
set -euo pipefail
cd "$(dirname "$0")/.."

# The project's files, NUL-separated: all but git's own and the build folders
# (as .gitignore has it), so that a copy without git reads the same.
project_files() {
    find . \( -path ./.git -o -type d -path './build*' \) -prune -o -type f -print0
}

scripts/install-deps.sh

# Without git, reuse would read the build folders too; it reads a copy of
# what the project holds instead. Debian 12's reuse reads only .reuse/dep5,
# which later ones still read but warn of as deprecated.
lint_copy=$(mktemp -d)
trap 'rm -rf "$lint_copy"' EXIT
project_files | tar --null -T - -c | tar -x -C "$lint_copy"
PYTHONWARNINGS=ignore::PendingDeprecationWarning reuse --root "$lint_copy" lint --quiet

shell_scripts=()
while IFS= read -r -d '' file; do
    if [[ $file == *.sh ]] || head -n1 "$file" | grep -qE '^#!.*[/ ](ba)?sh$'; then
        shell_scripts+=("$file")
    fi
done < <(project_files)
shellcheck -x "${shell_scripts[@]}"

scripts/check-links.py
cmake -S . -B build -G Ninja
cmake --build build
cmake --build build --target all_qmllint
scripts/run-tests.sh build
if [ "${1:-}" != --no-sanitizers ]; then
    scripts/test-sanitizers.sh
fi
