# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause
# shellcheck shell=bash
# Sourced by package.sh and windows.sh, so that two builds of one commit give
# the same bytes wherever, whenever and by whomever they are made:
#   pin_build_environment   the date that goes into the artefacts, the file
#                           modes and the sort order the build uses
#   write_checksums DIR FILE...
#                           DIR/SHA256SUMS for the files in DIR, printed
#   faketime_library        libfaketime, for a build to preload that must not
#                           see the time it runs at

# SOURCE_DATE_EPOCH, unless the caller set it, is the last commit's date; in a
# tree without git (a source tarball) a second after the newest entry in
# dist/changelog, as Debian's own package builds take it but for that second:
# the build's own changelog entry, dated so, must come after that entry.
pin_build_environment() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        if [ -e .git ] && command -v git >/dev/null; then
            SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
        else
            SOURCE_DATE_EPOCH=$(($(dpkg-parsechangelog -l dist/changelog -STimestamp) + 1))
        fi
    fi
    export SOURCE_DATE_EPOCH
    # The modes of the folders and files the build makes and packs, as
    # dpkg-buildpackage sets them; and globs and sort in byte order.
    umask 0022
    export LC_ALL=C.UTF-8
}

write_checksums() {
    local dir=$1
    shift
    (cd "$dir" && sha256sum -- "$@" >SHA256SUMS)
    echo "$dir/SHA256SUMS:"
    cat "$dir/SHA256SUMS"
}

# Preloaded by hand rather than through the faketime wrapper. The library
# leaves a semaphore named after its process id in /dev/shm from every process
# that replaces itself with another program, and the wrapper, which names its
# own the same way, refuses to run in a process given such an id again.
faketime_library() {
    dpkg-query -L "libfaketime:$(dpkg --print-architecture)" | grep '/libfaketime\.so\.1$'
}
