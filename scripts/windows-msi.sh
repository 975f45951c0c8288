# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash
# Sourced by windows.sh and the installer's test, from the top of the tree,
# with reproducible.sh:
#   build_msi FOLDER VERSION MSI
#       the Windows installer (dist/vexshow.wxs) of the program's folder as
#       VERSION (major.minor or major.minor.build), written to MSI, the same
#       bytes from the same folder, version and SOURCE_DATE_EPOCH

build_msi() {
    local folder=$1 version=$2 msi=$3 work upgrade_code package_code
    work=$(mktemp -d)
    # The cabinet keeps each file's time.
    cp -R "$folder" "$work/vexshow"
    cp dist/icons/vexshow.ico "$work/"
    find "$work/vexshow" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    # Every file but the program, which dist/vexshow.wxs names for its
    # shortcuts, each a component whose GUID wixl derives from its path. A
    # folder's files come before its subfolders', as wixl-heat opens a folder
    # anew each time the list comes back to it; it names folders at random,
    # so they are numbered instead.
    (cd "$work" && find vexshow -type f ! -path vexshow/vexshow.exe -printf '%h/\t%p\n' \
        | sort | cut -f2 \
        | wixl-heat --prefix vexshow/ --component-group Bundle --var var.Bundle \
            --directory-ref INSTALLDIR --win64 \
        | perl -pe 's/Id="dir[0-9A-F]+"/sprintf(q(Id="dir%d"), ++$n)/e') >"$work/files.wxs"

    # A later version replaces an earlier one only if its product code
    # differs, so each version has its own, derived from the upgrade code.
    upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' dist/vexshow.wxs)
    # wixl finds files only by paths relative to where it runs.
    (cd "$work" && at_source_date wixl --arch x64 --output vexshow.msi \
            -D Version="$version" -D ProductCode="$(uuid_in "$upgrade_code" "vexshow $version")" \
            -D Bundle=vexshow -D Win64=yes -D Icon=vexshow.ico \
            "$OLDPWD/dist/vexshow.wxs" files.wxs)
    # wixl takes no launch condition, and an administrator's mistyped
    # PLAYATLOGON must stop the install rather than pass unheeded.
    at_source_date msibuild "$work/vexshow.msi" -q "INSERT INTO \`LaunchCondition\`
        (\`Condition\`, \`Description\`) VALUES ('PLAYATLOGON = \"\" OR PLAYATLOGON = \"0\" OR PLAYATLOGON = \"1\"',
        'PLAYATLOGON is 1, to play the show at logon, or 0, not to.')"

    # wixl draws the package code at random, and Windows takes two packages
    # with the same package code for the same: it is derived from all the
    # rest of the package.
    set_package_code "$work/vexshow.msi" 00000000-0000-0000-0000-000000000000
    package_code=$(uuid_in "$upgrade_code" "$(sha256sum <"$work/vexshow.msi")")
    set_package_code "$work/vexshow.msi" "$package_code"
    mv "$work/vexshow.msi" "$msi"
    rm -rf "$work"
}

# uuid_in NAMESPACE NAME: the name-based UUID of NAME, in capitals.
uuid_in() {
    uuidgen --sha1 --namespace "$1" --name "$2" | tr a-f A-F
}

# at_source_date COMMAND...: wixl and msibuild write the time they run into
# the summary, read in the local time zone; libfaketime stops their clock.
at_source_date() {
    TZ=UTC FAKETIME="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
        LD_PRELOAD="$(faketime_library)" "$@"
}

# set_package_code MSI UUID: msibuild writes the whole summary anew.
set_package_code() {
    local summary
    summary=$(msiinfo suminfo "$1")
    at_source_date msibuild "$1" -s "$(sed -n 's/^Subject: //p' <<<"$summary")" \
        "$(sed -n 's/^Author: //p' <<<"$summary")" "$(sed -n 's/^Template: //p' <<<"$summary")" "{$2}"
}
