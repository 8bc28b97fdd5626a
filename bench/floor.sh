#!/usr/bin/env bash
# Every figure against its floor: start-up and memory, then CPU while playing.
# Usage: floor.sh BUILD_DIR
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
"$here/floor_startup.sh" "$1"
if [ -x "$here/floor_playback.sh" ]; then
  "$here/floor_playback.sh" "$1"
elif [ -f "$here/floor_playback.sh" ]; then
  bash "$here/floor_playback.sh" "$1"
fi
