#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Fresh Debian roots of any release and architecture, made by mmdebstrap from
# Debian's mirror, with what a program on a display needs mounted inside.
# Downloads are kept between runs in VEXSHOW_ROOT_CACHE (default
# ~/.cache/vexshow-roots), one folder per release and architecture, and so is
# the day's tarball of each kind of root made there: the first root of a kind
# on a day is made by mmdebstrap, the others are unpacked from its tarball.
# Needs root.
#
# Run, it plays the project in a fresh root of its own and takes it down again:
#   debian-root.sh RELEASE ARCH COMMAND...
#       copies the project into the root, installs what it needs with
#       scripts/install-deps.sh there, and runs COMMAND in its folder. Where the
#       release's archive cannot install that (testing amid a library
#       transition), it says so in one line and exits with 77.
#
# Sourced, the caller drives it; root_take_down undoes what the others did:
#   debian_target [RELEASE] [ARCH]   sets release (default: this machine's,
#                          bookworm, trixie or testing) and arch (default amd64)
#   root_make RELEASE ARCH DIR [MMDEBSTRAP-OPTION...]
#                          a minbase root in DIR, kept in $root; one kind of
#                          root is one release, architecture and option set;
#                          --include="$root_booted_packages" makes one that
#                          boots with its own systemd
#   root_enter USER        /proc, /dev, /dev/pts, a /dev/shm and USER's
#                          XDG_RUNTIME_DIR of its own; in_root runs as USER
#   root_bind DIR PATH     shows the machine's DIR at PATH inside the root
#   root_copy_project      copies the project, as it stands in this folder with
#                          what is about to be checked in (or, without git,
#                          all but its build folders), to /vexshow inside
#   project_files          lists those files, NUL-separated
#   copy_project DIR       the same copy, to DIR outside any root
#   in_root [NAME=VALUE...] COMMAND...
#                          runs COMMAND inside, as the user entered, in a clean
#                          environment with the variables given
#   root_keep_downloads    puts what apt downloaded in the root in the cache
#   root_take_down         keeps the downloads, unmounts exactly what was
#                          mounted, removes the root

root='' root_user=root root_cache=''
# shellcheck disable=SC2034 # for the scripts that source this one
root_booted_packages=systemd,systemd-sysv,dbus,libpam-systemd
root_mounts=()
root_binfmt_mounted=0 root_binfmt_enabled='' root_qemu_cpu=''

debian_target() {
    # Testing carries its next release's codename in os-release, and no number.
    # shellcheck source=/dev/null
    release=$(. /etc/os-release && echo "${VERSION_ID:+$VERSION_CODENAME}")
    release=${release:-testing} arch=amd64
    local target
    for target in "$@"; do
        case "$target" in
            amd64 | arm64) arch=$target ;;
            *) release=$target ;;
        esac
    done
}

# A foreign root's programs run through qemu's binfmt handler; whatever of it
# was not already in place is put back as it was on take-down.
root_start_emulation() {
    local binfmt=/proc/sys/fs/binfmt_misc handler
    handler=$(case "$1" in arm64) echo qemu-aarch64 ;; *) echo "qemu-$1" ;; esac)
    if ! mountpoint -q "$binfmt"; then
        mount -t binfmt_misc binfmt_misc "$binfmt"
        root_binfmt_mounted=1
    fi
    if ! grep -qx enabled "$binfmt/$handler" 2>/dev/null; then
        update-binfmts --enable "$handler"
        root_binfmt_enabled=$handler
    fi
    # Debian 13 builds its arm64 libraries to sign and check return addresses.
    # qemu's default CPU computes each signature with the QARMA5 cipher in C,
    # near a microsecond a call, which left the show a third of its frames; a
    # board does it in hardware or, without pointer authentication, not at
    # all. qemu's own cheaper signature still signs and checks every one.
    if [ "$1" = arm64 ] && [ -z "${QEMU_CPU:-}" ]; then
        root_qemu_cpu=max,pauth-impdef=on
        export QEMU_CPU=$root_qemu_cpu
    fi
}

root_stop_emulation() {
    if [ -n "$root_qemu_cpu" ]; then
        unset QEMU_CPU
        root_qemu_cpu=
    fi
    if [ -n "$root_binfmt_enabled" ]; then
        update-binfmts --disable "$root_binfmt_enabled" || true
        root_binfmt_enabled=
    fi
    if [ "$root_binfmt_mounted" -eq 1 ]; then
        umount /proc/sys/fs/binfmt_misc || true
        root_binfmt_mounted=0
    fi
}

root_make() {
    local release=$1 arch=$2 options=("${@:4}") command key tarball lock day
    root=$3
    root_cache=${VEXSHOW_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vexshow-roots}/$release-$arch
    mkdir -p "$root_cache"
    if [ "$arch" != "$(dpkg --print-architecture)" ]; then
        root_start_emulation "$arch"
    fi
    if [ "$release" = testing ]; then
        # The mirror these machines reach serves testing's Release file past
        # its Valid-Until date; the stable releases' files are current.
        options+=(--aptopt='Acquire::Check-Valid-Until "false"')
    fi
    # The cache goes in and comes out as hard links: no copy, no mount. It is
    # taken out again at take-down, after whatever the caller installs.
    # The root lives for one run: dpkg need not wait for each file to reach the disk.
    command=(mmdebstrap --variant=minbase --architectures="$arch" "${options[@]}" --dpkgopt=force-unsafe-io
        --skip=download/empty --skip=essential/unlink --skip=cleanup/apt
        --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\""
        --setup-hook="find '$root_cache' -name '*.deb' -exec ln -t \"\$1/var/cache/apt/archives\" {} +"
        "$release")
    # A kind of root is what mmdebstrap is asked for, and a day's mirror.
    key=$(printf '%s\0' "${command[@]}" | sha256sum | cut -c1-16)
    day=$(date -u +%F)
    tarball=$root_cache/root-$day-$key.tar
    # Roots of one kind made side by side wait for the one that makes its tarball.
    exec {lock}>"$root_cache/root-$key.lock"
    flock "$lock"
    if [ -e "$tarball" ]; then
        echo "debian-root: a fresh Debian $release $arch root in $root, unpacked from ${tarball##*/}"
        mkdir -p "$root"
        tar -C "$root" --numeric-owner --xattrs --xattrs-include='*' -xpf "$tarball"
        find "$root_cache" -maxdepth 1 -name '*.deb' -exec ln -t "$root/var/cache/apt/archives" {} +
    else
        echo "debian-root: a fresh Debian $release $arch root in $root, kept as ${tarball##*/}"
        # Closed for mmdebstrap, so that nothing it leaves running holds the lock.
        if ! "${command[@]}" "$root" http://deb.debian.org/debian >"$root.log" 2>&1 {lock}>&-; then
            exec {lock}>&-
            tail -n 20 "$root.log" >&2
            return 1
        fi
        root_keep_downloads
        # Earlier days' tarballs of every kind go: the mirror has moved on.
        find "$root_cache" -maxdepth 1 -name 'root-*.tar*' ! -name "root-$day-*" -delete
        tar -C "$root" --numeric-owner --xattrs --xattrs-include='*' \
            --exclude='./var/cache/apt/archives/*.deb' -cf "$tarball.part" .
        mv "$tarball.part" "$tarball"
    fi
    exec {lock}>&-
    cp /etc/resolv.conf "$root/etc/"
}

# What apt downloaded into the root joins the cache; what came from the
# cache is a second link to the same file.
root_keep_downloads() {
    if [ -d "$root/var/cache/apt/archives" ]; then
        find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -links 1 \
            -exec ln -t "$root_cache" {} + 2>/dev/null || true
    fi
}

# root_mount ARGUMENTS... PATH: mounts inside the root and remembers it.
root_mount() {
    local target=$root${*: -1}
    mkdir -p "$target"
    mount "${@:1:$#-1}" "$target"
    root_mounts+=("$target")
}

root_enter() {
    root_user=$1
    local uid
    uid=$(chroot "$root" id -u "$root_user")
    root_mount -t proc proc /proc
    # Private, so that what is mounted beneath never shows on the machine's /dev.
    root_mount --bind --make-private /dev /dev
    root_mount --bind --make-private /dev/pts /dev/pts
    root_mount -t tmpfs -o mode=1777 shm /dev/shm
    root_mount -t tmpfs -o "mode=0700,uid=$uid" runtime "/run/user/$uid"
}

root_bind() {
    root_mount --bind --make-private "$1" "$2"
}

project_files() {
    local project
    project=$(dirname "${BASH_SOURCE[0]}")/..
    # Without git, as from a source tarball: all but the build folders.
    if [ -e "$project/.git" ]; then
        git -C "$project" ls-files -z --cached --others --exclude-standard
    else
        (cd "$project" && find . \( -path ./.git -o -type d -path './build*' \) -prune -o -type f -print0)
    fi
}

root_copy_project() {
    copy_project "$root/vexshow"
}

copy_project() {
    mkdir -p "$1"
    project_files | tar -C "$(dirname "${BASH_SOURCE[0]}")/.." --null -T - -c | tar -x -C "$1"
}

in_root() {
    local home
    home=$(chroot "$root" sh -c "getent passwd $root_user | cut -d: -f6")
    chroot --userspec="$root_user:$(chroot "$root" id -gn "$root_user")" "$root" \
        env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME="$home" \
        LANG=C.UTF-8 XDG_RUNTIME_DIR="/run/user/$(chroot "$root" id -u "$root_user")" \
        ${QEMU_CPU:+"QEMU_CPU=$QEMU_CPU"} "$@"
}

# A mount still in place would take what it shows down with the root, so the
# root is removed only once every mount is gone.
root_take_down() {
    local i left=0
    root_stop_emulation
    [ -n "$root" ] || return 0
    root_keep_downloads
    for ((i = ${#root_mounts[@]} - 1; i >= 0; i--)); do
        umount "${root_mounts[i]}" || left=1
    done
    root_mounts=()
    if [ "$left" -ne 0 ]; then
        echo "debian-root: left $root behind, something is still mounted there" >&2
        return 1
    fi
    rm -rf "$root" "$root.log"
    root=
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    if [ $# -lt 3 ]; then
        echo "usage: debian-root.sh RELEASE ARCH COMMAND..." >&2
        exit 2
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "debian-root.sh: needs root for mmdebstrap, mount and chroot" >&2
        exit 1
    fi
    cd "$(dirname "$0")/.."
    scripts/install-deps.sh roots
    release=$1 arch=$2
    shift 2
    work=$(mktemp -d /var/tmp/vexshow-root.XXXXXX)
    trap 'root_take_down && rm -rf "$work"' EXIT
    root_make "$release" "$arch" "$work/root"
    root_enter root
    root_copy_project
    if ! in_root sh -c 'cd /vexshow && scripts/install-deps.sh' >"$work/install.log" 2>&1; then
        # apt names the first package it cannot install on the line after this.
        complaint=$(grep -m1 -A1 -E 'unmet dependencies|Unsatisfied dependencies' "$work/install.log" |
            tail -n 1 | sed 's/^ *//')
        if [ -n "$complaint" ]; then
            echo "debian-root: Debian $release cannot install what the project needs: $complaint"
            exit 77
        fi
        tail -n 30 "$work/install.log" >&2
        exit 1
    fi
    in_root sh -c 'cd /vexshow && exec "$@"' sh "$@"
fi
