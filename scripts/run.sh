#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the player and the tool, makes the
# demo movie with the encoder, embeds it in a copy of the player and plays it:
# in a window with sound where there is a display (and a sound device), else
# headless in real time, with the playback summary on standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target vexilplay vexiltool
mkdir -p out
if [ ! -s out/demo.vxl ]; then
  ./scripts/make_demo.sh out/demo.vxl build
fi
build/tools/vexil embed build/player/vexilplay out/demo.vxl -o out/vexil-demo --switches "/S"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VEXIL_PLATFORM:-}" != headless ]; then
  echo "Playing the demo in a window: space pauses, Enter resumes, Escape ends." >&2
else
  echo "No display: playing the demo headless in real time." >&2
fi
exec out/vexil-demo
