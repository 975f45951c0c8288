#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Runs the tests a build folder registers, as ctest with its other arguments
# given after the folder: a failing test's whole output as it ends, and at the
# very end the failed checks again, where a log cut down to its beginning and
# end still shows them.
#   run-tests.sh BUILD-FOLDER [CTEST-ARGUMENT...]
set -euo pipefail

build=$1
shift
if ! ctest --test-dir "$build" --output-on-failure --test-output-size-failed 4000000 "$@"; then
    echo "The checks that failed, again:"
    # Each from its first line to the line naming where it failed.
    awk '/^(FAIL!|QFATAL|XPASS) / { lines = 10 }
         lines > 0 { print; lines-- }
         /^ *Loc: / { lines = 0 }' "$build/Testing/Temporary/LastTest.log"
    exit 1
fi
