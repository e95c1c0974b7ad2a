#!/usr/bin/env bash
# Cross-builds the Windows programs (32-bit, static, with Debian's mingw-w64),
# runs the unit tests built for Windows under Wine, in a fresh 32-bit prefix
# on a virtual screen, checks that vexil.exe decodes the conformance vectors
# to the bytes the Linux tool writes, and then plays movies with VexilPlay.exe
# there (scripts/wine-playback.sh).
#   scripts/windows.sh
# Environment: BUILD (default build-win32), TEST_TIMEOUT per test program in
# seconds (default 600), VEXIL_TOOL the Linux tool to compare with (default
# build/tools/vexil, built there when it is missing).
# Skips (exit 0) only when this system's package sources do not offer the
# packages at all; any other failure fails.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-win32}
TEST_TIMEOUT=${TEST_TIMEOUT:-600}
PACKAGES=(g++-mingw-w64-i686-posix wine wine32:i386 xvfb xdotool imagemagick perl)
TEST_PROGRAMS=(platform engine video audio display encoder player tools)

if ! ./scripts/install-deps.sh --windows; then
  unavailable=()
  if command -v apt-cache >/dev/null; then
    for p in "${PACKAGES[@]}"; do
      candidate=$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ {print $2}')
      if [ -z "$candidate" ] || [ "$candidate" = "(none)" ]; then unavailable+=("$p"); fi
    done
  else
    unavailable=("${PACKAGES[@]}")
  fi
  if [ ${#unavailable[@]} -gt 0 ]; then
    echo "windows: SKIPPED: the package sources offer no ${unavailable[*]}"
    exit 0
  fi
  echo "windows: installing the cross compiler and Wine failed" >&2
  exit 1
fi

# --- cross build: the two programs and the test programs, nothing else ---
cmake -S . -B "$BUILD" -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVEXIL_BUILD_BENCH=OFF >/dev/null
targets=(vexilplay vexiltool)
for t in "${TEST_PROGRAMS[@]}"; do targets+=("${t}_tests"); done
cmake --build "$BUILD" -j"$(nproc)" --target "${targets[@]}"

# Only the system's DLLs: the run-times are linked in.
for exe in "$BUILD/player/VexilPlay.exe" "$BUILD/tools/vexil.exe"; do
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  echo "$(basename "$exe"): $dlls"
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | winmm.dll | msvcrt.dll | shell32.dll) ;;
      *) echo "windows: $exe needs $dll, which Windows does not provide" >&2; exit 1 ;;
    esac
  done
done

# --- Wine: a fresh 32-bit prefix on a screen of its own, no add-on installers ---
export WINEPREFIX="$PWD/$BUILD/wine-prefix" WINEARCH=win32 WINEDEBUG=-all
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
wine wineboot --init >/dev/null 2>&1
wineserver -w

# The tests find the vectors and the programs by absolute POSIX paths, which
# Wine resolves on the drive of the current folder: run from a POSIX folder.
# They use the headless devices, as on Linux, except where a test of the
# Win32 back end asks for it.
root=$PWD
export VEXIL_PLATFORM=headless
cd "$BUILD"
passed=0 failed=0 skipped=0 broken=()
for t in "${TEST_PROGRAMS[@]}"; do
  log="tests/${t}_tests.wine.log"
  status=0
  timeout "$TEST_TIMEOUT" wine "tests/${t}_tests.exe" --gtest_brief=1 >"$log" 2>&1 || status=$?
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
      wine "$BUILD/tools/vexil.exe" decode "$movie" "${@//@/$compare/$side/}" --quiet \
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

# --- the player itself, on the screen ---
unset VEXIL_PLATFORM
./scripts/wine-playback.sh "$BUILD"
