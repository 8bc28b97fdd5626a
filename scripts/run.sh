#!/usr/bin/env bash
# Sets up, builds and starts the player. It runs in a working directory of its
# own, where it keeps rez.dat and where F1 finds readme.txt.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/setup.sh" --run # what building and running take; the tests bring the rest
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$src/build" -G Ninja "${launcher[@]}" >/dev/null
cmake --build "$src/build" -j"$(nproc)" --target zolm-player
home="${XDG_DATA_HOME:-$HOME/.local/share}/zolm-player"
mkdir -p "$home"
[ -e "$home/readme.txt" ] || cp "$src/resources/readme.txt" "$home/readme.txt" 2>/dev/null || true
cd "$home"
exec "$src/build/zolm-player" "$@"
