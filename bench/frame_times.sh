#!/usr/bin/env bash
# Measures the three programs as whole programs and quenzel's scene
# in-process (bench/quenzel_bench), and writes all these figures into
# docs/performance.md, with a plot of quenzel's frame time against window
# area beside the benchmark's scene and noise-only floor. This is the one
# place the project's performance figures are written; other documents link
# to it.
#
#   bench/frame_times.sh                measure everything, then write the report
#   bench/frame_times.sh --bench-only   measure only quenzel_bench again (a few
#                                       minutes), then write the report
#   bench/frame_times.sh --report-only  rewrite the plot and tables from docs/data/
#
# Each program runs in a private Xvfb (the end-to-end harness's) for a fixed
# time, at its opening size and at 1920 x 1080, with the renderer SDL picks,
# with SDL_RENDER_DRIVER=software, and with the software renderer presenting
# straight to X (SDL_FRAMEBUFFER_ACCELERATION=0); quenzel also at 1000 x 600
# for the plot, and with SDL_RENDER_BATCHING=1 on top. None of these changes
# a pixel. Builds in build-perf/. Takes about ten minutes on two cores;
# anything else running on the machine shows up in the figures, so the load
# average before and after is recorded with them.
#
# Installs nothing: it names what is missing and stops.
#
# Environment: FAST_SECONDS (dravin, mobrix; default 10) and SLOW_SECONDS
# (quenzel; default 20) set how long each run is timed.
set -euo pipefail
cd "$(dirname "$0")/.."

report_only=false
bench_only=false
case "${1:-}" in
  "") ;;
  --report-only) report_only=true ;;
  --bench-only) bench_only=true ;;
  *) echo "usage: bench/frame_times.sh [--bench-only | --report-only]" >&2; exit 2 ;;
esac

fast_seconds="${FAST_SECONDS:-10}"
slow_seconds="${SLOW_SECONDS:-20}"
build=build-perf
data=docs/data
doc=docs/performance.md
plot=docs/images/quenzel-frame-time.png

results="$data/frame_times.tsv"        # one line per run, as frame_time_probe prints it
machine="$data/machine.tsv"            # what the runs ran on
bench_csv="$data/quenzel_bench.csv"    # quenzel_bench's own output
floor="$data/quenzel_bench_fastest.tsv" # benchmark, width, height, fastest CPU ms
bench_run="$data/quenzel_bench_run.tsv" # when quenzel_bench ran, repetitions, load average
bench_repetitions=9
points="$data/quenzel_plot.tsv"        # megapixels, median, p10, p90; a block per renderer
profiles="$data/profiles.tsv"          # where each program's CPU time goes, by library

missing=()
if ! $report_only; then
  command -v cmake >/dev/null || missing+=("cmake (Debian package cmake)")
  command -v Xvfb >/dev/null || missing+=("Xvfb (Debian package xvfb)")
fi
if ! command -v gnuplot >/dev/null; then
  missing+=("gnuplot (Debian package gnuplot-nox)")
elif ! echo "set terminal" | gnuplot 2>&1 | grep -q pngcairo; then
  missing+=("gnuplot's pngcairo terminal (Debian package gnuplot-nox)")
fi
if [ ${#missing[@]} -gt 0 ]; then
  printf 'frame_times: missing: %s\n' "${missing[@]}" >&2
  echo "frame_times: install them (e.g. apt-get install gnuplot-nox); scripts/setup.sh installs what the build needs" >&2
  exit 1
fi

# Where a program's CPU time goes: `perf record` on all its threads during a
# 5 s run at its opening size, summed by library into a few groups. Skipped,
# with a word, where perf is missing or not allowed.
profile_runs() {
  local probe="$build/bin/frame_time_probe" check
  check="$(mktemp /tmp/frame-times-perf-XXXXXX)"
  if ! command -v perf >/dev/null || ! perf record --quiet --output "$check" -- true >/dev/null 2>&1; then
    rm -f "$check" "$profiles"
    echo "frame_times: perf is missing or not allowed (Debian package linux-perf): no profile table" >&2
    return
  fi
  rm -f "$check"
  printf 'program\tsize\trenderer\tMesa OpenGL (llvmpipe)\tSDL2\tlibnoise\tkernel\tC and C++ libraries\tXlib and xcb\tthe program itself\tother\n' >"$profiles"
  profile() {  # program [probe options]
    local program="$1" file line
    shift
    file="$(mktemp /tmp/frame-times-perf-XXXXXX)"
    echo "== profile: $program ${*:-(renderer SDL picks)}"
    line="$("$probe" "$build/bin/$program" --seconds 5 "$@" --perf "$file")"
    perf report --input "$file" --sort dso --stdio 2>/dev/null | awk -v program="$program" -v line="$line" '
      /^ *[0-9.]+%/ {
        share = $1; sub(/%/, "", share); dso = $0; sub(/^ *[0-9.]+% +/, "", dso); sub(/ +$/, "", dso)
        if (dso ~ /swrast_dri|^\[JIT\]|libGLX|libglapi|libGLdispatch|^libGL\.|libLLVM/) g = 1
        else if (dso ~ /libSDL2/) g = 2
        else if (dso ~ /libnoise/) g = 3
        else if (dso ~ /kernel/) g = 4
        else if (dso ~ /^(libc|libm|libstdc\+\+|libgcc_s)[.-]/) g = 5
        else if (dso ~ /^(libX11|libxcb|libXext|libX11-xcb)/) g = 6
        else if (dso == program) g = 7
        else g = 8
        sum[g] += share
      }
      END {
        split(line, f, "\t"); printf "%s\t%s\t%s", f[1], f[2], f[3]
        for (g = 1; g <= 8; g++) printf "\t%.1f", sum[g]
        printf "\n"
      }' | tee -a "$profiles"
    rm -f "$file"
  }
  local direct=(--software --env SDL_FRAMEBUFFER_ACCELERATION=0)
  profile dravin
  profile dravin --software
  profile dravin "${direct[@]}"
  profile mobrix
  profile mobrix "${direct[@]}"
  profile quenzel
  profile quenzel --software
  profile quenzel "${direct[@]}"
}

configure() {  # cmake options
  echo "== build ($build)"
  if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null; then
    echo "frame_times: configuring failed; scripts/setup.sh installs the build's packages" >&2
    exit 1
  fi
}

# quenzel_bench: the scene in-process beside its parts. The repetitions of
# all benchmarks and sizes are interleaved in random order, so a burst of
# other work on the machine slows one repetition of several benchmarks
# rather than every repetition of one; the fastest repetition in CPU time is
# what the report shows.
measure_bench() {
  local load_before
  load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
  echo "== quenzel_bench: the scene in-process, its parts and the noise-only floor"
  "$build/bin/quenzel_bench" --benchmark_repetitions="$bench_repetitions" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >"$bench_csv"
  {
    printf 'measured\t%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'repetitions\t%s\n' "$bench_repetitions"
    printf 'load average before / after\t%s / %s\n' "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)"
  } >"$bench_run"
}

measure() {
  configure -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=ON -DFLAGBLOCKS_BUILD_TOOLS=ON
  cmake --build "$build" -j"$(nproc)" --target dravin mobrix quenzel frame_time_probe quenzel_bench >/dev/null
  local probe="$build/bin/frame_time_probe"
  mkdir -p "$data"

  local load_before
  load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
  printf 'program\tsize\trenderer\tframes\tp10_ms\tmedian_ms\tp90_ms\tlaunch_ms\tvmhwm_kib\n' >"$results"

  # The ways of presenting, as probe options: the renderer SDL picks, the
  # software renderer (whose frames SDL still uploads through OpenGL), the
  # software renderer presenting straight to X, and that with batching.
  local variants=("" "--software" "--software --env SDL_FRAMEBUFFER_ACCELERATION=0")
  local batched="--software --env SDL_FRAMEBUFFER_ACCELERATION=0 --env SDL_RENDER_BATCHING=1"
  run() {  # program seconds [--size WxH]
    local program="$1" seconds="$2"
    shift 2
    local extra=()
    [ "$program" = quenzel ] && extra=("$batched")
    for variant in "${variants[@]}" "${extra[@]}"; do
      echo "== $program ${*:-} ${variant:-(renderer SDL picks)}, ${seconds} s"
      # shellcheck disable=SC2086  # the variant is a list of options
      "$probe" "$build/bin/$program" --seconds "$seconds" "$@" $variant | tee -a "$results"
    done
  }

  # A first launch warms the page cache, so no run pays for reading the libraries from disk.
  "$probe" "$build/bin/dravin" --seconds 1 >/dev/null

  run dravin "$fast_seconds"
  run dravin "$fast_seconds" --size 1920x1080
  run mobrix "$fast_seconds"
  run mobrix "$fast_seconds" --size 1920x1080
  run quenzel "$slow_seconds"
  run quenzel "$slow_seconds" --size 1000x600
  run quenzel "$slow_seconds" --size 1920x1080

  profile_runs

  measure_bench

  package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "?"; }
  cpu_field() { lscpu | sed -n "s/^$1: *//p" | head -n1; }
  {
    printf 'measured\t%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'CPU\t%s (family %s, model %s)%s\n' "$(cpu_field 'Model name')" "$(cpu_field 'CPU family')" \
      "$(cpu_field 'Model')" "$(h="$(cpu_field 'Hypervisor vendor')"; [ -n "$h" ] && echo ", virtual machine under $h")"
    printf 'cores\t%s\n' "$(nproc)"
    printf 'memory\t%s\n' "$(free -g | awk '/^Mem:/ {print $2 " GiB"}')"
    printf 'kernel\t%s\n' "$(uname -r)"
    printf 'SDL\t%s\n' "$(package_version libsdl2-2.0-0)"
    printf 'libnoise\t%s\n' "$(package_version libnoise0)"
    printf 'Mesa\t%s\n' "$(package_version libgl1-mesa-dri)"
    printf 'X server\tXvfb %s, 1920 x 1200 x 24, no window manager\n' "$(package_version xvfb)"
    printf 'renderer SDL picks\t%s\n' "$("$probe" --renderer-info)"
    printf 'build\t%s, GCC %s\n' "RelWithDebInfo (-O2 -g)" "$(gcc -dumpfullversion)"
    printf 'load average before / after\t%s / %s\n' "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)"
  } >"$machine"
}

report() {
  for f in "$results" "$machine" "$bench_csv" "$bench_run"; do
    [ -s "$f" ] || { echo "frame_times: $f is missing; run without --report-only first" >&2; exit 1; }
  done
  mkdir -p "$(dirname "$plot")"

  # quenzel_bench's CSV: name,iterations,real_time,cpu_time,time_unit,... with
  # names like "NoiseOnly/500/300_min". The fastest repetition in CPU time is
  # the floor least disturbed by anything else running on the machine.
  awk -F, 'NR > 1 && $1 ~ /_min"?$/ {
    gsub(/"/, "", $1); sub(/_min$/, "", $1); split($1, part, "/")
    scale = ($5 == "ms") ? 1 : ($5 == "us") ? 1e-3 : ($5 == "ns") ? 1e-6 : 1e3
    printf "%s\t%d\t%d\t%.3f\n", part[1], part[2], part[3], $4 * scale
  }' "$bench_csv" >"$floor"
  # One block per way of presenting, in a fixed order, for gnuplot's "index".
  : >"$points"
  for renderer in auto software software,SDL_FRAMEBUFFER_ACCELERATION=0 \
    software,SDL_FRAMEBUFFER_ACCELERATION=0,SDL_RENDER_BATCHING=1; do
    echo "# $renderer" >>"$points"
    awk -F'\t' -v renderer="$renderer" 'NR > 1 && $1 == "quenzel" && $3 == renderer {
      size = ($2 == "default") ? "500x300" : $2; split(size, wh, "x")
      printf "%.4f\t%s\t%s\t%s\n", wh[1] * wh[2] / 1e6, $6, $5, $7
    }' "$results" | sort -n >>"$points"
    printf '\n\n' >>"$points"
  done
  local benchmarks="$data/quenzel_bench_plot.tsv"
  : >"$benchmarks"
  for name in Frame NoiseOnly; do
    echo "# $name" >>"$benchmarks"
    awk -F'\t' -v name="$name" '$1 == name {printf "%.4f\t%s\n", $2 * $3 / 1e6, $4}' "$floor" | sort -n >>"$benchmarks"
    printf '\n\n' >>"$benchmarks"
  done

  echo "== plot ($plot)"
  local cpu cores
  cpu="$(awk -F'\t' '$1 == "CPU" {sub(/ \(.*/, "", $2); print $2}' "$machine")"
  cores="$(awk -F'\t' '$1 == "cores" {print $2}' "$machine")"
  gnuplot <<EOF
set terminal pngcairo size 900,640 font "DejaVu Sans,11"
set output "$plot"
set title "quenzel: frame time against window area ($cpu, $cores cores)"
set xlabel "window area (megapixels)"
set ylabel "frame time (ms)"
set key outside below left Left reverse maxrows 3 width -6 spacing 1.1
set bmargin 7.5
set grid
set xrange [0:2.2]
set yrange [0:*]
set datafile separator "\t"
set label 1 "points: median frame time; bars: p10 to p90" at graph 0.02, graph 0.95
plot "$points" index 0 using 1:2:3:4 with yerrorlines lw 2 pt 7 lc rgb "#9400d3" title "program, renderer SDL picks (OpenGL)", \
     "$points" index 1 using 1:2:3:4 with yerrorlines lw 2 pt 5 lc rgb "#009e73" title "program, software renderer", \
     "$points" index 2 using 1:2:3:4 with yerrorlines lw 2 pt 9 lc rgb "#56b4e9" title "program, software renderer straight to X", \
     "$points" index 3 using 1:2:3:4 with yerrorlines lw 2 pt 11 lc rgb "#e69f00" title "the same, batched", \
     "$benchmarks" index 0 using 1:2 with linespoints dt 2 lw 2 pt 4 lc rgb "#d55e00" title "scene alone, in-process (benchmark Frame)", \
     "$benchmarks" index 1 using 1:2 with linespoints lw 3 pt 6 lc rgb "black" title "noise evaluations only (benchmark NoiseOnly)"
EOF

  echo "== $doc"
  local table
  table="$(mktemp)"
  {
    echo "Measured $(awk -F'\t' '$1 == "measured" {print $2}' "$machine") by \`bench/frame_times.sh\`."
    echo
    echo "| machine | |"
    echo "|---|---|"
    awk -F'\t' '$1 != "measured" {printf "| %s | %s |\n", $1, $2}' "$machine"
    echo
    echo "| program | window | renderer | frames | median frame (ms) | p10 – p90 (ms) | frames/s at the median | launch to first picture (ms) | peak memory (MiB) |"
    echo "|---|---|---|--:|--:|--:|--:|--:|--:|"
    awk -F'\t' 'NR > 1 {
      size = ($2 == "default") ? (($1 == "quenzel") ? "500 × 300" : "1000 × 500") : $2
      sub(/x/, " × ", size)
      renderer = $3
      sub(/^auto/, "SDL picks", renderer)
      sub(/^software,SDL_FRAMEBUFFER_ACCELERATION=0/, "software, straight to X", renderer)
      sub(/,SDL_RENDER_BATCHING=1/, ", batched", renderer)
      printf "| %s | %s | %s | %d | %.3f | %.3f – %.3f | %.1f | %.0f | %.1f |\n",
             $1, size, renderer, $4, $6, $5, $7, 1000 / $6, $8, $9 / 1024
    }' "$results"
    echo
    echo "Renderers: *SDL picks* is what the programs get by asking for an accelerated renderer (here the one in the machine table);"
    echo "*software* runs them with \`SDL_RENDER_DRIVER=software\`; *straight to X* adds \`SDL_FRAMEBUFFER_ACCELERATION=0\`,"
    echo "and *batched* adds \`SDL_RENDER_BATCHING=1\` to that. Frames are counted from the first picture (or from the resize)"
    echo "to the close; launch to first picture is measured at the opening size in every run."
    echo
    if [ -s "$profiles" ]; then
      echo "Where the CPU time goes, in per cent of the samples \`perf record\` took of each program (all its threads) during 5 s at its opening size:"
      echo
      head -n1 "$profiles" | awk -F'\t' '{ printf "| program | renderer |"; for (i = 4; i <= NF; i++) printf " %s |", $i; printf "\n|---|---|"; for (i = 4; i <= NF; i++) printf "--:|"; printf "\n" }'
      awk -F'\t' 'NR > 1 {
        renderer = $3
        sub(/^auto/, "SDL picks", renderer)
        sub(/^software,SDL_FRAMEBUFFER_ACCELERATION=0/, "software, straight to X", renderer)
        printf "| %s | %s |", $1, renderer
        for (i = 4; i <= NF; i++) printf " %s |", $i
        printf "\n"
      }' "$profiles"
      echo
    fi
    local bench_when bench_reps bench_load
    bench_when="$(awk -F'\t' '$1 == "measured" {print $2}' "$bench_run")"
    bench_reps="$(awk -F'\t' '$1 == "repetitions" {print $2}' "$bench_run")"
    bench_load="$(awk -F'\t' '$1 == "load average before / after" {print $2}' "$bench_run")"
    echo "quenzel_bench (\`bench/quenzel_bench.cpp\`), measured $bench_when, load average before / after $bench_load:"
    echo "one frame of the scene drawn in-process on SDL's software renderer onto a surface, no window and no X server,"
    echo "beside its parts; fastest of $bench_reps repetitions in CPU time, the repetitions of all rows interleaved in random order."
    echo "*Rest* is \`Frame\` less \`NoiseOnly\` and \`SdlCalls\`: what the scene's own arithmetic costs."
    echo
    echo "| window | whole scene, \`Frame\` (ms) | noise only, \`NoiseOnly\` (ms) | SDL calls only, \`SdlCalls\` (ms) | rest (ms) | \`Trig\`, if called per pixel (ms) | per pixel: frame / noise / SDL (ns) |"
    echo "|---|--:|--:|--:|--:|--:|--:|"
    sort -t"$(printf '\t')" -k2,2n -k3,3n "$floor" | awk -F'\t' '{ key = $2 " × " $3; t[key, $1] = $4; px[key] = $2 * $3; if (!seen[key]++) order[n++] = key }
      END { for (i = 0; i < n; i++) { k = order[i]
        printf "| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %.0f / %.0f / %.0f |\n", k, t[k, "Frame"], t[k, "NoiseOnly"],
               t[k, "SdlCalls"], t[k, "Frame"] - t[k, "NoiseOnly"] - t[k, "SdlCalls"], t[k, "Trig"],
               t[k, "Frame"] * 1e6 / px[k], t[k, "NoiseOnly"] * 1e6 / px[k], t[k, "SdlCalls"] * 1e6 / px[k] } }'
  } >"$table"

  # Replace what lies between the two markers; the rest of the document stays.
  local begin='<!-- frame-times:begin -->' end='<!-- frame-times:end -->'
  if ! grep -qxF "$begin" "$doc" 2>/dev/null || ! grep -qxF "$end" "$doc"; then
    echo "frame_times: $doc has no $begin ... $end section; the tables are in $table" >&2
    exit 1
  fi
  awk -v begin="$begin" -v end="$end" -v table="$table" '
    $0 == begin { print; while ((getline line < table) > 0) print line; skipping = 1; next }
    $0 == end { skipping = 0 }
    !skipping { print }
  ' "$doc" >"$doc.new"
  mv "$doc.new" "$doc"
  rm -f "$table"
  echo "frame_times: updated $doc, $plot and $data/"
}

if $bench_only; then
  configure -DFLAGBLOCKS_BUILD_BENCHMARKS=ON
  cmake --build "$build" -j"$(nproc)" --target quenzel_bench >/dev/null
  mkdir -p "$data"
  measure_bench
elif ! $report_only; then
  measure
fi
report
