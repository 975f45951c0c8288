#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds the Windows program on Debian 12 and, asked to, plays it under Wine.
#
#   scripts/windows.sh          build build-windows/vexshow-windows-x64.zip and
#                               vexshow-windows-x64.msi, its installer, and
#                               beside them the Qt source they were built from
#   scripts/windows.sh play     build it, then play its folder under Wine on a
#                               virtual screen and say how the show ended
#   scripts/windows.sh test     build it, then run the end-to-end tests on it
#                               and install the MSI under Wine (CTest label
#                               windows)
#   scripts/windows.sh qt-at-hand
#                               succeed if Qt for Windows needs no build of an
#                               hour: the cache or the prebuilt archive has it
#
# Two builds of one commit give the same zip, MSI and source archive
# (scripts/reproducible.sh); their SHA256SUMS goes beside them.
#
# Qt 6.4.2 for Windows goes into VEXSHOW_QT_CACHE (default ~/.cache/vexshow),
# from ../shared/qt-windows where that archive was made by this recipe, or else
# built once from Debian's own sources (about an hour on two cores), and again
# only when its recipe below changes.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

qt_version=6.4.2
qtdeclarative_sha256=bcbf3e6aeae6a488dbf2f3b49eb94454127e88aa1173ce0aba1e58cc2cf54dc6
prebuilt=../shared/qt-windows/qt-$qt_version-mingw-w64.tar.xz
prebuilt_sha256=0b7be75e8762ce46079e25e27fb7a0dce83f750c2404af143a30875859b95683
cache=${VEXSHOW_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexshow}
qt_prefix=$cache/qt-$qt_version-mingw-w64
# The upstream tarballs, kept: whoever hands on the zip hands on these too.
qt_sources=$cache/qt-sources
build="build-windows"
bundle=$build/vexshow
target=x86_64-w64-mingw32

# Only what the show uses: no network, SQL, D-Bus, printing or tablets (Debian's
# source leaves out the tablet library), and every third-party library built in
# so that the program needs nothing of the machine it runs on. OpenGL stays on:
# the Windows platform plugin does not build without it, and QQuickWidget needs it.
qtbase_options=(
    -DFEATURE_tabletevent=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF
    -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF
)
qtdeclarative_options=(
    -DFEATURE_qml_network=OFF -DFEATURE_qml_debug=OFF -DFEATURE_qml_preview=OFF
    -DFEATURE_qml_profiler=OFF -DFEATURE_qml_xmllistmodel=OFF
    -DFEATURE_quick_designer=OFF
    -DFEATURE_quick_particles=OFF
    -DFEATURE_quickcontrols2_fusion=OFF -DFEATURE_quickcontrols2_imagine=OFF
    -DFEATURE_quickcontrols2_material=OFF -DFEATURE_quickcontrols2_universal=OFF
    -DFEATURE_quickcontrols2_windows=OFF -DFEATURE_quickcontrols2_macos=OFF
    -DFEATURE_quickcontrols2_ios=OFF
)
# Of qtdeclarative, only the libraries and QML modules the show loads, and
# the source folders that install them: the rest (Qt Quick Controls, dialogs,
# the QML tooling) would take three times as long to build.
qtdeclarative_targets=(
    src/qmlintegration/QmlIntegration
    bin/Qt6Qml.dll bin/Qt6QmlModels.dll bin/Qt6QmlWorkerScript.dll
    bin/Qt6Quick.dll bin/Qt6QuickWidgets.dll
    qml/QtQml/qmlplugin.dll qml/QtQml/Models/modelsplugin.dll
    qml/QtQml/WorkerScript/workerscriptplugin.dll
    qml/QtQuick/qtquick2plugin.dll qml/QtQuick/Window/quickwindowplugin.dll
)
qtdeclarative_installs=(qmlintegration qml qmlmodels qmlworkerscript quick quickwidgets)

# Debian's sources need the deb-src type beside the deb lines already set up.
enable_sources() {
    apt-get source --print-uris qt6-base >/dev/null 2>&1 && return
    local as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            | "${as_root[@]}" tee /etc/apt/sources.list.d/vexshow-deb-src.sources >/dev/null
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list \
            | "${as_root[@]}" tee /etc/apt/sources.list.d/vexshow-deb-src.list >/dev/null
    fi
    "${as_root[@]}" apt-get update
}

# The upstream tarballs of qtbase and qtdeclarative, into $qt_sources once.
fetch_sources() {
    ls "$qt_sources"/qt6-base_"$qt_version"*.orig.tar.xz >/dev/null 2>&1 \
        && ls "$qt_sources"/qt*declarative*"$qt_version"*.tar.xz >/dev/null 2>&1 && return
    local download=$cache/qt-download
    rm -rf "$download"
    mkdir -p "$download"
    enable_sources
    (cd "$download" && apt-get source --download-only qt6-base)
    if ! (cd "$download" && apt-get source --download-only qt6-declarative); then
        echo "windows.sh: qt6-declarative's source is not on this mirror; using ../shared/qt-src"
        cp ../shared/qt-src/qtdeclarative-everywhere-src-$qt_version.tar.xz "$download/"
        echo "$qtdeclarative_sha256  $download/qtdeclarative-everywhere-src-$qt_version.tar.xz" \
            | sha256sum -c
    fi
    mkdir -p "$qt_sources"
    find "$download" \( -name '*.orig.tar.xz' -o -name 'qtdeclarative-everywhere-src-*.tar.xz' \) \
        -exec mv -t "$qt_sources" {} +
    rm -rf "$download"
}

# unpack_sources DIR: both tarballs, unpacked into DIR.
unpack_sources() {
    local tarball
    mkdir -p "$1"
    for tarball in "$qt_sources"/*.tar.xz; do
        tar -C "$1" -xf "$tarball"
    done
}

# The stamp of the recipe: what Qt is built from and how.
recipe() {
    printf '%s\n' "$qt_version" "${qtbase_options[@]}" "${qtdeclarative_options[@]}" \
        "${qtdeclarative_targets[@]}" "${qtdeclarative_installs[@]}" \
        | cat - cmake/mingw-w64-x86_64.cmake | sha256sum | cut -d' ' -f1
}

qt_in_cache() {
    [ "$(cat "$qt_prefix/vexshow-recipe" 2>/dev/null)" = "$(recipe)" ]
}

# Whether the prebuilt archive is there, intact and of this recipe.
prebuilt_matches() {
    [ -f "$prebuilt" ] || return 1
    echo "$prebuilt_sha256  $prebuilt" | sha256sum -c --quiet - >/dev/null 2>&1 || return 1
    [ "$(tar -xOJf "$prebuilt" "qt-$qt_version-mingw-w64/vexshow-recipe")" = "$(recipe)" ]
}

unpack_prebuilt() {
    echo "Unpacking the prebuilt Qt $qt_version for Windows into $qt_prefix."
    local unpack=$cache/qt-unpack
    rm -rf "$unpack" "$qt_prefix"
    mkdir -p "$unpack"
    tar -C "$unpack" -xJf "$prebuilt"
    mv "$unpack/qt-$qt_version-mingw-w64" "$qt_prefix"
    rm -rf "$unpack"
}

build_qt() {
    echo "Building Qt $qt_version for Windows into $qt_prefix (once)."
    local work=$cache/qt-build
    rm -rf "$work" "$qt_prefix"
    unpack_sources "$work"
    # Qt's toolchain file in the prefix loads this one; keep a copy beside it.
    mkdir -p "$qt_prefix"
    cp cmake/mingw-w64-x86_64.cmake "$qt_prefix/"
    configure_qt_module "$work/qtbase-everywhere-src-$qt_version" "$work/qtbase" \
        -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/mingw-w64-x86_64.cmake" "${qtbase_options[@]}"
    cmake --build "$work/qtbase"
    cmake --install "$work/qtbase"
    configure_qt_module "$work/qtdeclarative-everywhere-src-$qt_version" "$work/qtdeclarative" \
        -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake" "${qtdeclarative_options[@]}"
    cmake --build "$work/qtdeclarative" --target "${qtdeclarative_targets[@]}"
    install_qtdeclarative "$work/qtdeclarative"
    recipe >"$qt_prefix/vexshow-recipe"
    rm -rf "$work"
}

# configure_qt_module SOURCE BUILD OPTIONS...: one Qt module, to be installed
# into the prefix.
configure_qt_module() {
    local source=$1 build_dir=$2
    shift 2
    cmake -S "$source" -B "$build_dir" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF \
        "$@"
}

# install_qtdeclarative BUILD: the built folders only. Their modules' .pri
# files, which the install copies, are targets of their own that none of the
# libraries depends on.
install_qtdeclarative() {
    local build_dir=$1 folder target
    local pri_targets=()
    for folder in "${qtdeclarative_installs[@]}"; do
        target=$(ninja -C "$build_dir" -t targets all \
            | sed -n "s|^\(src/$folder/[A-Za-z]*_lib_pri\): .*|\1|p")
        if [ -z "$target" ]; then
            echo "windows.sh: no .pri target in qtdeclarative's src/$folder" >&2
            return 1
        fi
        pri_targets+=("$target")
    done
    cmake --build "$build_dir" --target "${pri_targets[@]}"
    # The top folder installs the modules' dependency and plugin lists.
    cmake -DCMAKE_INSTALL_LOCAL_ONLY=ON -P "$build_dir/cmake_install.cmake"
    for folder in "${qtdeclarative_installs[@]}"; do
        cmake -P "$build_dir/src/$folder/cmake_install.cmake"
    done
}

provide_qt() {
    qt_in_cache && return
    if prebuilt_matches; then
        unpack_prebuilt
    else
        build_qt
    fi
}

# Qt's toolchain file chain-loads the mingw one by the path it was built at;
# the prebuilt prefix may sit elsewhere, so name the one beside it.
build_project() {
    "$qt_prefix/bin/qt-cmake" -S . -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$qt_prefix/mingw-w64-x86_64.cmake"
    cmake --build "$build"
}

# The DLLs a Windows binary imports, by name.
imports() {
    "$target-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# The program with exactly what it loads: Qt's libraries and the compiler's
# runtime, the Windows platform plugin, and the QML modules the scene imports
# with their plugins. qt.conf points Qt at them, relative to the program.
gather_bundle() {
    rm -rf "$bundle"
    mkdir -p "$bundle/plugins/platforms"
    cp "$build/vexshow.exe" "$bundle/"
    cp "$qt_prefix/plugins/platforms/qwindows.dll" "$bundle/plugins/platforms/"
    local module
    for module in $(/usr/lib/qt6/libexec/qmlimportscanner -rootPath resources \
            -importPath "$qt_prefix/qml" | sed -n 's/^\s*"name": "\(.*\)",\?$/\1/p'); do
        module=${module//.//}
        mkdir -p "$bundle/qml/$module"
        find "$qt_prefix/qml/$module" -maxdepth 1 -type f \( -name qmldir -o -name '*.dll' \) \
            -exec cp {} "$bundle/qml/$module/" \;
    done
    printf '[Paths]\nPrefix = .\nPlugins = plugins\nQmlImports = qml\n' >"$bundle/qt.conf"

    # Every DLL that something in the folder imports and that is not part of
    # Windows itself, until nothing new turns up.
    local search=("$qt_prefix/bin" /usr/lib/gcc/"$target"/*-posix /usr/"$target"/lib)
    local binary dll dir added=1
    while [ "$added" -eq 1 ]; do
        added=0
        while read -r binary; do
            for dll in $(imports "$binary"); do
                [ -e "$bundle/$dll" ] && continue
                for dir in "${search[@]}"; do
                    if [ -e "$dir/$dll" ]; then
                        cp "$dir/$dll" "$bundle/"
                        added=1
                        break
                    fi
                done
            done
        done < <(find "$bundle" -name '*.exe' -o -name '*.dll')
    done
    # strip stamps each header it writes with SOURCE_DATE_EPOCH as the time
    # the program or DLL was made.
    find "$bundle" \( -name '*.exe' -o -name '*.dll' \) -exec "$target-strip" --strip-unneeded {} +
}

# zip stores each file's times, owner and mode, in the order it finds them;
# strip-nondeterminism sorts the entries and sets their times to
# SOURCE_DATE_EPOCH and their modes to 644 or 755.
zip_bundle() {
    rm -f "$build/vexshow-windows-x64.zip" "$build/SHA256SUMS"
    (cd "$build" && zip -qrX vexshow-windows-x64.zip vexshow)
    strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "$build/vexshow-windows-x64.zip"
    echo "Built $build/vexshow-windows-x64.zip"
}

# The installer, versioned as the project.
write_msi() {
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    build_msi "$bundle" "$version" "$build/vexshow-windows-x64.msi"
    echo "Built $build/vexshow-windows-x64.msi"
}

# Beside the zip: the Qt sources its DLLs were built from, and how.
write_source_archive() {
    local archive=$build/vexshow-windows-x64-qt-source.tar tarballs
    mapfile -t tarballs < <(cd "$qt_sources" && ls -- *.tar.xz)
    rm -f "$archive"
    tar -cf "$archive" --transform 's|^|vexshow-windows-x64-qt-source/|' \
        --format=gnu --sort=name --mtime=@"$SOURCE_DATE_EPOCH" \
        --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
        -C "$qt_sources" "${tarballs[@]}" \
        -C "$project" scripts/windows.sh cmake/mingw-w64-x86_64.cmake
    echo "Built $archive"
}

# Wine's settings for the show: a prefix of its own, made on first use, and
# no prompts to install Wine's .NET and HTML engines, which the show does not
# use. Making the prefix wants a display.
use_wine() {
    export WINEPREFIX=$cache/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -d "$WINEPREFIX" ]; then
        echo "Making a Wine prefix in $WINEPREFIX (once)."
        wineboot --init
        wineserver -w
    fi
}

# Plays the folder under Wine on a virtual screen with a window manager, and
# says how the show ended.
play() {
    local status=0 begin end elapsed
    workdir=$(mktemp -d)
    source scripts/virtual-screen.sh
    trap 'wineserver -k 2>/dev/null || true; stop_virtual_screen; rm -rf "$workdir"' EXIT
    start_virtual_screen "${VEXSHOW_SCREEN:-1280x800}" "$workdir"
    use_wine
    begin=$(date +%s%N)
    wine "$bundle/vexshow.exe" "$@" || status=$?
    end=$(date +%s%N)
    elapsed=$(( (end - begin) / 1000000 ))
    printf 'The show ended with exit code %d after %d.%03d s under Wine.\n' \
        "$status" $((elapsed / 1000)) $((elapsed % 1000))
    return "$status"
}

# The Linux end-to-end tests, pointed at the Windows program under Wine.
run_tests() {
    workdir=$(mktemp -d)
    source scripts/virtual-screen.sh
    trap 'wineserver -k 2>/dev/null || true; stop_virtual_screen; rm -rf "$workdir"' EXIT
    start_virtual_screen 1280x800 "$workdir"
    use_wine
    # Wine's processes from a run before would hold on to a display now gone.
    wineserver -k 2>/dev/null || true
    stop_virtual_screen
    scripts/install-deps.sh
    cmake -S . -B build -G Ninja -DVEXSHOW_WINDOWS_BUNDLE="$project/$bundle"
    cmake --build build --target tst_endtoend
    scripts/run-tests.sh build -L windows
}

source scripts/windows-notices.sh
source scripts/windows-msi.sh
source scripts/reproducible.sh
pin_build_environment
scripts/install-deps.sh windows
if [ "${1:-}" = qt-at-hand ]; then
    qt_in_cache || prebuilt_matches
    exit
fi
fetch_sources
provide_qt
build_project
gather_bundle
write_notices
zip_bundle
write_msi
write_source_archive
write_checksums "$build" vexshow-windows-x64.zip vexshow-windows-x64.msi vexshow-windows-x64-qt-source.tar
case ${1:-} in
    play) shift; play "$@" ;;
    test) run_tests ;;
esac
