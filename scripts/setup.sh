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
      sway xwayland x11-xserver-utils jq  # the Wayland compositor they also run in, its XWayland's
                                          # access list (xhost), and its window tree
      desktop-file-utils appstream man-db # linting the menu entries, metainfo and pages
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

install=(apt-get install -y --no-install-recommends "${missing[@]}")
# Where sudo is missing or refuses (a Debian installed with a root password
# gives the first user no sudo), the same commands as root, through su.
as_root="su -c 'apt-get update && ${install[*]}'"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null ||
    { echo "setup: not root and no sudo; run this (su asks for root's password), then start again: $as_root" >&2; exit 1; }
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
# Through env: sudo drops variables set before it. Non-interactive, as
# nobody may see a package's question.
"${sudo[@]}" apt-get update && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}" ||
  { echo "setup: installing failed; without sudo, run this (su asks for root's password), then start again: $as_root" >&2; exit 1; }
