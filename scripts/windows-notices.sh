# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash
# Sourced by windows.sh, whose variables it reads:
#   write_notices   the licences and notices that let the Windows folder be
#                   handed on, into its licenses/ folder
#
# The folder bundles Qt's DLLs (LGPL-3.0) and the compiler's runtime, so it
# carries their licences, a notice of what they are and how to replace them,
# the notices of the third-party code compiled into them, and points at the
# source archive that windows.sh writes beside the zip.

# Which of the attributions in Qt's sources (qt_attribution.json, by Id) name
# code that the build compiles in: each holds when all its features are on (or
# off, with !) in the prefix's configuration; "always" for code every build of
# those modules has, "never" for what no Windows build of them has (build
# scripts, tests, other platforms, ARM only). An Id missing here stops the
# script, so that nothing new slips in or out unseen.
attribution_rules='
blake2                      !system_libb2
doubleconversion            doubleconversion !system_doubleconversion
easing                      easingcurve
freetype                    freetype !system_freetype
freetype-zlib               freetype !system_freetype
freetype-bdf                freetype !system_freetype
freetype-pcf                freetype !system_freetype
harfbuzz-ng                 harfbuzz !system_harfbuzz
libjpeg                     jpeg !system_jpeg
libpng                      png !system_png
md4c                        textmarkdownreader !system_textmarkdownreader
pcre2                       regularexpression !system_pcre2
pcre2-sljit                 regularexpression !system_pcre2
zlib                        !system_zlib
tinycbor                    cborstreamwriter
icc-sRGB-color-profile      pdf
aglfn                       pdf
opengl-headers              opengl
opengl-es2-headers          opengl
vulkan-xml-spec             vulkan
VulkanMemoryAllocator       vulkan
libdbus-1-headers           dbus
libpsl                      network
psl                         network
xcb-xinput                  xcb
shadow_angular_material     quickcontrols2_material
md4                         always
md5                         always
sha1                        always
rfc6234                     always
sha3_endian                 always
sha3_keccak                 always
siphash                     always
unicode-character-database  always
unicode-cldr                always
grayraster                  always
smooth-scaling-algorithm    always
xserverhelper               always
webgradients                always
masm                        always
extra-cmake-modules         never
kwin                        never
android-native-style        never
android-gradle-wrapper      never
forkfd                      never
pixman                      never
vera_font                   never
dejayvu                     never
qeventdispatcher_cf         never
cocoa-platform-plugin       never
valgrind                    never
cycle                       never
linuxperf                   never
catch2                      never
'

# The features the prefix's Qt was configured with, one a line.
qt_features() {
    find "${qt_prefix:?}/include" \( -name 'qt*-config.h' -o -name 'qt*-config_p.h' \) -exec cat {} + \
        | sed -n 's/^#define QT_FEATURE_\([a-z0-9_]*\) 1$/\1/p' | sort -u
}

# compiled_in ID FEATURES: whether the attribution ID names code in the build.
compiled_in() {
    local id=$1 features=$2 terms term
    terms=$(awk -v id="$id" '$1 == id { $1 = ""; print; found = 1 } END { exit !found }' \
        <<<"$attribution_rules") || {
        echo "windows.sh: no rule for Qt's attribution '$id' in windows-notices.sh" >&2
        return 2
    }
    for term in $terms; do
        case $term in
            always) ;;
            never) return 1 ;;
            !*) ! grep -qx "${term#!}" <<<"$features" || return 1 ;;
            *) grep -qx "$term" <<<"$features" || return 1 ;;
        esac
    done
}

# The notices of Qt's third-party code that the build compiles in, each with
# its licence, read by Qt's own scanner from the sources it was built from.
write_third_party_notices() {
    local out=$1 work json features id status
    work=$(mktemp -d)
    unpack_sources "$work"
    json=$work/attributions.json
    /usr/lib/qt6/libexec/qtattributionsscanner --output-format json --basedir "$work" \
        -o "$json" "$work"
    features=$(qt_features)
    {
        echo "Third-party code in the Qt ${qt_version:?} libraries of this folder"
        echo
        echo "Qt's sources name the code of others that they contain in qt_attribution.json"
        echo "files. These are the ones compiled into the libraries here, as decided by"
        echo "the options Qt was configured with (see Qt.txt), each with its licence."
        # By Id, whatever order the scanner walked the folders in.
        for id in $(jq -r 'sort_by(.Id) | .[].Id' "$json"); do
            status=0
            compiled_in "$id" "$features" || status=$?
            [ "$status" -ne 2 ] || return 2
            [ "$status" -eq 0 ] || continue
            jq -r --arg id "$id" '.[] | select(.Id == $id) |
                "\n\n==== \(.Name)\(if (.Version // "") != "" then " \(.Version)" else "" end)\n",
                "In Qt: \(.QtUsage)",
                (if (.Homepage // "") != "" then "Homepage: \(.Homepage)" else empty end),
                "License: \(.License)",
                (if (.Copyright // "") != "" then "Copyright:\n\(.Copyright)" else empty end),
                ""' "$json"
            local licence
            licence=$(jq -r --arg id "$id" '.[] | select(.Id == $id) | .LicenseFile // empty' "$json")
            [ -z "$licence" ] || cat "$licence"
        done
    } >"$out"
    rm -rf "$work"
}

# files_in DIR PATTERN: the files under the folder that match, one a line.
files_in() {
    (cd "${bundle:?}" && find "$1" -name "$2" | sed 's|^\./||' | sort | sed 's/^/    /')
}

write_qt_notice() {
    local source_archive=vexshow-windows-x64-qt-source.tar
    cat <<EOF
Qt $qt_version in this folder

vexshow.exe uses these parts of Qt $qt_version (https://www.qt.io), which are in
this folder as they were built:

  Libraries:
$(files_in . 'Qt6*.dll')
  Plugins:
$(files_in plugins '*.dll')
  QML modules (each a folder with its qmldir and plugin):
$(cd "$bundle" && find qml -name qmldir | sed 's|/qmldir$||' | sort | sed 's/^/    /')

They are licensed under the GNU Lesser General Public License version 3
(LGPL-3.0.txt here), which builds on the GNU General Public License version 3
(GPL-3.0.txt). The code of others compiled into them, with its licences, is
listed in Qt-third-party.txt.

You may replace them with your own build of Qt $qt_version, changed or not: they
are plain DLLs beside the program, which loads them at run time, built with
mingw-w64's GCC for x86_64 with posix threads. Put your DLLs, plugins and QML
modules in their place; qt.conf beside the program tells Qt to look for its
plugins in plugins/ and for QML modules in qml/.

They were built from Qt $qt_version's qtbase and qtdeclarative sources,
cross-compiled on Debian 12 with CMake (Release) and its mingw-w64 compilers,
with these options:

  qtbase:
$(printf '    %s\n' "${qtbase_options[@]:?}")
  qtdeclarative:
$(printf '    %s\n' "${qtdeclarative_options[@]:?}")

and of qtdeclarative only these targets:
$(printf '    %s\n' "${qtdeclarative_targets[@]:?}")

The exact source is in $source_archive, which comes beside this
program's zip: the upstream tarballs the build used,
$(find "${qt_sources:?}" -maxdepth 1 -name '*.tar.xz' -printf '    %f\n' | sort)
(Debian's source of qtbase leaves out files that Debian cannot ship, hence
+dfsg), the script that builds them (windows.sh) and its toolchain file.
If you received this program without that archive, ask whoever gave it to
you: whoever hands on the program must hand on the source with it.
EOF
}

# The compiler's runtime DLLs and the mingw-w64 runtime code in every binary,
# with the copyright files of the Debian packages they come from.
write_runtime_notices() {
    local dir=$1
    local gcc=/usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright
    local mingw=/usr/share/doc/mingw-w64-x86-64-dev/copyright
    {
        echo "libgcc_s_seh-1.dll and libstdc++-6.dll are GCC's runtime libraries, under the"
        echo "GNU General Public License version 3 (GPL-3.0.txt) with the GCC Runtime Library"
        echo "Exception, version 3.1 (GCC-exception-3.1.txt). Below: the copyright file of"
        echo "Debian's package of them (gcc-mingw-w64-x86-64-posix-runtime)."
        echo
        cat "$gcc"
    } >"$dir/GCC-runtime.txt"
    sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/requirements of the license of GCC\.$/p' "$gcc" \
        >"$dir/GCC-exception-3.1.txt"
    [ -s "$dir/GCC-exception-3.1.txt" ]
    {
        echo "libwinpthread-1.dll (mingw-w64's winpthreads) and the mingw-w64 runtime code"
        echo "linked into every program and DLL here come from the mingw-w64 project, under"
        echo "the notices below: the copyright file of Debian's package of them"
        echo "(mingw-w64-x86-64-dev); winpthreads under Files: mingw-w64-libraries/winpthreads/*,"
        echo "the runtime under Files: mingw-w64-crt/*."
        echo
        cat "$mingw"
    } >"$dir/mingw-w64.txt"
}

write_notices() {
    local dir=$bundle/licenses
    rm -rf "$dir"
    mkdir -p "$dir"
    sed 's/^Copyright (c) <year> <owner>\.$/Copyright (c) 2026 the vexshow developers./' \
        LICENSES/BSD-3-Clause.txt >"$dir/LICENSE.txt"
    cp /usr/share/common-licenses/LGPL-3 "$dir/LGPL-3.0.txt"
    cp /usr/share/common-licenses/GPL-3 "$dir/GPL-3.0.txt"
    write_qt_notice >"$dir/Qt.txt"
    write_third_party_notices "$dir/Qt-third-party.txt"
    write_runtime_notices "$dir"
}
