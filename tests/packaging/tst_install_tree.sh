#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what lands where, that the
# desktop entry validates, and that the launcher runs the player in a working
# directory of its own under XDG_DATA_HOME.
# Usage: tst_install_tree.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# Everything in its place.
[ -x "$prefix/bin/zolm-player" ] || fail "launcher missing"
head -c 2 "$prefix/bin/zolm-player" | grep -q '#!' || fail "launcher is not a script"
[ -x "$prefix/lib/zolm-player/zolm-player" ] || fail "program missing"
[ -f "$prefix/share/applications/zolm-player.desktop" ] || fail "desktop entry missing"
for size in 16 22 24 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/zolm-player.png
  [ -f "$icon" ] || fail "icon $size missing"
  head -c 8 "$icon" | od -An -c | grep -q 'P   N   G' || fail "icon $size is not a PNG"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/zolm-player.svg" ] || fail "scalable icon missing"
for f in share/metainfo/example.zolm.player.metainfo.xml share/doc/zolm-player/copyright \
  share/lintian/overrides/zolm-player; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done
# Compressed as Debian wants them; the manual's name line is what whatis shows.
for f in share/man/man1/zolm-player.1.gz share/doc/zolm-player/changelog.gz; do
  gzip -t "$prefix/$f" 2>/dev/null || fail "$f missing or not gzip"
done
manual=$(zcat "$prefix/share/man/man1/zolm-player.1.gz")
grep -qx 'zolm\\-player \\- play the MP3 and WAV files of a folder' <<<"$manual" || fail "manual page name line"
if [ -f "$src/resources/readme.txt" ]; then
  cmp -s "$src/resources/readme.txt" "$prefix/share/zolm-player/readme.txt" || fail "help text not installed"
fi

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$prefix/share/applications/zolm-player.desktop" 2>&1) || fail "desktop entry: $out"
  [ -z "$out" ] || fail "desktop entry: $out"
fi
grep -qx 'Categories=AudioVideo;Audio;Player;' "$prefix/share/applications/zolm-player.desktop" ||
  fail "desktop entry categories"
# Offered for folders in the file manager, which passes the folder on.
grep -qx 'MimeType=inode/directory;' "$prefix/share/applications/zolm-player.desktop" || fail "desktop entry MIME type"
grep -qx 'Exec=zolm-player %f' "$prefix/share/applications/zolm-player.desktop" || fail "desktop entry Exec"

# The launcher, with a stand-in program that tells where it ran and with what.
stub=$scratch/stub
mkdir -p "$stub"
cp -r "$prefix/." "$stub/"
printf '#!/bin/sh\n{ pwd; printf "%%s\\n" "$@"; } > "$ZOLM_STUB_OUT"\n' > "$stub/lib/zolm-player/zolm-player"
mkdir -p "$stub/share/zolm-player"
printf 'the shipped help\n' > "$stub/share/zolm-player/readme.txt"
export ZOLM_STUB_OUT=$scratch/stub.out
home=$scratch/home
mkdir -p "$home"

# XDG_DATA_HOME given: the directory is made there and the help copied.
(cd "$scratch" && HOME=$home XDG_DATA_HOME=$scratch/data "$stub/bin/zolm-player" one "/abs/two words" "" -x)
[ "$(sed -n 1p "$ZOLM_STUB_OUT")" = "$scratch/data/zolm-player" ] || fail "launcher ran in $(sed -n 1p "$ZOLM_STUB_OUT")"
# Arguments are handed on; relative names are made absolute, as the program runs elsewhere.
[ "$(sed -n 2p "$ZOLM_STUB_OUT")" = "$scratch/one" ] && [ "$(sed -n 3p "$ZOLM_STUB_OUT")" = "/abs/two words" ] &&
  [ "$(sed -n 4p "$ZOLM_STUB_OUT")" = "" ] && [ "$(sed -n 5p "$ZOLM_STUB_OUT")" = "-x" ] ||
  fail "launcher lost the arguments: $(cat "$ZOLM_STUB_OUT")"
cmp -s "$scratch/data/zolm-player/readme.txt" "$stub/share/zolm-player/readme.txt" || fail "help not copied"

# A help text the user already has is kept.
printf 'my own notes\n' > "$scratch/data/zolm-player/readme.txt"
(HOME=$home XDG_DATA_HOME=$scratch/data "$stub/bin/zolm-player")
grep -qx 'my own notes' "$scratch/data/zolm-player/readme.txt" || fail "launcher overwrote readme.txt"

# Unset or relative XDG_DATA_HOME: ~/.local/share, as XDG says.
(HOME=$home XDG_DATA_HOME=relative/dir "$stub/bin/zolm-player")
[ "$(sed -n 1p "$ZOLM_STUB_OUT")" = "$home/.local/share/zolm-player" ] || fail "relative XDG_DATA_HOME was used"
[ ! -e relative ] || fail "relative XDG_DATA_HOME made a folder"
(unset XDG_DATA_HOME; HOME=$home "$stub/bin/zolm-player")
[ "$(sed -n 1p "$ZOLM_STUB_OUT")" = "$home/.local/share/zolm-player" ] || fail "default data home"

# Through a symlink (as /usr/local/bin links often are) it still finds the program.
ln -s "$stub/bin/zolm-player" "$scratch/link"
(HOME=$home XDG_DATA_HOME=$scratch/viaLink "$scratch/link")
[ "$(sed -n 1p "$ZOLM_STUB_OUT")" = "$scratch/viaLink/zolm-player" ] || fail "launcher via a symlink"

# The real program, through the real launcher: it starts, paints, and keeps
# rez.dat in its own directory, not where it was started from.
mkdir -p "$scratch/started-here"
(cd "$scratch/started-here" && HOME=$home XDG_DATA_HOME=$scratch/real ZOLM_REPORT_FIRST_PAINT=1 \
   timeout 60 "$prefix/bin/zolm-player" > "$scratch/real.out" 2>&1) || { cat "$scratch/real.out"; fail "program did not start"; }
grep -q '^first-paint-ms' "$scratch/real.out" || { cat "$scratch/real.out"; fail "program did not paint"; }
[ -f "$scratch/real/zolm-player/rez.dat" ] || fail "rez.dat not in the player's directory"
[ -z "$(ls -A "$scratch/started-here")" ] || fail "the player left files where it was started"
echo "install tree and launcher: ok"
