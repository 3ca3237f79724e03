#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: in a normal build and
# in an AddressSanitizer + UndefinedBehaviorSanitizer build. The end-to-end
# tests start their own Xvfb, so no display is needed. Warnings are errors.
#
#   scripts/test.sh                   # both builds
#   scripts/test.sh --no-sanitizers   # the normal build only
#   scripts/test.sh --clang           # a Clang build and its tests, less the
#                                     # memory check
set -euo pipefail
cd "$(dirname "$0")/.."

builds=(tests sanitizers)
case "${1:-}" in
  "") ;;
  --no-sanitizers) builds=(tests) ;;
  --clang) builds=(clang) ;;
  *) echo "usage: scripts/test.sh [--no-sanitizers | --clang]" >&2; exit 2 ;;
esac

# Clang only for the Clang build.
if [ "${builds[0]}" = clang ]; then scripts/setup.sh --clang; else scripts/setup.sh; fi
# What this run tests on: the release, SDL (and SDL 3 underneath, where
# SDL 2 is sdl2-compat), the compiler and CMake.
sdl="$(dpkg-query -W -f='${Package} ${Version} ' libsdl2-2.0-0 libsdl3-0 2>/dev/null || true)"
compiler=c++
[ "${builds[0]}" = clang ] && compiler=clang++
echo "== $(. /etc/os-release && echo "$PRETTY_NAME"); ${sdl}; $($compiler --version | head -n1); $(cmake --version | head -n1)"

# Each build in a folder of its own, which the README's build and install
# never use; its preset asks for the tests (ON, so a missing test dependency
# stops the run) and makes warnings errors.
for build in "${builds[@]}"; do
  echo "== $build build"
  cmake --preset "$build"
  cmake --build --preset "$build" -j"$(nproc)"
  if [ "$build" = clang ]; then
    ctest --preset "$build" -E memcheck
  else
    ctest --preset "$build"
  fi
done
