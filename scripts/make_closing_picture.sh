#!/usr/bin/env bash
# Makes player/closing_picture.cpp, the player's built-in closing picture: a
# one-frame 224 x 252 movie at 10 frames per second without sound, drawn by
# `vexil synth closing` and coded by `vexil encode`, kept as a constant array
# followed by the 1 KiB of zero bytes that movies read from memory carry.
#
# usage: scripts/make_closing_picture.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
vexil="$build/tools/vexil"
if [ ! -x "$vexil" ]; then
  cmake --build "$build" -j"$(nproc)" --target vexiltool
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$vexil" synth closing --y4m "$work/closing.y4m"
"$vexil" encode "$work/closing.y4m" -o "$work/closing.vxl" --quality 92 --quiet >/dev/null
size=$(wc -c <"$work/closing.vxl")
head -c 1024 /dev/zero >>"$work/closing.vxl"

out=player/closing_picture.cpp
{
  echo "// Made by scripts/make_closing_picture.sh; run it again rather than editing this file."
  echo "#include \"player/closing_picture.h\""
  echo
  echo "namespace vexil {"
  echo
  echo "const size_t kClosingPictureSize = $size;"
  echo
  echo "alignas(32) const unsigned char kClosingPicture[$((size + 1024))] = {"
  od -An -v -tx1 "$work/closing.vxl" |
    awk '{ line = " "; for (i = 1; i <= NF; ++i) line = line " 0x" $i ","; print line }'
  echo "};"
  echo
  echo "}  // namespace vexil"
} >"$out"
echo "wrote $out ($size bytes of movie)"
