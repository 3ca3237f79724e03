#!/usr/bin/env bash
# The release runner's clean-up when the runner is killed with SIGKILL, which
# no script can trap (a CI time limit sends it after its grace period).
#
#   tests/release/runner_kill_test.sh [WORD]
#
# Starts a run of scripts/test-release.sh in a process group of its own and
# waits until a process whose command line holds WORD runs inside the
# system, where every mount is in place: scripts/test.sh by default (a minute
# or two in), or e.g. ctest (the tests themselves, after the build, many
# minutes in). Then checks that --clean leaves the live run's tree alone,
# kills the run's whole process group with SIGKILL, and checks that no
# process of the run and no mount under the runner's directory is left, and
# that --clean then removes the tree. Needs root and mmdebstrap; slow, so not
# part of ctest.
set -euo pipefail
cd "$(dirname "$0")/../.."

word="${1:-scripts/test.sh}"
# A runner directory of its own, so runs of others on this machine are never touched.
TMPDIR="$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/runner-kill-test-XXXXXX")")"
export TMPDIR
runs="$TMPDIR/flagblocks-test-release"
log="$TMPDIR/run.log"
runner=""

fail() {
  echo "runner_kill_test: FAILED: $*" >&2
  [ -f "$log" ] && tail -n 20 "$log" >&2
  exit 1
}

# Mount points at or below $1 in this (the host's) mount namespace.
mounts_under() {
  awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo
}

# Processes whose root directory lies under $1: those running inside a run's system.
processes_under() {
  local link
  for link in /proc/[0-9]*/root; do
    case "$(readlink "$link" 2>/dev/null)" in "$1"/*) link="${link#/proc/}"; echo "${link%/root}" ;; esac
  done
}

# Polls the command $2... every half second for up to $1 seconds.
await() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}

cleanup() {
  local status=$?
  if [ -n "$runner" ] && kill -0 "$runner" 2>/dev/null; then
    kill -KILL -- "-$runner" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
  fi
  if [ -n "$(mounts_under "$TMPDIR")" ]; then
    echo "runner_kill_test: mounts left under $TMPDIR; not removing it" >&2
  else
    rm -rf --one-file-system "$TMPDIR"
  fi
  exit "$status"
}
trap cleanup EXIT

echo "== starting a run; waiting for '$word' inside its system"
started=$SECONDS
setsid scripts/test-release.sh bookworm --no-sanitizers >"$log" 2>&1 &
runner=$!
# setsid makes the runner the leader of a new session and process group.
await 10 test "$(ps -o pgid= -p "$runner" | tr -d ' ')" = "$runner" || fail "the runner did not get a process group of its own"

inside=""
found_inside() {
  kill -0 "$runner" 2>/dev/null || fail "the run ended before '$word' ran inside its system"
  local pid
  for pid in $(processes_under "$runs"); do
    # The process may have ended since the scan.
    if { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -q -F -- "$word"; then
      inside="$pid"
      return 0
    fi
  done
  return 1
}
await 1800 found_inside || fail "'$word' did not run inside the system within 30 minutes"
tree="$(readlink "/proc/$inside/root")"
run="${tree%/root}"
echo "== '$word' runs in $tree after $((SECONDS - started)) s"

scripts/test-release.sh --clean
[ -d "$tree/usr" ] || fail "--clean removed the tree of a live run"
kill -0 "$runner" 2>/dev/null || fail "the run ended after --clean"

echo "== SIGKILL to the run's process group"
kill -KILL -- "-$runner"
wait "$runner" 2>/dev/null || true
runner=""
await 60 test -z "$(processes_under "$run")" || fail "processes of the run outlived it: $(processes_under "$run")"
left="$(mounts_under "$runs")"
[ -z "$left" ] || fail "mounts left under $runs: $left"
# The tree is still there, as plain files: the kill gave the run no chance
# to remove it.
[ -d "$tree/usr" ] || fail "no tree left to clean: the check below would prove nothing"
echo "== no mount left; the killed run's tree is on disk; --clean"

scripts/test-release.sh --clean
[ ! -e "$run" ] || fail "--clean left $run"
echo "runner_kill_test: passed in $((SECONDS - started)) s"
