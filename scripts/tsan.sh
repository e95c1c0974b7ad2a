#!/usr/bin/env bash
# Builds the test programs under ThreadSanitizer (clang) and runs the tests
# whose code runs on more than one thread: the decode threads (also whole
# movies decoded on one and two of them), the service threads and the read
# service, the sound tracks and drivers with the sound service, the player
# playing movies on decode threads,
# damaged movies on decode threads, the platform's threads, movies converted
# at once through their own conversion contexts, and the public library's
# movies decoded and converted on several threads at once.
#   scripts/tsan.sh [EXTRA CMAKE OPTIONS]
# Any race or lock-order report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-tsan}
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXIL_SANITIZE=thread -DVEXIL_BUILD_BENCH=OFF "$@" >/dev/null
# The playback tests compare with what `vexil decode` writes.
cmake --build "$BUILD" -j"$(nproc)" --target engine_tests video_tests audio_tests display_tests platform_tests player_tests api_tests vexiltool

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export VEXIL_PLATFORM=headless
run() {
  local program=$1 filter=$2
  echo "== $program $filter"
  "$BUILD/tests/$program" --gtest_filter="$filter" --gtest_brief=1
}
run engine_tests 'Engine.*:ServiceThreads.*:ServiceRound.*:ReadService.*:*/DamagedMovie.*'
run video_tests 'DecodeRing.*:DecodeThreads.*:*/VectorsTest.*/1Threads:*/VectorsTest.*/2Threads'
run audio_tests 'SoundTrackTest.*:DriverTest.*:PlaybackTest.*'
run display_tests 'ConversionThreads.*'
run platform_tests 'SystemThreads.*:SystemTime.*'
run player_tests 'Playback.*:FramesShown.*'
run api/api_tests 'ApiThreads.*:ApiDecode.VectorsInEveryReadingMode:ApiDecode.CodecLayerMatchesTheMovie'
