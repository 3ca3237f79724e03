#!/usr/bin/env bash
# Builds the Debian package twice from this checkout, in two copies of it
# at different paths, and checks that the two .deb files are byte for byte
# the same:
#
#   tests/package/reproducible_test.sh
#
# Each build is the package command as the README gives it, with the
# "package" preset (the programs, the manual pages and the desktop data,
# nothing else) and two jobs. The copies hold the checkout's tracked and
# untracked files, not ignored ones (no build trees). When the packages
# differ, diffoscope explains how, where it is installed; elsewhere the
# files that differ are named from the packages' checksums.
#
# CI runs this on one release; it needs what scripts/setup.sh --run-only
# installs, and git.
set -euo pipefail
cd "$(dirname "$0")/../.."

scratch="$(mktemp -d "${TMPDIR:-/tmp}/reproducible-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# build DIR: copies the checkout to DIR and builds the package there; the
# package ends up as DIR.deb.
build() {
  local dir="$1" started=$SECONDS
  mkdir -p "$dir"
  git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$dir"
  (
    cd "$dir"
    cmake --preset package >"$dir.log" 2>&1
    cmake --build --preset package -j2 >>"$dir.log" 2>&1
    cd build-package && cpack -G DEB >>"$dir.log" 2>&1
  ) || { cat "$dir.log" >&2; echo "FAIL: the build in $dir failed" >&2; exit 1; }
  local debs=("$dir"/build-package/*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $dir, got: ${debs[*]}" >&2; exit 1; }
  cp "${debs[0]}" "$dir.deb"
  echo "-- $(basename "${debs[0]}") built in $dir in $((SECONDS - started)) s"
}

# Paths of different lengths and depths, so neither the path nor its length
# can reach the package unnoticed.
build "$scratch/one/flagblocks"
build "$scratch/second-build/of-the-same-commit"

first="$scratch/one/flagblocks.deb"
second="$scratch/second-build/of-the-same-commit.deb"
if cmp -s "$first" "$second"; then
  echo "reproducible: both builds gave the same package ($(stat -c %s "$first") bytes, sha256 $(sha256sum <"$first" | cut -c1-16)...)"
  exit 0
fi

echo "FAIL: the two builds gave different packages" >&2
if command -v diffoscope >/dev/null; then
  diffoscope "$first" "$second" >&2 || true
else
  # The control files, the checksums of the packaged files and their list
  # with modes and times name what differs; diffoscope would show how.
  for deb in "$first" "$second"; do
    mkdir -p "$deb.control"
    dpkg-deb -e "$deb" "$deb.control"
    dpkg-deb -c "$deb" >"$deb.contents"
  done
  for part in control/control control/md5sums contents; do
    diff "$first.$part" "$second.$part" >&2 || true
  done
  echo "(install diffoscope to see how they differ)" >&2
fi
exit 1
