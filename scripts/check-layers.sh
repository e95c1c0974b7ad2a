#!/usr/bin/env bash
# Checks that every layer includes only from itself and the layers below it:
#   platform <- video, audio, display <- engine <- api, player, tools
# (the encoder builds on the codec layers and the container). The build's
# per-layer libraries catch a call upwards when it links; this catches the
# includes, which a header-only use would slip past.
#   scripts/check-layers.sh
# Lists every include that goes the wrong way and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each layer's folder and the top-level folders it must not include from.
# `vexil` stands for the public headers (include/vexil/).
upper="player tools api vexil"
declare -A forbidden=(
  [platform]="video audio engine display encoder $upper"
  [video]="audio engine display encoder $upper"
  [audio]="video engine display encoder $upper"
  [display]="video audio engine encoder $upper"
  [engine]="encoder $upper"
  [encoder]="display $upper"
)

status=0
for layer in platform video audio display engine encoder; do
  [ -d "$layer" ] || continue
  pattern=$(echo "${forbidden[$layer]}" | sed 's/ /|/g')
  # Quoted or angled includes of a forbidden folder, and includes that climb
  # out of their folder with "..".
  if grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]((${pattern})/|\.\./)" \
      --include='*.h' --include='*.cpp' --include='*.inc' "$layer"; then
    echo "check-layers: $layer/ includes from a layer above it (or beside it)" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "check-layers: every layer includes only from below"
exit "$status"
