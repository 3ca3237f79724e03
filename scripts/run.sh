#!/usr/bin/env bash
# Sets up, builds and starts one program: scripts/run.sh [dravin|mobrix|quenzel]
set -euo pipefail
cd "$(dirname "$0")/.."

program="${1:-mobrix}"
case "$program" in
  dravin|mobrix|quenzel) ;;
  *) echo "usage: scripts/run.sh [dravin|mobrix|quenzel]" >&2; exit 2 ;;
esac

scripts/setup.sh --run-only
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target "$program"
exec "build/bin/$program"
