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
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target "$program"
exec "build/bin/$program"
