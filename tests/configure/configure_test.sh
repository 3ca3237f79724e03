#!/usr/bin/env bash
# configure_test.sh SOURCE_DIR CMAKE
#
# Configures the project in scratch build directories:
# - with one optional part's package hidden (CMAKE_DISABLE_FIND_PACKAGE_<name>):
#   by default the part is left out with one line naming the Debian package,
#   and asked for with ON, configuring fails and names the package;
# - inside a parent project, through add_subdirectory(): our targets get our
#   warnings and sanitizer flags, the parent's targets none of them;
# - with only an SDL older than the build accepts: it stops in one line;
# - with the tests: their time limits stretched by the measured or given scale.
set -euo pipefail

source_dir="$1"
cmake="$2"
scratch="$(mktemp -d /tmp/optional-parts-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

configure() {  # name, then cmake options; output in $scratch/name.out
  local name="$1"
  shift
  timeout 60 "$cmake" -S "$source_dir" -B "$scratch/$name" "$@" >"$scratch/$name.out" 2>&1
}

# Missing benchmark library, default switch: the programs configure, the
# part is left out in exactly one line.
if ! configure auto -DFLAGBLOCKS_BUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE; then
  fail "AUTO with the benchmark library hidden did not configure"; cat "$scratch/auto.out" >&2
fi
lines="$(grep -c 'benchmarks left out' "$scratch/auto.out" || true)"
grep -q '^-- flagblocks: benchmarks left out, missing Google Benchmark (libbenchmark-dev)$' "$scratch/auto.out" &&
  [ "$lines" = 1 ] || { fail "AUTO: expected one line naming libbenchmark-dev, got:"; cat "$scratch/auto.out" >&2; }

# The same part asked for with ON, and the tests asked for without
# GoogleTest: configuring stops and names the package.
check_on() {  # name, package, then cmake options
  local name="$1" package="$2"
  shift 2
  if configure "$name" "$@"; then
    fail "$name: configured although $package was hidden"
  elif ! tr -s ' \n' '  ' <"$scratch/$name.out" | grep -q "asked for .*($package)"; then  # CMake wraps errors
    fail "$name: the failure does not name $package:"; cat "$scratch/$name.out" >&2
  fi
}
check_on benchmarks-on libbenchmark-dev -DFLAGBLOCKS_BUILD_TESTING=OFF \
  -DFLAGBLOCKS_BUILD_BENCHMARKS=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE
check_on tests-on libgtest-dev -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF \
  -DFLAGBLOCKS_BUILD_TESTING=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE

# An SDL whose version file, of the kind SDL ships, says 2.0.20, and the
# system's SDL hidden: configuring stops, naming the version, in one line.
old_sdl="$scratch/old-sdl/lib/cmake/SDL2"
mkdir -p "$old_sdl"
echo 'add_library(SDL2::SDL2 INTERFACE IMPORTED)' >"$old_sdl/sdl2-config.cmake"
printf '%s\n' 'set(PACKAGE_VERSION "2.0.20")' 'if(NOT PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)' \
  'set(PACKAGE_VERSION_COMPATIBLE TRUE)' 'endif()' >"$old_sdl/sdl2-config-version.cmake"
if configure old-sdl -DFLAGBLOCKS_BUILD_TESTING=OFF -DCMAKE_PREFIX_PATH="$scratch/old-sdl" "-DCMAKE_IGNORE_PREFIX_PATH=/usr;/"; then
  fail "configured with SDL 2.0.20"
elif ! grep -qx '  flagblocks needs SDL [0-9.]* or newer (libsdl2-dev); found: 2\.0\.20' "$scratch/old-sdl.out"; then
  fail "SDL 2.0.20: no one line naming it:"; cat "$scratch/old-sdl.out" >&2
fi

# A parent project with a target before and one after ours; the one after
# links our frame clock, so it would inherit anything the library passes on.
# The sanitizer build is asked for, as it adds the most flags. The Makefile
# generator writes each target's flags to its flags.make.
parent="$scratch/parent"
mkdir -p "$parent"
echo 'int main() { return 0; }' >"$parent/main.cpp"
cat >"$parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(parent LANGUAGES CXX)
add_executable(before main.cpp)
add_subdirectory("$source_dir" flagblocks)
add_executable(after main.cpp)
target_link_libraries(after PRIVATE frame_clock)
CMAKE
if ! timeout 60 "$cmake" -G "Unix Makefiles" -S "$parent" -B "$parent/build" \
    -DFLAGBLOCKS_ENABLE_SANITIZERS=ON >"$scratch/parent.out" 2>&1; then
  fail "the parent project did not configure:"; cat "$scratch/parent.out" >&2
fi
flags() {  # the compile flags of a target, by its directory in the build tree
  grep -h '^CXX_FLAGS' "$parent/build/$1/CMakeFiles/$2.dir/flags.make" 2>/dev/null || echo "(no flags.make)"
}
ours="$(flags flagblocks/dravin dravin)"
case "$ours" in
  *-Wall*-fsanitize=address*) ;;
  *) fail "dravin is not compiled with our warnings and sanitizers: $ours" ;;
esac
# Flags from the environment (CXXFLAGS, as a package build exports them)
# reach every target; none of the others may be ours.
words() { tr -s ' ' '\n' | LC_ALL=C sort -u; }
for target in before after; do
  theirs="$(flags . "$target")"
  extra="$(LC_ALL=C comm -13 <(words <<<"${CXXFLAGS:-}") <(words <<<"$theirs"))"
  if [ "$theirs" = "(no flags.make)" ] || grep -qE -- '^-(W|fsanitize|fno-sanitize)' <<<"$extra"; then
    fail "the parent's target $target: $theirs"
  fi
done
grep -q -- 'flagblocks: tests left out' "$scratch/parent.out" ||
  fail "inside a parent project the tests are not left out by default"

# The tests' time limits: stretched by the scale measured for this machine,
# which configuring prints, or by the one given in FLAGBLOCKS_TEST_TIME_SCALE.
limit() {  # a build directory's time limit for mobrix_e2e, whose own is 240 s
  sed -n 's/^set_tests_properties(\[=\[mobrix_e2e\]=\] .*TIMEOUT "\([0-9]*\)".*/\1/p' "$scratch/$1/tests/mobrix/CTestTestfile.cmake"
}
configure measured -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF || fail "the tests did not configure"
scale="$(sed -n 's/^-- flagblocks: test time scale \([0-9]*\) (arithmetic took .*/\1/p' "$scratch/measured.out")"
[ -n "$scale" ] && [ "$(limit measured)" = $((240 * scale)) ] ||
  fail "measured time scale '$scale': mobrix_e2e's limit is $(limit measured) s, want 240 times it"
FLAGBLOCKS_TEST_TIME_SCALE=3 configure given -DFLAGBLOCKS_BUILD_TESTING=ON -DFLAGBLOCKS_BUILD_BENCHMARKS=OFF ||
  fail "the tests did not configure with a time scale given"
[ "$(limit given)" = 720 ] && ! grep -q 'test time scale' "$scratch/given.out" ||
  fail "FLAGBLOCKS_TEST_TIME_SCALE=3: mobrix_e2e's limit is $(limit given) s, want 720, unmeasured"

[ "$failures" -eq 0 ] && echo "configure: all checks passed"
exit $((failures > 0))
