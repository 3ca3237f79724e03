#!/usr/bin/env bash
# starts.sh SCRATCH_DIR COMMAND...
#
# Runs COMMAND, which starts one of the programs (scripts/run.sh mobrix, a
# menu entry's command), as the tests run the programs: on an Xvfb of its
# own, in a small environment with a private HOME and an empty
# XDG_RUNTIME_DIR, its standard output unbuffered (stdbuf -o0). Once it has
# printed two status records, SIGTERM asks it to quit, which it reads as a
# close of its window. Passes when it then ends with status 0 and nothing on
# stderr. Gives up after 600 s, which covers a build that run.sh does first.
# Its output stays in SCRATCH_DIR.
set -euo pipefail
scratch="$1"
shift
mkdir -p "$scratch/home" && mkdir -p -m 700 "$scratch/runtime"

# Xvfb picks a free display number and writes it (-displayfd), so that runs
# side by side, also in other systems on this machine, never share one.
# The file is there before Xvfb starts, as the background redirection may
# come after the first look at it.
: >"$scratch/display"
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$scratch/display" 2>"$scratch/xvfb.err" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 300); do
  [ "$(wc -l <"$scratch/display")" -ge 1 ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || { echo "FAIL: Xvfb did not start: $(cat "$scratch/xvfb.err")" >&2; exit 1; }

# In a process group of its own, so that a build still running at the end
# goes too. Its output file is there before it starts, to be counted at once.
: >"$scratch/stdout"
env -i PATH="$PATH" LANG=C.UTF-8 HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
  DISPLAY=":$(head -n 1 "$scratch/display")" setsid stdbuf -o0 "$@" \
  >"$scratch/stdout" 2>"$scratch/stderr" </dev/null &
program=$!
records() { grep -ao $'\rdelta: ' "$scratch/stdout" | wc -l; }
for _ in $(seq 6000); do
  [ "$(records)" -ge 2 ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
kill -TERM -- "-$program" 2>/dev/null || true
status=0
wait "$program" || status=$?

if [ "$status" -ne 0 ] || [ "$(records)" -lt 2 ] || [ -s "$scratch/stderr" ]; then
  echo "FAIL: $*: exit status $status, $(records) status records, stderr: $(cat "$scratch/stderr")" >&2
  exit 1
fi
echo "$*: $(records) status records, then exit status 0 on SIGTERM"
