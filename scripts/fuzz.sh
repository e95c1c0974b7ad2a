#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]   (default 60, every target)
# Fails on any crash, leak, time-out or sanitizer report. New corpus entries
# stay in build-fuzz/corpus/<target>, crashing inputs in build-fuzz/artifacts/;
# inputs that once crashed live in fuzz/regressions/<target> and are run first.
# FUZZ_FLAGS adds libFuzzer options (e.g. "-runs=1000000" for a longer run).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD=build-fuzz
VECTORS=tests/vectors
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXIL_BUILD_FUZZ=ON -DVEXIL_SANITIZE=address,undefined \
  -DVEXIL_BUILD_TESTS=OFF -DVEXIL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for target in "$BUILD"/fuzz/fuzz_*; do
    [ -x "$target" ] && targets+=("$(basename "$target")")
  done
fi

mkdir -p "$BUILD/artifacts"
for name in "${targets[@]}"; do
  target="$BUILD/fuzz/$name"
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  # Longest input per target: whole small movies for the open target, a
  # plane or a few audio blocks for the decoders, a command line's length.
  max_len=16384
  case "$name" in
    fuzz_open)
      max_len=100000
      [ -d "$VECTORS" ] && seeds+=("$VECTORS/video" "$VECTORS/audio")
      ;;
    fuzz_command_line) max_len=2048 ;;
  esac
  # Inputs that once crashed must keep passing.
  if [ -d "fuzz/regressions/$name" ]; then
    "$target" -rss_limit_mb=2048 fuzz/regressions/"$name"/* >"$BUILD/artifacts/$name.regressions.log" 2>&1 ||
      { tail -40 "$BUILD/artifacts/$name.regressions.log"; echo "regression input fails: $name"; exit 1; }
  fi
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "== $name for ${SECONDS_PER_TARGET}s"
  log="$BUILD/artifacts/$name.log"
  status=0
  # shellcheck disable=SC2086 # FUZZ_FLAGS is a list of options
  "$target" "$corpus" "${seeds[@]}" "${dict[@]}" -max_total_time="$SECONDS_PER_TARGET" \
    -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$BUILD/artifacts/$name-" ${FUZZ_FLAGS:-} >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -60 "$log"
    echo "$name failed (exit $status); the input is in $BUILD/artifacts/"
    exit 1
  fi
  grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)" "$log" | sed 's/^/   /' || true
  grep -E "stat::number_of_executed_units" "$log" | sed 's/^/   /' || true
done
