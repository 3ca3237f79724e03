#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: in a normal build and
# in an AddressSanitizer + UndefinedBehaviorSanitizer build. The end-to-end
# tests start their own Xvfb, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs="$(nproc)"

echo "== normal build"
# ON, not the default AUTO: a missing test dependency stops the run here.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=ON -DFLAGBLOCKS_BUILD_TOOLS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLAGBLOCKS_ENABLE_SANITIZERS=ON \
  -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF -DFLAGBLOCKS_BUILD_TOOLS=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure
