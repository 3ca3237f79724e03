#!/usr/bin/env bash
# starts.sh SCRATCH_DIR COMMAND...
#
# Runs COMMAND, which starts one of the programs (scripts/run.sh mobrix, a
# menu entry's command), as the tests run the programs: on an X server of
# its own (xvfb-run), in a small environment with a private HOME and an
# empty XDG_RUNTIME_DIR, its standard output unbuffered (stdbuf -o0). Once
# it has printed two status records, SIGTERM asks it to quit, which it reads
# as a close of its window. Passes when it then ends with status 0 and
# nothing on stderr. Gives up after 600 s, which covers a build run.sh does
# first. Its output stays in SCRATCH_DIR.
set -euo pipefail
scratch="$1"
shift
mkdir -p "$scratch/home" && mkdir -p -m 700 "$scratch/runtime"

# In its own process group, so that a build still running at the end goes too.
status=0
env -i PATH="$PATH" LANG=C.UTF-8 HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    out="$1"
    shift
    setsid stdbuf -o0 "$@" >"$out/stdout" 2>"$out/stderr" </dev/null &
    for _ in $(seq 6000); do
      [ "$(grep -ao $'\''\rdelta: '\'' "$out/stdout" | wc -l)" -ge 2 ] && break
      kill -0 $! 2>/dev/null || break
      sleep 0.1
    done
    kill -TERM -- -$! 2>/dev/null
    wait $!' starts "$scratch" "$@" || status=$?

records="$(grep -ao $'\rdelta: ' "$scratch/stdout" | wc -l)"
if [ "$status" -ne 0 ] || [ "$records" -lt 2 ] || [ -s "$scratch/stderr" ]; then
  echo "FAIL: $*: exit status $status, $records status records, stderr: $(cat "$scratch/stderr")" >&2
  exit 1
fi
echo "$*: $records status records, then exit status 0 on SIGTERM"
