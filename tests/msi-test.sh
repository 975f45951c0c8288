#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Deploys the Windows installer into a fresh Wine prefix as an administrator
# would, silently, and checks what it makes there: the program's folder as
# the zip has it, the Start-menu shortcut and its icon, the entry under
# installed apps, the show played from the shortcut's target (tst_endtoend),
# the play-at-logon option, an upgrade in place from an earlier version built
# here, and that removing it leaves nothing it made.
#   msi-test.sh MSI FOLDER TST_ENDTOEND
# MSI and FOLDER as scripts/windows.sh builds them (build-windows/vexshow-
# windows-x64.msi and build-windows/vexshow), TST_ENDTOEND the built test.
set -euo pipefail
msi=$(realpath "$1")
folder=$(realpath "$2")
endtoend=$(realpath "$3")
cd "$(dirname "$0")/.."
source scripts/reproducible.sh
source scripts/windows-msi.sh
pin_build_environment

work=$(mktemp -d /var/tmp/vexshow-msi.XXXXXX)
# Wine's menu builder would copy the shortcuts into this machine's own menus.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files/vexshow
program='C:\Program Files\vexshow\vexshow.exe'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

fail() {
    echo "msi test: $*" >&2
    exit 1
}

# msiexec ARGUMENTS...: silently, and until Wine has written all it did.
msiexec() {
    echo "msi test: msiexec $*"
    wine msiexec "$@" /qn /l*v "$work/msiexec.log" || fail "msiexec $* failed (log: $work/msiexec.log)"
    wineserver -w
}

# property MSI NAME: a property the installer sets, as it says.
property() {
    msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"
}

# registry KEY NAME: a value of the registry of the prefix.
registry() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# shortcut_runs FOLDER [ARGUMENT]: the one vexshow.lnk in a folder of that
# name runs the installed program, with that argument, and shows its icon.
shortcut_runs() {
    local links link
    mapfile -t links < <(find "$drive" -ipath "*/$1/vexshow.lnk")
    [ "${#links[@]}" -eq 1 ] || fail "${#links[@]} shortcuts vexshow.lnk in a folder $1, not one"
    link=$(lnkinfo "${links[0]}")
    if [ "$(field 'Local path' <<<"$link")" != "$program" ] \
        || [ "$(field 'Command line arguments' <<<"$link")" != "${2:-}" ]; then
        fail "the shortcut in $1 does not run the show${2:+ with $2}: $link"
    fi
    same_icon "$(field 'Icon location' <<<"$link")"
}

# plays_at_logon yes|no: whether a Startup shortcut runs the show, looping.
plays_at_logon() {
    if [ "$1" = yes ]; then
        shortcut_runs "Programs/Startup" --loop
    else
        [ -z "$(find "$drive" -ipath '*/Startup/vexshow.lnk')" ] || fail "it plays at logon unasked"
    fi
}

# install MSI OPTION: msiexec /i with the option, or none for -.
install() {
    if [ "$2" = - ]; then
        msiexec /i "$1"
    else
        msiexec /i "$1" "$2"
    fi
}

# field NAME: a field of what lnkinfo says.
field() {
    sed -n "s/^\t$1\t*: //p"
}

# The icon's file as Windows finds it from a path the installer wrote.
same_icon() {
    cmp "$(winepath -u "$1")" dist/icons/vexshow.ico || fail "the icon at $1 is not the program's"
}

# packed {PRODUCT-CODE}: the code as the installer's own registry keys spell it.
packed() {
    local code=${1//[\{\}-]/} spelt i
    spelt=$(rev <<<"${code:0:8}")$(rev <<<"${code:8:4}")$(rev <<<"${code:12:4}")
    for ((i = 16; i < 32; i += 2)); do
        spelt+=${code:i+1:1}${code:i:1}
    done
    echo "$spelt"
}

# installed_as MSI: the prefix holds that version, with its files, entry,
# icon and shortcut.
installed_as() {
    local product version
    product=$(property "$1" ProductCode)
    version=$(property "$1" ProductVersion)
    diff -r "$folder" "$installed" || fail "Program Files\\vexshow differs from the program's folder"
    [ "$(registry "$uninstall\\$product" DisplayName)" = vexshow ] || fail "no entry $product under installed apps"
    [ "$(registry "$uninstall\\$product" DisplayVersion)" = "$version" ] || fail "the entry's version is not $version"
    [ "$(registry "$uninstall\\$product" Publisher)" = "the vexshow developers" ] || fail "the entry's publisher"
    [ "$(registry "$uninstall\\$product" HelpLink)" = https://example.org/vexshow ] || fail "the entry's help link"
    # Windows shows the icon of an installer's product from its own record.
    same_icon "$(registry "HKLM\\Software\\Classes\\Installer\\Products\\$(packed "$product")" ProductIcon)"
    shortcut_runs "Start Menu/Programs"
}

# Every file and registry key of the prefix, to compare before and after.
snapshot() {
    (cd "$WINEPREFIX" && find drive_c && sed -n 's/^\(\[.*\]\) [0-9]*$/\1/p' system.reg user.reg) | sort
}

# What the first install into a prefix makes for Windows Installer itself,
# as every Windows has it, may stay: its folder and the keys its records of
# products go in, not the records.
nothing_left() {
    local own left
    own='\[Software\\\\(Classes|Microsoft\\\\Windows\\\\CurrentVersion)\\\\Installer(\\\\UserData\\\\S-1-5-18)?\\\\[A-Za-z]+\]'
    left=$(comm -13 "$work/before" <(snapshot) | grep -Evx -e 'drive_c/windows/Installer' -e "$own" || true)
    [ -z "$left" ] || fail "removing it left behind: $left"
}

echo "msi test: a fresh Wine prefix in $WINEPREFIX"
wineboot --init
wineserver -w
snapshot >"$work/before"

msiexec /i "$msi"
installed_as "$msi"
plays_at_logon no
# A Wine left running by the checks has no display to give the show.
wineserver -w
VEXSHOW_COMMAND="setsid -w wine \"$program\"" "$endtoend" || fail "the installed show did not play as it should"
# Over the installed copy, as an administrator changes the option: each
# command line's choice, or the one before where it makes none.
for row in "PLAYATLOGON=1 yes" "- yes" "PLAYATLOGON=0 no" "- no"; do
    read -r option plays <<<"$row"
    install "$msi" "$option"
    plays_at_logon "$plays"
done
# A mistyped value stops the install rather than pass unheeded.
! wine msiexec /i "$msi" /qn PLAYATLOGON=yes || fail "PLAYATLOGON=yes did not stop the install"
wineserver -w
msiexec /x "$msi"
nothing_left

# An earlier version with a file the later one lacks, installed with or
# without play-at-logon, then the later one over it with PLAYATLOGON=0, 1 or
# neither; neither keeps the earlier choice.
cp -R "$folder" "$work/earlier"
echo "only in the earlier version" >"$work/earlier/earlier.txt"
build_msi "$work/earlier" 0.9 "$work/earlier.msi"
earlier=$(property "$work/earlier.msi" ProductCode)
for row in "PLAYATLOGON=1 - yes" "PLAYATLOGON=1 PLAYATLOGON=0 no" "- PLAYATLOGON=1 yes" "- - no"; do
    read -r before option plays <<<"$row"
    install "$work/earlier.msi" "$before"
    [ -e "$installed/earlier.txt" ] || fail "the earlier version is not installed"
    install "$msi" "$option"
    installed_as "$msi"
    plays_at_logon "$plays"
    ! wine reg query "$uninstall\\$earlier" >/dev/null 2>&1 || fail "the earlier version's entry is still there"
    msiexec /x "$msi"
    nothing_left
done
msiexec /i "$msi"
! wine msiexec /i "$work/earlier.msi" /qn || fail "the earlier version installs over the later one"
wineserver -w
msiexec /x "$msi"
nothing_left
echo "msi test: passed"
