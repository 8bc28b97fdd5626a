#!/bin/sh
# Starts ZOLM Player the way the desktop does: in a working directory of its
# own, where it keeps rez.dat and where its help finds readme.txt, so nothing
# lands in the folder the user happened to start it from.
set -eu

# The program and the help text sit beside this script's prefix, so an unpacked
# or relocated tree works as well as the installed one.
self=$(readlink -f "$0")
prefix=$(dirname "$(dirname "$self")")
program="$prefix/@ZOLM_PROGRAM_RELPATH@"
readme="$prefix/@ZOLM_README_RELPATH@"

# XDG says to ignore a relative XDG_DATA_HOME.
case "${XDG_DATA_HOME:-}" in
  /*) data="$XDG_DATA_HOME" ;;
  *) data="${HOME:?zolm-player: HOME is not set}/.local/share" ;;
esac
home="$data/zolm-player"

mkdir -p "$home"
if [ ! -e "$home/readme.txt" ] && [ -r "$readme" ]; then
  # The help is a convenience: a failed copy must not keep the player from starting.
  cp "$readme" "$home/readme.txt" || true
fi
# A folder named relative to where the player was started must survive the cd
# below; options (the toolkit's own, such as -platform) go on as they are.
n=$#
while [ "$n" -gt 0 ]; do
  arg=$1
  shift
  case $arg in
    /* | -* | '') ;;
    *) arg="$PWD/$arg" ;;
  esac
  set -- "$@" "$arg"
  n=$((n - 1))
done
cd "$home"
exec "$program" "$@"
