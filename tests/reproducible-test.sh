#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds one set of shipped artefacts twice and fails unless both builds give
# the same bytes; where they differ, diffoscope says in what. The second build,
# from a copy of the tree, differs from the first in all that must not matter:
# the folder's path, the time zone, the locale, the umask, the date and time of
# day (faketime) and the order in which the file system lists a folder (its
# copy is seen through disorderfs, which shuffles it). Both take the same
# SOURCE_DATE_EPOCH, the one the build scripts take in this tree. A package's
# first build is scripts/package.sh's in this tree, which keeps the packages
# it built earlier in the same run from the same files, date and tools (its
# stamp); the Windows artefacts' first build is from a copy of their own.
#   reproducible-test.sh [deb]     this machine's release's amd64 .deb
#                                  (scripts/package.sh)
#   reproducible-test.sh deb-arm64 its arm64 .deb (scripts/package.sh arm64)
#   reproducible-test.sh windows   the Windows zip and its Qt source archive
#                                  (scripts/windows.sh); skipped (77) where Qt
#                                  for Windows is not at hand
# Installs what it needs, so it wants root or sudo; disorderfs wants FUSE.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/debian-root.sh
# No arguments: this machine's release.
# shellcheck disable=SC2119
debian_target
case ${1:-deb} in
    deb) command=(scripts/package.sh "$release" amd64) out=build-package-$release-amd64 first=$PWD ;;
    deb-arm64) command=(scripts/package.sh "$release" arm64) out=build-package-$release-arm64 first=$PWD ;;
    windows) command=(scripts/windows.sh) out=build-windows first='' ;;
    *)
        echo "usage: reproducible-test.sh [deb|deb-arm64|windows]" >&2
        exit 2
        ;;
esac
scripts/install-deps.sh reproducible
if [ "${1:-}" = windows ] && ! scripts/windows.sh qt-at-hand; then
    echo "reproducible-test.sh: skipped: no Qt for Windows at hand, and building it takes an hour"
    exit 77
fi
source_date_epoch=$(source scripts/reproducible.sh && pin_build_environment && echo "$SOURCE_DATE_EPOCH")
faketime_library=$(source scripts/reproducible.sh && faketime_library)

work=$(mktemp -d /var/tmp/vexshow-reproducible.XXXXXX)
first=${first:-$work/a/vexshow}
# The second copy lies at a longer path, seen through disorderfs.
second_files=$work/second
second_parent=$work/second-copy-at-a-longer-path
second=$second_parent/vexshow
mounted=0
cleanup() {
    if [ "$mounted" -eq 1 ] && ! umount "$second_parent"; then
        echo "reproducible-test.sh: left $work behind, disorderfs is still mounted there" >&2
        return
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# copy_tree DIR UMASK: the files git knows of, not yet committed ones
# included, as a fresh clone under that umask would have them: modes from the
# umask, times of now. The Windows build finds ../shared beside it.
copy_tree() {
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard \
        | tar --null --no-recursion --ignore-failed-read -T - -cf - \
        | (umask "$2" && tar -C "$1" --no-same-permissions --touch -xf -)
    if [ -d ../shared ]; then
        ln -s "$(cd ../shared && pwd)" "$1/../shared"
    fi
}

[ "$first" = "$PWD" ] || copy_tree "$first" 0022
copy_tree "$second_files/vexshow" 0002
mkdir -p "$second_parent"
if [ ! -e /dev/fuse ]; then
    echo "reproducible-test.sh: folders keep their order: no /dev/fuse for disorderfs"
elif ! disorderfs --shuffle-dirents=yes --quiet "$second_files" "$second_parent"; then
    echo "reproducible-test.sh: folders keep their order: disorderfs could not mount"
else
    mounted=1
fi
if [ "$mounted" -eq 0 ]; then
    rmdir "$second_parent"
    mv "$second_files" "$second_parent"
fi

# A locale of its own for the second build, French, with its own sort order.
locales=$work/locales
second_locale=fr_FR.UTF-8
mkdir -p "$locales"
if ! localedef -i fr_FR -f UTF-8 "$locales/$second_locale" 2>/dev/null; then
    echo "reproducible-test.sh: the second build keeps the C locale: localedef made no fr_FR"
    second_locale=C.UTF-8
fi

# build NAME DIR UMASK ENV...: the build in DIR, its output in NAME.log.
build() {
    local name=$1 dir=$2 mask=$3 begin status=0
    shift 3
    begin=$SECONDS
    echo "Building the $name copy in $dir with umask $mask and $*;" \
        "its clock says $(env "$@" date)."
    (cd "$dir" && umask "$mask" \
        && env SOURCE_DATE_EPOCH="$source_date_epoch" "$@" "${command[@]}") \
        >"$work/$name.log" 2>&1 || status=$?
    echo "The $name build took $((SECONDS - begin)) s."
    grep -h 'not building them again' "$work/$name.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$work/$name.log"
        echo "reproducible-test.sh: the $name build failed (exit code $status)" >&2
        exit 1
    fi
}

build first "$first" 0022 TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
# 400 days and 2 h 11 min ahead, on the other side of the date line.
build second "$second" 0002 TZ=Pacific/Kiritimati \
    LOCPATH="$locales" LANG="$second_locale" LC_ALL="$second_locale" \
    FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME=+34567890 LD_PRELOAD="$faketime_library"

# Every file the first build's SHA256SUMS names, and that list itself.
mapfile -t files < <(sed 's/^[0-9a-f]*  //' "$first/$out/SHA256SUMS")
differ=0
for file in SHA256SUMS "${files[@]}"; do
    if cmp -s "$first/$out/$file" "$second/$out/$file"; then
        echo "identical: $out/$file"
        continue
    fi
    differ=1
    echo "DIFFERENT: $out/$file"
    [ "$file" != SHA256SUMS ] || continue
    report=/var/tmp/vexshow-reproducible-${1:-deb}-$file.diffoscope.txt
    diffoscope --no-progress --text "$report" "$first/$out/$file" "$second/$out/$file" || true
    echo "diffoscope: where they differ (all of it in $report):"
    grep -E '^[│ ]*[├└]── ' "$report" | head -n 40
    echo "diffoscope: the first lines:"
    head -n 60 "$report"
done
[ "$differ" -eq 0 ]
