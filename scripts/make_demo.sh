#!/usr/bin/env bash
# Makes the demo movie: eight seconds of generated pictures (640 x 360, 25
# frames per second: hills, bouncing balls, a title) with generated music
# (44.1 kHz stereo), written by `vexil synth demo` and coded by `vexil encode`.
#
# usage: scripts/make_demo.sh [OUT.vxl] [BUILD_DIR]   (defaults: BUILD_DIR/demo.vxl, build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build}
out=${1:-$build/demo.vxl}
vexil="$build/tools/vexil"
if [ ! -x "$vexil" ]; then
  cmake --build "$build" -j"$(nproc)" --target vexiltool
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$vexil" synth demo --y4m "$work/demo.y4m" --wav "$work/demo.wav"
"$vexil" encode "$work/demo.y4m" --audio "$work/demo.wav" -o "$out"
