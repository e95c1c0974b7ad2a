#!/usr/bin/env bash
# Cross-builds the Windows programs (static, with Debian's mingw-w64), runs the
# unit tests built for Windows under Wine, in a fresh prefix on a virtual
# screen, checks that vexil.exe decodes the conformance vectors to the bytes
# the Linux tool writes, and then plays movies with VexilPlay.exe there
# (scripts/wine-playback.sh).
#   scripts/windows.sh
# It tests the 32-bit programs (i686) when this machine can run 32-bit
# programs, else the 64-bit ones (x86_64), and then still builds the 32-bit
# programs, so that they keep compiling.
# Environment: VEXIL_WINDOWS_ARCH (i686 or x86_64) tests that architecture;
# BUILD the build folder of the tested one (default build-win32 or
# build-win64), TEST_TIMEOUT per test program in seconds (default 600),
# VEXIL_TOOL the Linux tool to compare with (default build/tools/vexil, built
# there when it is missing).
# Skips (exit 0) only when this system's package sources do not offer the
# packages at all; any other failure fails.
set -euo pipefail
cd "$(dirname "$0")/.."
TEST_TIMEOUT=${TEST_TIMEOUT:-600}
TEST_PROGRAMS=(platform engine video audio display encoder player tools)
ARCH=${VEXIL_WINDOWS_ARCH:-}
case "$ARCH" in
  "" | i686 | x86_64) ;;
  *) echo "windows: VEXIL_WINDOWS_ARCH is i686 or x86_64, not \"$ARCH\"" >&2; exit 2 ;;
esac

# install_for ARCH: installs the cross compilers and the Wine for ARCH; returns 3
# when the package sources do not offer them (after saying which are missing).
install_for() {
  local packages=(g++-mingw-w64-i686-posix xvfb xdotool imagemagick perl) unavailable=() p candidate
  case "$1" in
    i686) packages+=(wine wine32:i386) ;;
    x86_64) packages+=(g++-mingw-w64-x86-64-posix wine64) ;;
  esac
  ./scripts/install-deps.sh --windows "$1" && return 0
  if command -v apt-cache >/dev/null; then
    for p in "${packages[@]}"; do
      candidate=$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ {print $2}')
      if [ -z "$candidate" ] || [ "$candidate" = "(none)" ]; then unavailable+=("$p"); fi
    done
  else
    unavailable=("${packages[@]}")
  fi
  if [ ${#unavailable[@]} -gt 0 ]; then
    echo "windows: the package sources offer no ${unavailable[*]}"
    return 3
  fi
  echo "windows: installing the cross compiler and Wine failed" >&2
  exit 1
}
skip() {
  echo "windows: SKIPPED: the packages for $1 Windows programs are not available"
  exit 0
}

# Debian's `wine` starts the 32-bit loader whenever it is installed; it runs
# 64-bit programs through it, and nothing at all where the system cannot
# execute 32-bit programs.
WINE32=/usr/lib/wine/wine
if [ -z "$ARCH" ]; then
  status=0
  install_for i686 || status=$?
  if [ "$status" = 0 ]; then "$WINE32" --version >/dev/null 2>&1 || status=$?; fi
  if [ "$status" = 0 ]; then
    ARCH=i686
  else
    if [ "$status" != 3 ]; then
      echo "windows: x86_64, since this machine cannot run 32-bit programs" \
        "(the 32-bit Wine loader's --version exits with $status)"
    fi
    ARCH=x86_64
    install_for x86_64 || skip "32-bit and 64-bit"
  fi
else
  install_for "$ARCH" || skip "$ARCH"
fi
if [ "$ARCH" = i686 ]; then
  BUILD=${BUILD:-build-win32}
  export WINEARCH=win32 VEXIL_WINE=wine
else
  BUILD=${BUILD:-build-win64}
  export WINEARCH=win64 VEXIL_WINE=/usr/lib/wine/wine64
  [ -x "$VEXIL_WINE" ] || VEXIL_WINE=$(command -v wine64 || command -v wine)
  export WINELOADER=$VEXIL_WINE
fi
echo "windows: $ARCH programs in $BUILD, under $("$VEXIL_WINE" --version)"

# --- cross build: the two programs and the test programs, nothing else ---
# configure FOLDER ARCH: a build folder for ARCH, warnings as errors.
configure() {
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$1" -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$2.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVEXIL_BUILD_BENCH=OFF -DVEXIL_WERROR=ON "${launcher[@]}" >/dev/null
}
configure "$BUILD" "$ARCH"
targets=(vexilplay vexiltool vexil_shared)
for t in "${TEST_PROGRAMS[@]}"; do targets+=("${t}_tests"); done
cmake --build "$BUILD" -j"$(nproc)" --target "${targets[@]}"
if [ "$ARCH" = x86_64 ]; then
  # The 32-bit programs still compile (only they: nothing runs them here).
  configure build-win32 i686
  cmake --build build-win32 -j"$(nproc)" --target vexilplay vexiltool
fi

# Only the system's DLLs: the run-times are linked in.
for exe in "$BUILD/player/VexilPlay.exe" "$BUILD/tools/vexil.exe"; do
  dlls=$("$ARCH-w64-mingw32-objdump" -p "$exe" | awk '/DLL Name:/ {print $3}' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  echo "$(basename "$exe"): $dlls"
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | winmm.dll | msvcrt.dll | shell32.dll) ;;
      *) echo "windows: $exe needs $dll, which Windows does not provide" >&2; exit 1 ;;
    esac
  done
done

# --- Wine: a fresh prefix on a screen of its own, no add-on installers ---
export WINEPREFIX="$PWD/$BUILD/wine-prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
rm -rf "$WINEPREFIX"
"$VEXIL_WINE" wineboot --init >/dev/null 2>&1
wineserver -w

# The tests find the vectors and the programs by absolute POSIX paths, which
# Wine resolves on the drive of the current folder: run from a POSIX folder.
# They use the headless devices, as on Linux, except where a test of the
# Win32 back end asks for it.
root=$PWD
export VEXIL_PLATFORM=headless
cd "$BUILD"
# run_tests NAME: runs tests/NAME_tests.exe into its log, its exit status
# into a file beside it.
run_tests() {
  local status=0
  timeout "$TEST_TIMEOUT" "$VEXIL_WINE" "tests/$1_tests.exe" --gtest_brief=1 \
    >"tests/$1_tests.wine.log" 2>&1 || status=$?
  echo "$status" >"tests/$1_tests.wine.status"
}
# As many programs at once as there are processors (the screen server is a job
# of this shell too); the reports follow in order.
pids=()
for t in "${TEST_PROGRAMS[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(($(nproc) + 1))" ]; do wait -n || true; done
  run_tests "$t" &
  pids+=($!)
done
wait "${pids[@]}"
passed=0 failed=0 skipped=0 broken=()
for t in "${TEST_PROGRAMS[@]}"; do
  log="tests/${t}_tests.wine.log"
  status=$(cat "tests/${t}_tests.wine.status")
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log" | tail -1)
  ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
  skip=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?[.,].*/\1/p' "$log" | tail -1)
  bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$log" | tail -1)
  echo "${t}_tests.exe: ${ran:-?} ran, ${ok:-0} passed, ${bad:-0} failed, ${skip:-0} skipped (exit $status)"
  grep -E '^\[  (SKIPPED|FAILED)  ?\] [A-Za-z]' "$log" | sort -u | sed 's/^/    /' || true
  passed=$((passed + ${ok:-0}))
  skipped=$((skipped + ${skip:-0}))
  failed=$((failed + ${bad:-0}))
  if [ "$status" != 0 ] || [ -z "$ran" ]; then
    broken+=("${t}_tests")
    [ -n "$ran" ] || { echo "    (no summary; the end of its output:)"; tail -20 "$log" | sed 's/^/    /'; }
  fi
done
echo "windows tests under Wine: $passed passed, $failed failed, $skipped skipped"
if [ ${#broken[@]} -gt 0 ]; then
  echo "windows: failing test programs: ${broken[*]} (logs: $BUILD/tests/*.wine.log)" >&2
  exit 1
fi

# --- vexil.exe writes the bytes the Linux tool writes ---
# Both builds compute their floats in SSE2 registers (rounded to float at
# every step), so every sound track and every picture decodes alike.
cd "$root"
linux_tool=${VEXIL_TOOL:-$root/build/tools/vexil}
if [ ! -x "$linux_tool" ]; then
  ./scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXIL_BUILD_BENCH=OFF >/dev/null
  cmake --build build -j"$(nproc)" --target vexiltool
  linux_tool=$root/build/tools/vexil
fi
compare=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb_pid 2>/dev/null || true; rm -rf "$compare"' EXIT
files=0 differing=()
# decode_both MOVIE OPTIONS...: decodes with both tools; "@" in an option
# stands for the folder of that tool's output files, which must be equal.
decode_both() {
  local movie=$1 side f status count
  shift
  for side in linux windows; do
    rm -rf "${compare:?}/$side"
    mkdir "$compare/$side"
    status=0
    if [ "$side" = linux ]; then
      "$linux_tool" decode "$movie" "${@//@/$compare/$side/}" --quiet 2>"$compare/$side.err" || status=$?
    else
      "$VEXIL_WINE" "$BUILD/tools/vexil.exe" decode "$movie" "${@//@/$compare/$side/}" --quiet \
        2>"$compare/$side.err" || status=$?
    fi
    if [ "$status" != 0 ]; then
      differing+=("${movie##*/} $*: the $side tool failed (exit $status): $(head -c 200 "$compare/$side.err")")
      return
    fi
  done
  for f in "$compare"/linux/*; do
    files=$((files + 1))
    if ! cmp -s "$f" "$compare/windows/${f##*/}"; then
      count=$( (cmp -l "$f" "$compare/windows/${f##*/}" 2>&1 || true) | wc -l)
      differing+=("${movie##*/} ${f##*/}: $count bytes differ")
    fi
  done
}
for wav in tests/vectors/audio/*.track*.wav; do
  id=${wav##*.track}
  id=${id%.wav}
  decode_both "$root/${wav%%.track*}.vxl" --wav @track$id.wav --track "$id"
done
# Pictures (alpha and a large movie) and the sound of movies with pictures.
decode_both "$root/tests/vectors/video/movie_001.vxl" --y4m @picture.y4m --alpha @alpha.y4m
decode_both "$root/tests/vectors/video/movie_003.vxl" --y4m @picture.y4m --wav @track3.wav --track 3
decode_both "$root/tests/vectors/video/movie_008.vxl" --wav @track6.wav --track 6
decode_both "$root/tests/vectors/video/movie_019.vxl" --y4m @picture.y4m
echo "vexil.exe against $linux_tool: $files files compared, ${#differing[@]} differ"
if [ ${#differing[@]} -gt 0 ]; then
  printf '    %s\n' "${differing[@]}"
  echo "windows: vexil.exe decodes other bytes than the Linux tool" >&2
  exit 1
fi

# --- the library as a DLL: its exports, and the C example built against it ---
./scripts/check-exports.sh "$BUILD/lib/vexil.dll"
"$ARCH-w64-mingw32-gcc" -std=c99 -O2 -Wall -Werror -Iinclude -I"$BUILD/include" \
  examples/decode_to_y4m.c -L"$BUILD/lib" -lvexil -o "$compare/decode_to_y4m.exe"
cp "$BUILD/lib/vexil.dll" "$compare/"
examples=0 example_failures=()
for movie in "$root"/tests/vectors/video/*.vxl; do
  want=${movie%.vxl}.y4m
  [ -f "$want" ] || continue
  examples=$((examples + 1))
  status=0
  "$VEXIL_WINE" "$compare/decode_to_y4m.exe" "$movie" "$compare/example.y4m" \
    2>"$compare/example.err" || status=$?
  if [ "$status" != 0 ]; then
    example_failures+=("${movie##*/}: exit $status: $(head -c 200 "$compare/example.err")")
  elif ! cmp -s "$want" "$compare/example.y4m"; then
    example_failures+=("${movie##*/}: other bytes than ${want##*/}")
  fi
done
echo "decode_to_y4m.exe with vexil.dll: $examples movies, ${#example_failures[@]} differ"
if [ ${#example_failures[@]} -gt 0 ]; then
  printf '    %s\n' "${example_failures[@]}"
  echo "windows: the example built against vexil.dll does not write the vectors' pictures" >&2
  exit 1
fi

# --- the player itself, on the screen ---
unset VEXIL_PLATFORM
./scripts/wine-playback.sh "$BUILD"
