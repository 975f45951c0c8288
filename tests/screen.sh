# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash

# What the kiosk tests read off a screenshot of a whole screen with ImageMagick,
# and how they report. Sourced; the test names itself in test_name and may
# set begin, the SECONDS its report counts from.
test_name='' begin=$SECONDS failures=0

# A line of the test's report, with the seconds it has taken so far.
say() {
    printf '%s (%3d s): %s\n' "$test_name" $((SECONDS - begin)) "$*"
}

fail() {
    say "FAILED: $*"
    failures=$((failures + 1))
}

# The scene's size.
scene_width=800 scene_height=480

# What of a screenshot is not black: WIDTHxHEIGHT+X+Y, 0x0 for nothing.
painted() {
    convert "$1" -format '%@' info: 2>/dev/null
}

# Where the scene is on a screenshot: in its middle.
scene() {
    local size
    size=$(identify -format '%w %h' "$1")
    echo "${scene_width}x$scene_height+$(((${size% *} - scene_width) / 2))+$(((${size#* } - scene_height) / 2))"
}

same_picture() {
    local differing
    differing=$(compare -metric AE -fuzz 5% "$1" "$2" null: 2>&1 || true)
    [ "$differing" = 0 ]
}
