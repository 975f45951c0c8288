#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Installs the Debian packages that building, playing and testing the show
# need, skipping those already present, on Debian 12, Debian 13 and testing.
# Safe to run again.
#   install-deps.sh           what the show and its tests need
#   install-deps.sh windows   what the Windows cross build and Wine need
#   install-deps.sh package   what building and checking the Debian package needs
#   install-deps.sh arm64     the same for the arm64 package, cross-built against
#                             Debian's arm64 Qt; adds dpkg's arm64 architecture
#   install-deps.sh roots     what making fresh Debian roots and playing the show
#                             there needs
#   install-deps.sh kiosk     the same, and booting such a root with its own
#                             systemd and reading its screenshots
#   install-deps.sh machine   what making fresh roots needs, and booting a
#                             whole emulated PC from a disk made of one and
#                             reading its screen
#   install-deps.sh repository
#                             what publishing the packages in a signed apt
#                             repository needs
#   install-deps.sh reproducible
#                             what the test that builds an artefact twice needs
#   install-deps.sh --list [SET]
#                             names a set's packages, one a line, and installs nothing
set -euo pipefail
list=0
if [ "${1:-}" = --list ]; then
    list=1
    shift
fi

# The three releases share nearly every name; where one differs, the release
# is this machine's.
# shellcheck source=scripts/debian-root.sh
source "$(dirname "$0")/debian-root.sh"
# No arguments: this machine's release, whatever the script was asked for.
# shellcheck disable=SC2119
debian_target
case "$release" in
    bookworm | trixie | testing) ;;
    *)
        echo "install-deps.sh: Debian 12 (bookworm), 13 (trixie) or testing expected, not $release" >&2
        exit 1
        ;;
esac

# Add a package on its own line; the rest of the script needs no change.
# What building the show needs, for the tests and for the package alike.
build_packages=(
    cmake
    ninja-build
    g++
    # the build finds libxcb and tcmalloc through pkg-config, which Debian 12's
    # Qt happens to pull in and later releases' do not
    pkgconf
    qt6-base-dev
    qt6-declarative-dev
    qt6-declarative-dev-tools
    # the host asks the X server whether a window manager applies full screen,
    # and to keep its screen saver off
    libxcb1-dev
    libxcb-screensaver0-dev
    # and a Wayland compositor to keep the screen on, on Qt's own connection
    # and surface, which only Qt's private headers name
    libwayland-dev
    libwayland-bin
    wayland-protocols
    qt6-base-private-dev
    # the allocator the program links, cheaper than glibc's for the scene
    libgoogle-perftools-dev
)

packages=(
    "${build_packages[@]}"
    qt6-qmllint-plugins
    # what the scene imports at run time
    qml6-module-qtquick
    qml6-module-qtqml
    qml6-module-qtqml-workerscript
    qml6-module-qtquick-window
    libgl1-mesa-dri
    fonts-dejavu-core
    # a Wayland desktop plays the show natively rather than through XWayland
    qt6-wayland
    # a virtual screen, a window manager and the tools the end-to-end test drives
    xvfb
    xauth
    openbox
    x11-utils
    wmctrl
    imagemagick
    # the pointer's image, which no X tool shows
    libxcb-xfixes0-dev
    # an X server whose resolution changes while the show plays: Xorg on its
    # dummy video driver, and xrandr to change it
    xserver-xorg-core
    xserver-xorg-video-dummy
    x11-xserver-utils
    # a Wayland compositor of its own for the tests, with its screenshooter
    weston
    # and one whose outputs come and go (sway 1.10, Debian 13 on, unplugs
    # them), with its screenshot tool
    sway
    grim
    # a desktop's screen saver on a session bus of the tests' own:
    # xscreensaver 6's xscreensaver-systemd serves org.freedesktop.ScreenSaver
    dbus-daemon
    xscreensaver
    # memory checks (the sanitizers' runtimes come with g++)
    valgrind
    # a show's wall clock shifted, for the test of shows in step
    libfaketime
    # every file says whose it is and under which licence
    reuse
    # the shell scripts' lint
    shellcheck
    # the Markdown files' links lead somewhere
    python3
    # the benchmark: CPU and peak memory per run, and Qt's qml tool as its peer
    time
    qml-qt6
)

windows_packages=(
    # the cross compilers, and the host tools of the same Qt that the cross
    # build runs (moc, rcc, qmlcachegen, qsb)
    g++-mingw-w64-x86-64-posix
    cmake
    ninja-build
    qt6-base-dev-tools
    qt6-declarative-dev-tools
    qt6-shadertools-dev
    qt6-shader-baker
    # Qt's sources from Debian, and the zip
    dpkg-dev
    xz-utils
    zip
    # the zip's entries in order, with fixed times and modes
    strip-nondeterminism
    # the installer: wixl and msibuild, the clock stopped for them, its
    # product and package codes; and its test reads the shortcuts it makes
    wixl
    msitools
    libfaketime
    uuid-runtime
    liblnk-utils
    # the zip's notices: Qt's reader of its third-party attribution files
    qt6-documentation-tools
    jq
    # playing it: Wine on a virtual screen with a window manager, with the
    # fonts, GL and X extensions its X11 driver loads only if they are there
    wine
    wine64
    fonts-wine
    libgl1
    libgl1-mesa-dri
    libxrandr2
    libxrender1
    libxcursor1
    libxi6
    libxfixes3
    libxcomposite1
    libxinerama1
    xvfb
    xauth
    openbox
    x11-utils
    imagemagick
)

# Fresh roots of any Debian release and architecture, foreign ones under
# emulation (testing has folded qemu-user-static into qemu-user), and a
# virtual screen to play in them.
root_packages=(
    mmdebstrap
    debian-archive-keyring
    # mmdebstrap asks it whether the machine runs the root's architecture
    arch-test
    "$([ "$release" = testing ] && echo qemu-user || echo qemu-user-static)"
    binfmt-support
    xvfb
    xauth
    openbox
    x11-utils
)

kiosk_packages=(
    "${root_packages[@]}"
    systemd-container
    imagemagick
    # the repository the booted root follows: its throwaway key, and the
    # web server on the loopback address
    gnupg
    python3
)

repository_packages=(
    reprepro
    # the signing key, through gpg-agent
    gnupg
    # the repository's own package, and its date
    dpkg-dev
    lintian
)

machine_packages=(
    "${root_packages[@]}"
    imagemagick
    # the PC, with its screen and keyboard, and its disk made from a folder
    qemu-system-x86
    e2fsprogs
)

package_packages=(
    "${build_packages[@]}"
    # the type information of the modules the scene imports: without it
    # qmlcachegen compiles less of the scene to C++, and says nothing
    qml6-module-qtquick
    qml6-module-qtqml
    qml6-module-qtqml-workerscript
    # the package: CPack's dependency scan and the checks of what it built
    dpkg-dev
    file
    lintian
    desktop-file-utils
    appstream
    # the man page's check: it formats with no warnings
    groff-base
)
arm64_packages=(
    "${package_packages[@]}"
    # the cross compiler, and the arm64 Qt it builds against; Qt's host tools
    # are the amd64 ones above
    g++-aarch64-linux-gnu
    pkgconf:arm64
    qt6-base-dev:arm64
    qt6-declarative-dev:arm64
    libxcb1-dev:arm64
    libxcb-screensaver0-dev:arm64
    libwayland-dev:arm64
    qt6-base-private-dev:arm64
    libgoogle-perftools-dev:arm64
    # qmlcachegen reads the type information of the target's QML modules
    qml6-module-qtquick:arm64
    qml6-module-qtqml:arm64
    qml6-module-qtqml-workerscript:arm64
)
# The builds install their own; these vary them and compare their results.
reproducible_packages=(
    git
    libfaketime
    disorderfs
    locales
    diffoscope-minimal
    # what diffoscope looks into the zip with
    unzip
)
if [ "${1:-}" = windows ]; then
    # The cross build runs the host tools of the Qt it builds for Windows.
    if [ "$release" != bookworm ]; then
        echo "install-deps.sh: the Windows build needs Debian 12, whose Qt 6.4 tools match its Qt for Windows" >&2
        exit 1
    fi
    packages=("${windows_packages[@]}")
elif [ "${1:-}" = package ]; then
    packages=("${package_packages[@]}")
elif [ "${1:-}" = arm64 ]; then
    packages=("${arm64_packages[@]}")
elif [ "${1:-}" = roots ]; then
    packages=("${root_packages[@]}")
elif [ "${1:-}" = kiosk ]; then
    packages=("${kiosk_packages[@]}")
elif [ "${1:-}" = machine ]; then
    packages=("${machine_packages[@]}")
elif [ "${1:-}" = repository ]; then
    packages=("${repository_packages[@]}")
elif [ "${1:-}" = reproducible ]; then
    packages=("${reproducible_packages[@]}")
fi

if [ "$list" -eq 1 ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "install-deps.sh: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi

if [ "${1:-}" = arm64 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${as_root[@]}" dpkg --add-architecture arm64
fi
# Another install running at the same time holds dpkg's lock; wait for it.
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
