#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Publishes the packages that scripts/package.sh built, for Debian 12 and 13
# on amd64 and arm64, in a signed apt repository that boards follow over
# plain HTTP, with reprepro:
#   repository.sh KEY URL [DIR]
# KEY signs it: a key id or fingerprint in the GnuPG keyring (GNUPGHOME, or
# ~/.gnupg), or a GNUPGHOME folder that holds one secret key. URL is where the
# boards reach DIR/current (default DIR: build-repository). Beside the show's
# packages it publishes, for each release, vexshow-repository: the key, the
# deb822 source for URL and unattended-upgrades' leave to install from it,
# also at DIR/current/vexshow-repository-RELEASE.deb for a board's first
# install. A release or architecture not built keeps what it had.
#
# reprepro keeps its database and its own copy of the repository in DIR/state;
# what is served is a snapshot of that, DIR/snapshots/TIME, and DIR/current is
# a symlink to the newest, swapped by a rename: a board sees the repository
# as it was before a publish or as it is after, never half-written. The pool
# keeps the previous version's files for a publish, for boards whose lists
# predate it; the previous snapshot stays for rolling back.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: repository.sh KEY|GNUPGHOME URL [DIR]" >&2
    exit 2
fi
key=$1 url=${2%/} out=${3:-$(dirname "$0")/../build-repository}
# Paths given are the caller's; the script works from the project's top.
if [ -d "$key" ]; then
    GNUPGHOME=$(realpath "$key")
    export GNUPGHOME
    key=''
fi
mkdir -p "$out/state/conf" "$out/snapshots"
out=$(realpath "$out")
state=$out/state
cd "$(dirname "$0")/.."
# The fixed names unattended-upgrades knows the repository by.
origin=vexshow label=vexshow
releases=(bookworm trixie) arches=(amd64 arm64)

say() {
    echo "repository: $*"
}

scripts/install-deps.sh repository
mapfile -t fingerprints < <(gpg --batch --with-colons --list-secret-keys ${key:+"$key"} 2>/dev/null |
    awk -F: '$1 == "sec" { want = 1 } $1 == "fpr" && want { print $10; want = 0 }')
if [ ${#fingerprints[@]} -ne 1 ]; then
    echo "repository.sh: ${key:-$GNUPGHOME} names ${#fingerprints[@]} secret keys, not one" >&2
    exit 1
fi
fingerprint=${fingerprints[0]}

# One publish at a time; reprepro would refuse a second, but not the swap.
exec 9>"$out/lock"
if ! flock -n 9; then
    echo "repository.sh: another publish into $out is under way" >&2
    exit 1
fi
for release in "${releases[@]}"; do
    cat <<EOF
Origin: $origin
Label: $label
Codename: $release
Architectures: ${arches[*]}
Components: main
Description: vexshow for Debian $release
SignWith: $fingerprint

EOF
done >"$state/conf/distributions"
reprepro() {
    command reprepro --silent --basedir "$state" --outdir "$state/out" "$@"
}
# Files the previous publish left unreferenced go now, so that the pool holds
# the current and the previous versions.
reprepro deleteunreferenced

# vexshow-repository VERSION RELEASE DEB: builds the source package's
# companion into DEB, dated as the show's package of that version.
build_repository_package() {
    local version=$1 release=$2 deb=$3 tree=$work/tree
    mkdir -p "$tree/DEBIAN" "$tree/usr/share/keyrings" "$tree/etc/apt/sources.list.d" \
        "$tree/etc/apt/apt.conf.d" "$tree/usr/share/doc/vexshow-repository" "$tree/usr/share/lintian/overrides"
    gpg --batch --export --export-options export-minimal "$fingerprint" \
        >"$tree/usr/share/keyrings/vexshow-archive-keyring.gpg"
    cat >"$tree/etc/apt/sources.list.d/vexshow.sources" <<EOF
# The vexshow repository, trusted only as signed by its own key.
Types: deb
URIs: $url
Suites: $release
Components: main
Signed-By: /usr/share/keyrings/vexshow-archive-keyring.gpg
EOF
    cat >"$tree/etc/apt/apt.conf.d/52vexshow-unattended-upgrades" <<EOF
// unattended-upgrades installs new versions from the vexshow repository too;
// what it does with Debian's own origins stays as it was.
Unattended-Upgrade::Origins-Pattern {
        "origin=$origin,label=$label";
};
EOF
    cp dist/copyright "$tree/usr/share/doc/vexshow-repository/"
    printf '%s\n' "# A third party's repository: the source is the package's purpose." \
        "vexshow-repository: package-installs-apt-sources [etc/apt/sources.list.d/vexshow.sources]" \
        >"$tree/usr/share/lintian/overrides/vexshow-repository"
    printf '%s\n' "vexshow-repository ($version) $release; urgency=medium" "" \
        "  * Published with vexshow $version, for $url." "" \
        " -- vexshow developers <vexshow@example.org>  $(date -u -R -d "@$SOURCE_DATE_EPOCH")" |
        gzip -9n >"$tree/usr/share/doc/vexshow-repository/changelog.Debian.gz"
    printf '%s\n' /etc/apt/sources.list.d/vexshow.sources \
        /etc/apt/apt.conf.d/52vexshow-unattended-upgrades >"$tree/DEBIAN/conffiles"
    cat >"$tree/DEBIAN/control" <<EOF
Package: vexshow-repository
Version: $version
Architecture: all
Multi-Arch: foreign
Maintainer: vexshow developers <vexshow@example.org>
Installed-Size: $(du -sk --exclude=DEBIAN "$tree" | cut -f1)
Recommends: unattended-upgrades
Section: misc
Priority: optional
Description: vexshow's apt repository, and updates from it without a login
 Lets apt install vexshow and vexshow-kiosk from the repository at
 $url, trusting for it only the key that signs it,
 and lets unattended-upgrades install their new versions as they are
 published, in the window its timer keeps.
EOF
    (cd "$tree" && find usr etc -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
    find "$tree" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
    chmod -R u=rwX,go=rX "$tree"
    dpkg-deb --root-owner-group --build "$tree" "$deb" >/dev/null
    lintian --fail-on error,warning "$deb"
}

companion_version() {
    # shellcheck disable=SC2016 # reprepro's own placeholder
    reprepro --list-format '${version}\n' listfilter "$1" 'Package (== vexshow-repository)' | head -n 1
}

umask 0022
export LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
published=()
for release in "${releases[@]}"; do
    built=() version='' kiosk=''
    for arch in "${arches[@]}"; do
        build=build-package-$release-$arch
        deb=$(ls "$build"/vexshow_*_"$arch".deb 2>/dev/null || true)
        if [ -z "$deb" ]; then
            say "no package for Debian $release $arch (scripts/package.sh $release $arch): its boards keep what was published for them"
            continue
        fi
        reprepro --keepunreferencedfiles -A "$arch" includedeb "$release" "$deb"
        published+=("Debian $release $arch: $(dpkg-deb -f "$deb" Version)")
        # The kiosk's package of the first architecture built, amd64's where
        # there is one, so that publishing again takes the same file.
        if [ -z "$kiosk" ]; then
            kiosk=$(ls "$build"/vexshow-kiosk_*_all.deb)
            version=$(dpkg-deb -f "$deb" Version)
            # The date the show's package was built from, so that the
            # companion package of one version comes out the same every time.
            dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/vexshow/changelog.Debian.gz |
                gunzip >"$work/changelog"
            SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp -l "$work/changelog")
            export SOURCE_DATE_EPOCH
        fi
        # The kiosk needs the show of its own version: architectures whose
        # package is of another keep the kiosk they had.
        [ "$(dpkg-deb -f "$deb" Version)" != "$version" ] || built+=("$arch")
    done
    [ -n "$kiosk" ] || continue
    # The kiosk's and the repository's packages serve every architecture.
    only=$(IFS='|' && echo "${built[*]}")
    reprepro --keepunreferencedfiles -A "$only" includedeb "$release" "$kiosk"
    if [ "$(companion_version "$release")" != "$version" ]; then
        # One version of it holds one key and address: a new one needs a new version.
        companion=$work/vexshow-repository_${version}_all.deb
        build_repository_package "$version" "$release" "$companion"
        reprepro --keepunreferencedfiles -A "$only" includedeb "$release" "$companion"
    fi
done
if [ ${#published[@]} -eq 0 ]; then
    echo "repository.sh: nothing to publish: build packages with scripts/package.sh first" >&2
    exit 1
fi
reprepro export

# Made under a name of its own and renamed once whole, so that a publish cut
# short leaves nothing to be taken for a snapshot; the next one removes it.
snapshot=$(date -u +%Y%m%dT%H%M%S.%N)
partial=$out/snapshots/.$snapshot
mkdir "$partial"
cp -a "$state/out/dists" "$partial/"
cp -al "$state/out/pool" "$partial/"
for release in "${releases[@]}"; do
    version=$(companion_version "$release")
    [ -z "$version" ] || ln "$partial/pool/main/v/vexshow-repository/vexshow-repository_${version}_all.deb" \
        "$partial/vexshow-repository-$release.deb"
done
mv -T "$partial" "$out/snapshots/$snapshot"
ln -sfn "snapshots/$snapshot" "$out/current.new"
mv -T "$out/current.new" "$out/current"
previous=$(find "$out/snapshots" -mindepth 1 -maxdepth 1 -name '[0-9]*' -printf '%f\n' | sort | tail -n 2 | head -n 1)
find "$out/snapshots" -mindepth 1 -maxdepth 1 ! -name "$snapshot" ! -name "$previous" -exec rm -rf {} +

say "published, signed by $fingerprint, in $out/current for $url:"
printf '  %s\n' "${published[@]}"
for file in "$out/current"/vexshow-repository-*.deb; do
    say "a board's first install: $url/${file##*/}, sha256 $(sha256sum <"$file" | cut -d' ' -f1)"
done
