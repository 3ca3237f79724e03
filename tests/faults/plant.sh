#!/usr/bin/env bash
# Plants small faults in the programs, one at a time, and shows that the
# tests concerned catch each of them.
#
#   tests/faults/plant.sh [REGEX]   # every fault, or those whose tests,
#                                   # file or behaviour match: mobrix,
#                                   # block.h, frame_clock, 'quits'...
#   tests/faults/plant.sh -L LABEL [REGEX]   # the same, each fault's tests
#                                   # narrowed to the entries with that
#                                   # label, such as wayland
#
# The faults are listed in faults.txt beside this script. The checkout (the
# working tree's files, uncommitted changes included) is copied to a scratch
# directory and built there once, normally; its tests must pass unplanted.
# Then each fault is planted in the copy, the copy is rebuilt incrementally,
# the fault's tests run until one fails, and the file is restored. Prints
# caught or SURVIVED (or did not apply, did not build) for each fault with
# its time, and exits 1 unless every fault was caught; a pattern that
# selects no fault exits 2 at once.
set -uo pipefail
export GTEST_FAIL_FAST=1  # a test program stops at its first failing test
top="$(cd "$(dirname "$0")/../.." && pwd)"
label=()
if [ "${1:-}" = -L ]; then label=(-L "$2"); shift 2; fi
only="${1:-.}"
scratch="${FAULTS_DIR:-${TMPDIR:-/tmp}/flagblocks-faults}"
copy="$scratch/src" build="$scratch/build" log="$scratch/last.log"
mkdir -p "$copy"
# Each file copied with the time of the copy (-m), so that the build below
# redoes whatever a run stopped halfway left planted in an older build.
(cd "$top" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -xmf - -C "$copy"

faults=()  # "tests | file | perl substitution | behaviour"
while IFS= read -r line; do
  [[ "$line" =~ ^[[:space:]]*(#|$) ]] || faults+=("$line")
done <"$top/tests/faults/faults.txt"
field() { awk -F ' [|] ' -v n="$2" '{ print $n }' <<<"$1"; }
# Those the pattern selects. None is an error, found before anything is
# built: a check of nothing must not pass.
selected=()
for f in "${faults[@]}"; do
  [[ "$(field "$f" 1) | $(field "$f" 2) | $(field "$f" 4)" =~ $only ]] && selected+=("$f")
done
if [ ${#selected[@]} -eq 0 ]; then
  echo "plant: no fault in faults.txt matches '$only' (in its tests, file or behaviour)" >&2
  exit 2
fi

started=$SECONDS
echo "== building $copy in $build"
cmake -S "$copy" -B "$build" -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF >"$log" 2>&1 &&
  cmake --build "$build" -j"$(nproc)" >>"$log" 2>&1 || { tail -n 30 "$log"; exit 2; }
regexes=$(for f in "${faults[@]}"; do field "$f" 1; done | sort -u | paste -sd '|')
echo "== the tests concerned, unplanted: $regexes"
ctest --test-dir "$build" -R "$regexes" "${label[@]}" >"$log" 2>&1 || { tail -n 30 "$log"; echo "they fail unplanted"; exit 2; }

caught=0 total=0
for f in "${selected[@]}"; do
  tests=$(field "$f" 1) file=$(field "$f" 2) change=$(field "$f" 3) name=$(field "$f" 4)
  total=$((total + 1)) t0=$SECONDS
  if ! perl -0777 -i -pe "$change or die qq(no match\n)" "$copy/$file" 2>"$log"; then
    verdict="did not apply"
  elif ! cmake --build "$build" -j"$(nproc)" >"$log" 2>&1; then
    verdict="did not build"
  elif ctest --test-dir "$build" -R "$tests" "${label[@]}" --stop-on-failure >"$log" 2>&1; then
    verdict="SURVIVED"
  else
    verdict="caught" caught=$((caught + 1))
  fi
  cp "$top/$file" "$copy/$file"  # restored, and newer than the build, so rebuilt next time
  printf '%-14s %4d s  %s (%s)\n' "$verdict" $((SECONDS - t0)) "$name" "$tests"
done
cmake --build "$build" -j"$(nproc)" >"$log" 2>&1
echo "== $caught of $total faults caught in $((SECONDS - started)) s"
[ "$caught" -eq "$total" ]
