#!/usr/bin/env bash
# Installs libvexil into a scratch prefix and builds the examples against
# that installation only: once with pkg-config, once through find_package
# (and once more linking the static library). Then runs them:
#  - decode_to_y4m on every video conformance vector, compared with the
#    vector's .y4m (what `vexil decode --y4m` must write);
#  - sdl_player headless (SDL's dummy video and disk audio) on a short movie
#    with sound; it must end by itself;
#  - game_loop on a movie for two seconds of game time.
#   scripts/check-examples.sh PREFIX     (PREFIX is emptied first)
# Environment: BUILD (default build), CC (default cc).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# = 1 ] || { echo "usage: scripts/check-examples.sh PREFIX" >&2; exit 2; }
prefix=$(realpath -m "$1")
build=${BUILD:-build}
cc=${CC:-cc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target vexil_shared vexil_static
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name vexil.pc | head -1)
[ -n "$pc" ] || { echo "check-examples: no vexil.pc was installed" >&2; exit 1; }
export PKG_CONFIG_PATH="$(dirname "$pc")"
libdir=$(pkg-config --variable=libdir vexil)
echo "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"

# --- pkg-config: one command line each ---
mkdir -p "$work/pc"
flags=(-std=c99 -Wall -Wextra -Werror -O2)
for example in decode_to_y4m game_loop; do
  # shellcheck disable=SC2046
  "$cc" "${flags[@]}" "examples/$example.c" -o "$work/pc/$example" $(pkg-config --cflags --libs vexil)
done
have_sdl=0
if pkg-config --exists sdl2; then
  have_sdl=1
  # shellcheck disable=SC2046
  "$cc" "${flags[@]}" examples/sdl_player.c -o "$work/pc/sdl_player" \
    $(pkg-config --cflags --libs vexil sdl2)
fi

# --- find_package(Vexil): shared, then static ---
for kind in shared static; do
  static=OFF
  [ $kind = static ] && static=ON
  cmake -S examples -B "$work/$kind" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DVEXIL_EXAMPLES_STATIC=$static >/dev/null
  cmake --build "$work/$kind" >/dev/null
done
if ldd "$work/static/decode_to_y4m" | grep -q libvexil; then
  echo "check-examples: the static build still loads libvexil" >&2
  exit 1
fi

# --- decode_to_y4m on every vector, each build ---
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
count=0
for movie in tests/vectors/video/*.vxl; do
  for exe in "$work/pc/decode_to_y4m" "$work/shared/decode_to_y4m" "$work/static/decode_to_y4m"; do
    "$exe" "$movie" "$work/out.y4m"
    cmp "$work/out.y4m" "${movie%.vxl}.y4m"
  done
  count=$((count + 1))
done
echo "decode_to_y4m: $count vectors decoded as vexil decode --y4m decodes them, by each build"

# --- the player, headless; it must end by itself ---
if [ $have_sdl = 1 ]; then
  for exe in "$work/pc/sdl_player" "$work/shared/sdl_player"; do
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
      timeout 60 "$exe" tests/vectors/video/movie_003.vxl 3
  done
  echo "sdl_player: played a movie with sound to its end, headless"
else
  echo "sdl_player: SKIPPED: no SDL2 development files (pkg-config sdl2)"
fi

# --- the game loop ---
timeout 60 "$work/shared/game_loop" tests/vectors/video/movie_015.vxl 2
timeout 60 "$work/pc/game_loop" tests/vectors/audio/a5.vxl 1
echo "check-examples: all examples built against $prefix and ran"
