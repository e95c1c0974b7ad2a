#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need.
#   scripts/install-deps.sh            the Linux build
#   scripts/install-deps.sh --windows [i686|x86_64]
#                                      the Windows cross build and Wine for
#                                      32-bit (the default) or 64-bit programs
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev
  # Anchor libraries the benchmarks compare against (benchmarks only).
  libyuv-dev libfftw3-dev libtheora-dev libogg-dev
  clang libclang-rt-14-dev
  libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core
  xvfb xauth xdotool imagemagick
  groff-base man-db
  # The GStreamer plugin and its checks: exactly these; never the libav,
  # "bad" or "ugly" plugin sets, which carry other movie formats.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)
if [ "${1:-}" = "--windows" ]; then
  # The cross compiler, the GoogleTest sources to build with it, a virtual
  # screen, keys and screenshots for the playback check, and Wine with the
  # OpenGL that its DirectDraw needs for surfaces in video memory. The 32-bit
  # compiler is there for both: the 64-bit stage still builds the 32-bit
  # programs.
  PACKAGES=(cmake ninja-build g++-mingw-w64-i686-posix googletest xvfb xauth xdotool imagemagick perl)
  case "${2:-i686}" in
    i686)
      # 32-bit Wine, which needs the i386 architecture (wine32:i386 is then
      # missing, so the package lists are updated below).
      PACKAGES+=(wine wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386)
      dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
      ;;
    x86_64)
      PACKAGES+=(g++-mingw-w64-x86-64-posix wine wine64 libgl1 libgl1-mesa-dri libglx-mesa0)
      ;;
    *)
      echo "install-deps: no Windows architecture \"$2\" (i686 or x86_64)" >&2
      exit 2
      ;;
  esac
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
