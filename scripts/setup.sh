#!/usr/bin/env bash
# Installs with apt-get what the build needs and is missing, on Debian 12, 13
# or unstable (other systems are untested):
#
#   scripts/setup.sh             the programs, their tests and the benchmark
#   scripts/setup.sh --clang     all that, and Clang to build them with
#   scripts/setup.sh --run-only  only what building and running the programs needs
#
# Without dpkg-query or apt-get it installs nothing: it names the Debian
# packages and exits 0, and configuring with CMake stops at anything missing.
set -euo pipefail

packages=(build-essential cmake libsdl2-dev libnoise-dev)  # the programs
case "${1:-}" in
  --run-only) ;;
  ""|--clang)
    [ "${1:-}" = --clang ] && packages+=(clang)  # the second compiler the build is tested with
    packages+=(
      libgtest-dev                        # the tests
      xvfb libx11-dev libxtst-dev         # the end-to-end tests' private X server and input
      faketime                            # a fixed or stepped wall clock in tests
      valgrind                            # the memory-check tests
      libbenchmark-dev                    # the quenzel benchmark
    ) ;;
  *) echo "usage: scripts/setup.sh [--clang | --run-only]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  echo "setup: no dpkg-query or apt-get, so nothing is installed; the build needs (Debian's names): ${packages[*]}" >&2
  exit 0
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: not root and no sudo; as root, run: apt-get install ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update
# Through env: sudo drops variables set before it. Non-interactive, as
# nobody may see a package's question.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
