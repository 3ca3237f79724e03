#!/usr/bin/env bash
# Measures the three programs in a private X server and quenzel's scene
# in-process, and writes every figure into docs/data/performance.tsv and the
# plot docs/images/quenzel-frame-time.png. docs/performance.md says what it
# measures and which packages it needs beyond scripts/setup.sh.
#
#   bench/frame_times.sh             about 8 minutes on two cores
#   RUN_SECONDS=2 bench/frame_times.sh   a quick trial of the tooling
#
# Each whole-program run is timed for RUN_SECONDS (default 10; quenzel, whose
# frames are slow, three times as long).
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
needs stdbuf datamash jq gnuplot glxinfo
in_private_x quenzel_bench

run_seconds="${RUN_SECONDS:-10}"
data=docs/data/performance.tsv
rows="$tmp/rows"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

# measure PROGRAM RENDERER [WIDTH HEIGHT]: one row of $rows from the
# program's own status lines: the frames that began after its first frame
# (or after the resize) within the timed span; each line's delta is the
# length of the frame before it, so the first two lines are left out.
measure() {
  local program="$1" renderer="$2" seconds="$run_seconds" from to peak_kib width height stats
  shift 2
  [ "$program" = quenzel ] && seconds=$((3 * run_seconds))
  case "$renderer" in
    auto) launch "$program" ;;
    software) launch "$program" env SDL_RENDER_DRIVER=software ;;
    software-x) launch "$program" env SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 ;;
  esac
  [ $# -eq 2 ] && resize "$1" "$2"
  from="$(frames)"
  sleep "$seconds"
  await_frames $((from + 7))  # at least five timed frames, however slow
  to="$(frames)"
  peak_kib="$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")"
  read -r width height < <(size)
  echo "== $program $width x $height $renderer: $((to - from - 1)) frames"
  stats="$(tr '\r' '\n' <"$status" | grep delta | sed -n "$((from + 2)),${to}p" |
    awk '{print $2 * 1000}' | datamash count 1 perc:10 1 median 1 perc:90 1 |
    awk '{printf "%d\t%.3f\t%.3f\t%.3f", $1, $2, $3, $4}')"
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$program" "$width" "$height" "$renderer" "$stats" \
    "$((peak_kib / 1024))" >>"$rows"
  finish
}

# A first launch reads the libraries from disk, so no timed run pays for it.
launch dravin
finish

for program in dravin mobrix quenzel; do
  for renderer in auto software software-x; do
    measure "$program" "$renderer"
    [ "$program" = quenzel ] && measure "$program" "$renderer" 1000 600
    measure "$program" "$renderer" 1920 1080
  done
done

# The scene in-process: ten repetitions of each benchmark, interleaved in
# random order so a burst of other work slows one repetition of several
# rows rather than every repetition of one. CPU time, in milliseconds.
json="$tmp/quenzel_bench.json"
"$build/bin/quenzel_bench" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
  --benchmark_display_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json
jq -r '.benchmarks[] | select(.run_type == "iteration") | [.run_name, .cpu_time] | @tsv' "$json" |
  tr '/' '\t' | datamash -s -g 1,2,3 count 4 perc:10 4 median 4 perc:90 4 | sort -k1,1 -k2,2n |
  awk '{printf "quenzel\t%s\t%s\tbench %s\t%d\t%.3f\t%.3f\t%.3f\t-\n", $2, $3, $1, $4, $5, $6, $7}' >>"$rows"

version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "?"; }
cpu="$(lscpu | sed -n 's/^Model name: *//p')"
vm="$(lscpu | sed -n 's/^Hypervisor vendor: *//p')"
gl="$(glxinfo -B | sed -n 's/^ *OpenGL renderer string: //p')"
{
  echo "# measured $(date -u '+%Y-%m-%d %H:%M UTC'), runs of $run_seconds s (quenzel $((3 * run_seconds)) s);" \
    "load average (1, 5, 15 min) before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "# $cpu, $(nproc) cores, $(awk '/^MemTotal:/ {printf "%.0f", $2 / 2^20}' /proc/meminfo) GiB," \
    "${vm:+virtual machine under $vm, }$(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
  echo "# SDL $(version libsdl2-2.0-0); OpenGL: $gl, Mesa $(version libgl1-mesa-dri); Xvfb $(version xvfb)," \
    "no window manager; libnoise $(version libnoise0); GCC $(gcc -dumpfullversion), RelWithDebInfo"
  printf 'program\twidth\theight\trenderer\tframes\tp10_ms\tmedian_ms\tp90_ms\tpeak_mib\n'
  cat "$rows"
} >"$data"
gnuplot bench/quenzel-frame-time.gp
echo "wrote $data and docs/images/quenzel-frame-time.png"

# For the first lines of docs/performance.md: each program at its opening size.
awk -F'\t' '/^[a-z]/ && $4 ~ /^(auto|software|software-x)$/ && !seen[$1, $4]++ {
  printf "%s at %s x %s, %s: %.*f frames/s (%.3g ms)\n", $1, $2, $3, $4, ($7 > 100), 1000 / $7, $7 }' "$data"
