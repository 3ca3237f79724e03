#!/usr/bin/env bash
# Takes the README's pictures of the three programs and writes them as PNG
# files into docs/images/:
#
#   scripts/screenshots.sh
#
# Each program runs in a private Xvfb through the end-to-end harness: dravin
# at its opening size and after a resize, mobrix after held keys have moved
# and grown the block, quenzel under a frozen wall clock (fixed seed, angle
# 0, so the picture is the same on every run). Builds in build-perf/.
# Installs nothing: it names what is missing and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-perf
out=docs/images

missing=()
command -v cmake >/dev/null || missing+=("cmake (Debian package cmake)")
command -v Xvfb >/dev/null || missing+=("Xvfb (Debian package xvfb)")
if [ ${#missing[@]} -gt 0 ]; then
  printf 'screenshots: missing: %s\n' "${missing[@]}" >&2
  echo "screenshots: scripts/setup.sh installs them" >&2
  exit 1
fi

if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_TOOLS=ON >/dev/null; then
  echo "screenshots: configuring failed; scripts/setup.sh installs the build's packages" >&2
  exit 1
fi
cmake --build "$build" -j"$(nproc)" --target dravin mobrix quenzel screenshots >/dev/null

mkdir -p "$out"
"$build/bin/screenshots" "$out" "$build/bin/dravin" "$build/bin/mobrix" "$build/bin/quenzel"
