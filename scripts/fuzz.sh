#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
# Fails on any crash, leak or sanitizer report. New corpus entries stay in
# build-fuzz/corpus/<target>; inputs that once crashed live in fuzz/regressions/.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXIL_BUILD_FUZZ=ON -DVEXIL_SANITIZE=address,undefined \
  -DVEXIL_BUILD_TESTS=OFF -DVEXIL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD"
for target in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  case "$name" in
    fuzz_open|fuzz_movie*) [ -d ../shared/vectors ] && seeds+=(../shared/vectors/video ../shared/vectors/audio) ;;
  esac
  # Inputs that once crashed must keep passing.
  if [ -d "fuzz/regressions/$name" ]; then
    "$target" fuzz/regressions/"$name"/* >/dev/null 2>&1 || { echo "regression input fails: $name"; exit 1; }
  fi
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "== $name for ${SECONDS_PER_TARGET}s"
  "$target" "$corpus" "${seeds[@]}" "${dict[@]}" -max_total_time="$SECONDS_PER_TARGET" \
    -max_len=200000 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 2>&1 | tail -12
done
