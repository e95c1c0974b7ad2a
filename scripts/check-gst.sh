#!/usr/bin/env bash
# The GStreamer plugin as its users meet it, on top of its own tests:
#  - only the allowed GStreamer packages (scripts/install-deps.sh installs
#    them; the ones that carry other movie formats must be absent);
#  - the plugin's pipeline tests (tests/gst: every conformance vector through
#    the elements in pull mode, from a pipe and through decodebin/playbin,
#    seeking, the discoverer, the encoder element, WebM, damaged movies);
#  - gst-inspect-1.0 lists the plugin cleanly, gst-typefind-1.0 knows every
#    vector, playbin plays a movie with sound through auto-plugging;
#  - the README's recipes, as written there, convert a movie to WebM and make
#    a movie of that WebM file again;
#  - cmake --install puts the plugin in the prefix's GStreamer plugin folder,
#    where GStreamer finds it.
#   scripts/check-gst.sh [BUILD]     (default: build; configured when it is not)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
failed=0
fail() { echo "check-gst: $*" >&2; failed=1; }

./scripts/install-deps.sh
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in gstreamer1.0-libav gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly ffmpeg; do
  if installed "$p"; then fail "$p is installed: the checks must run without it"; fi
done
while read -r p; do
  if installed "$p"; then fail "$p is installed: the checks must run without it"; fi
done < <(dpkg-query -W -f='${Package}\n' 'libavcodec*' 'libavformat*' 'libavfilter*' \
  'libavdevice*' 'libavutil*' 'libavresample*' 2>/dev/null || true)
[ "$failed" = 0 ] || exit 1

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXIL_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD" -j"$(nproc)" --target gstvexil gst_tests vexiltool
plugin="$BUILD/gst/libgstvexil.so"
[ -f "$plugin" ] || { echo "check-gst: $plugin was not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# This build's plugin beside the system's, in a registry of our own.
export GST_PLUGIN_PATH="$PWD/$BUILD/gst" GST_REGISTRY="$work/registry.bin"
vectors=(tests/vectors/video/*.vxl tests/vectors/audio/*.vxl)
movie=tests/vectors/video/movie_003.vxl # 100x80, 9 frames at 25/1, one sound track

echo "--- the plugin's pipeline tests"
"$BUILD/tests/gst/gst_tests" --gtest_brief=1 || fail "tests/gst failed"

echo "--- gst-inspect-1.0"
inspect_out=$(gst-inspect-1.0 vexil 2>"$work/inspect.err") || fail "gst-inspect-1.0 vexil failed"
[ ! -s "$work/inspect.err" ] || fail "gst-inspect-1.0 vexil warned: $(cat "$work/inspect.err")"
for feature in vexildemux vexilvideodec vexilaudiodec vexilenc video/x-vexil; do
  grep -q "$feature" <<<"$inspect_out" || fail "gst-inspect-1.0 vexil does not list $feature"
  if [ "$feature" != video/x-vexil ]; then
    gst-inspect-1.0 "$feature" >/dev/null 2>"$work/inspect.err" || fail "gst-inspect-1.0 $feature failed"
    [ ! -s "$work/inspect.err" ] || fail "gst-inspect-1.0 $feature warned: $(cat "$work/inspect.err")"
  fi
done
if gst-inspect-1.0 -b 2>&1 | grep -q libgstvexil; then fail "GStreamer blacklisted the plugin"; fi
echo "$(grep -c '^ *vexil' <<<"$inspect_out") elements listed, no warnings"

echo "--- gst-typefind-1.0"
for v in "${vectors[@]}"; do
  gst-typefind-1.0 "$v" 2>&1 | grep -q "video/x-vexil" || fail "gst-typefind-1.0 does not know $v"
done
echo "${#vectors[@]} vectors found to be video/x-vexil"

echo "--- playbin through auto-plugging: pictures and sound"
uri="file://$PWD/$movie"
gst-launch-1.0 -q playbin uri="$uri" \
  video-sink="fakesink sync=true name=v signal-handoffs=false" \
  audio-sink="filesink location=$work/played.raw" >/dev/null 2>"$work/play.err" ||
  fail "playbin did not play $movie: $(cat "$work/play.err")"
[ -s "$work/played.raw" ] || fail "playbin gave no sound for $movie"
if command -v gst-play-1.0 >/dev/null; then
  gst-play-1.0 -q --no-interactive --videosink=fakesink --audiosink=fakesink "$movie" >/dev/null ||
    fail "gst-play-1.0 $movie failed"
else
  echo "(no gst-play-1.0, which comes with gstreamer1.0-plugins-base-apps: playbin above is what it runs)"
fi
if command -v gst-discoverer-1.0 >/dev/null; then
  found=$(gst-discoverer-1.0 -v "$movie")
  for want in "Duration: 0:00:00.360" "Width: 100" "Height: 80" "Frame rate: 25/1" "Sample rate: 11025"; do
    grep -q "$want" <<<"$found" || fail "gst-discoverer-1.0 $movie does not say '$want'"
  done
else
  echo "(no gst-discoverer-1.0, which comes with gstreamer1.0-plugins-base-apps: tests/gst checks its library)"
fi

echo "--- the README's recipes"
# The recipes' file names stand for these files.
recipe() {
  local line
  line=$(grep -m1 -F "$1" README.md) || { fail "README.md has no recipe with '$1'"; return 1; }
  line=${line//movie.vxl/$work\/recipe.vxl}
  line=${line//movie.webm/$work\/recipe.webm}
  line=${line//input.webm/$work\/recipe.webm}
  line=${line//made.vxl/$work\/made.vxl}
  echo "$line" | sed "s|$work|...|g"
  bash -c "$line" >"$work/recipe.out" 2>&1 || { fail "the recipe failed: $(cat "$work/recipe.out")"; return 1; }
}
cp "$movie" "$work/recipe.vxl"
# The movie made of the WebM file has its pictures and its sound.
if recipe "location=movie.webm" && recipe "location=made.vxl"; then
  info=$("$BUILD/tools/vexil" info "$work/made.vxl") || fail "vexil info refuses the recipe's movie"
  grep -q "frames: 9" <<<"$info" || fail "the recipe's movie: $info"
  grep -q "tracks: 1" <<<"$info" || fail "the recipe's movie has no sound track: $info"
fi

echo "--- cmake --install"
prefix="$work/prefix"
cmake --install "$BUILD" --prefix "$prefix" >/dev/null
# Where GStreamer looks in a prefix: the system's plugin folder below /usr.
folder=$(pkg-config --variable=pluginsdir gstreamer-1.0)
installed_plugin="$prefix/${folder#/usr/}/libgstvexil.so"
if [ -f "$installed_plugin" ]; then
  echo "installed: ${installed_plugin#"$prefix"/}"
  if readelf -d "$installed_plugin" | grep NEEDED | grep -q libvexil; then
    fail "the installed plugin needs libvexil.so"
  fi
  GST_PLUGIN_PATH="$(dirname "$installed_plugin")" GST_REGISTRY="$work/installed.bin" \
    gst-inspect-1.0 vexildemux >/dev/null 2>&1 || fail "GStreamer does not find the installed plugin"
else
  fail "cmake --install put no plugin at ${installed_plugin#"$prefix"/}"
fi

[ "$failed" = 0 ] && echo "check-gst: all good"
exit "$failed"
