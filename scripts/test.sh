#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. The end-to-end tests start
# their own Xvfb, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure
