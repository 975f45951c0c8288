#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Draws the program's icon from the show itself into dist/icons/: the hicolor
# PNGs (16 to 256 pixels) and vexshow.ico, the same images for Windows.
# contactsheet renders one frame of the message on the tests' virtual clock;
# the border's four corners fold into a square ring of its coloured squares
# around the message's dotted "0". The border's colours are drawn at random,
# so every run draws another icon.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=(16 32 48 64 128 256)
out=dist/icons
# "w0rk5" in the middle, with the sweeping bar faded and above the text.
frame_time=6100

build_contactsheet() {
    scripts/install-deps.sh
    cmake -S . -B build -G Ninja
    cmake --build build --target contactsheet
}

# render_frame DIR: the frame at frame_time, as DIR/frame.png.
render_frame() {
    build/contactsheet --out "$1" "$frame_time" >/dev/null
    mv "$1"/frame-*.png "$1/frame.png"
}

# fold_border FRAME RING: the frame's 40x40 corners, side by side, make an
# 80x80 ring eight squares wide, brightened a little, as the squares' random
# transparency over black leaves many of them dim.
fold_border() {
    local corner=40 width height
    width=$(identify -format %w "$1")
    height=$(identify -format %h "$1")
    convert "$1" \
        \( -clone 0 -crop "${corner}x${corner}+0+0" \) \
        \( -clone 0 -crop "${corner}x${corner}+$((width - corner))+0" \) \
        \( -clone 0 -crop "${corner}x${corner}+0+$((height - corner))" \) \
        \( -clone 0 -crop "${corner}x${corner}+$((width - corner))+$((height - corner))" \) \
        -delete 0 +repage \
        \( -clone 0,1 +append \) \( -clone 2,3 +append \) -delete 0-3 -append \
        -level 0%,80% "$2"
}

# cut_glyph FRAME GLYPH: the "0" of "w0rk5", trimmed to its ink, in white.
cut_glyph() {
    convert "$1" -crop 66x100+317+185 +repage -fuzz 10% -trim +repage -auto-level "$2"
}

# draw_icon RING GLYPH SIZE FILE: the ring scaled so that every square stays
# whole pixels, the glyph scaled from the frame itself into its middle.
draw_icon() {
    local ring=$1 glyph=$2 size=$3 filter=box
    [ "$size" -gt 80 ] && filter=point
    convert \( "$ring" -filter "$filter" -resize "${size}x${size}" \) \
        \( "$glyph" -resize "x$((size * 5 / 8))" \) \
        -gravity center -composite -strip "$4"
}

draw_icons() {
    local work=$1 size pngs=()
    for size in "${sizes[@]}"; do
        draw_icon "$work/ring.png" "$work/glyph.png" "$size" "$out/$size.png"
        pngs+=("$out/$size.png")
    done
    # Windows keeps the 256 pixel image as PNG, the smaller ones as bitmaps.
    convert "${pngs[@]}" "$out/vexshow.ico"
}

build_contactsheet
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
render_frame "$work"
fold_border "$work/frame.png" "$work/ring.png"
cut_glyph "$work/frame.png" "$work/glyph.png"
mkdir -p "$out"
draw_icons "$work"
ls "$out"
