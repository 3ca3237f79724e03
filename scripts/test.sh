#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: in a normal build and
# in an AddressSanitizer + UndefinedBehaviorSanitizer build. The end-to-end
# tests start their own Xvfb, so no display is needed.
#
#   scripts/test.sh                   # both builds
#   scripts/test.sh --no-sanitizers   # the normal build only
set -euo pipefail
cd "$(dirname "$0")/.."

sanitizers=yes
case "${1:-}" in
  "") ;;
  --no-sanitizers) sanitizers=no ;;
  *) echo "usage: scripts/test.sh [--no-sanitizers]" >&2; exit 2 ;;
esac

scripts/setup.sh
jobs="$(nproc)"
# What this run tests on: the release, SDL (and SDL 3 underneath, where
# SDL 2 is sdl2-compat), the compiler and CMake.
sdl="$(dpkg-query -W -f='${Package} ${Version} ' libsdl2-2.0-0 libsdl3-0 2>/dev/null || true)"
echo "== $(. /etc/os-release && echo "$PRETTY_NAME"); ${sdl}; $(c++ --version | head -n1); $(cmake --version | head -n1)"

echo "== normal build"
# ON, not the default AUTO: a missing test dependency stops the run here.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=ON -DFLAGBLOCKS_BUILD_TOOLS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

if [ "$sanitizers" = yes ]; then
  echo "== sanitizer build (ASan + UBSan)"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLAGBLOCKS_ENABLE_SANITIZERS=ON \
    -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF -DFLAGBLOCKS_BUILD_TOOLS=OFF
  cmake --build build-asan -j"$jobs"
  ctest --test-dir build-asan --output-on-failure
fi
