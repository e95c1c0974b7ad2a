#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
mkdir -p out
build/tools/vexil sample out/sample.vxl
build/tools/vexil info out/sample.vxl
