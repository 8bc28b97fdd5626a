#!/usr/bin/env bash
# Builds the .deb from the committed sources (what a fresh clone holds) with
# Debian's hardening flags, unpacks it into a scratch root and checks it: lintian
# and the AppStream validator find nothing to warn about, the files are in their
# places, the desktop entry, the package's fields, the program's hardening, and
# that the unpacked launcher starts the player under Xvfb with its window shown
# and its MPRIS name on a private bus.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$repo/build-package # a fixed place, so ccache finds the objects next time
fail() { echo "check-package: FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/src" "$work/root" "$work/home" "$work/run"
chmod 700 "$work/run"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$work/src"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=$work
# The flags Debian builds its packages with; hardening=+all adds bindnow to the
# defaults (fortify, stack protector, format checks, relro; the compiler makes
# PIE by itself). CMake takes no CPPFLAGS, so they go with the compile flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The package strips the program, so debugging information would be compiled for nothing.
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
flag() { dpkg-buildflags --get "$1"; }
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOLM_TESTS=OFF -DZOLM_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(flag CPPFLAGS) $(flag CFLAGS)" -DCMAKE_CXX_FLAGS="$(flag CPPFLAGS) $(flag CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)" "${launcher[@]}" >/dev/null
cmake --build "$work/build" -j"$(nproc)" --target zolm-player
(cd "$work/build" && cpack -G DEB >/dev/null)
debs=("$work"/build/zolm-player_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
echo "== $(basename "$deb")"

# The package's fields.
info=$(dpkg-deb --info "$deb")
echo "$info"
field() { echo "$info" | sed -n "s/^ $1: //p"; }
[ "$(field Package)" = zolm-player ] || fail "package name"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(field Depends)
needed=(libqt6widgets6 libqt6dbus6 libqt6gui6 libqt6core6 libmpg123-0 libsndfile1 libsdl2-2.0-0 libpulse0
  libwayland-client0 qt6-wayland fonts-dejavu-core fonts-liberation2 qt6-translations-l10n)
# The About picture's decoder, once the program links it.
readelf -d "$work/build/zolm-player" | grep -q 'NEEDED.*libjpeg\.so\.62' && needed+=(libjpeg62-turbo)
# A library's package may carry the 64-bit time suffix (Debian 13 renamed libqt6core6 so).
for dep in "${needed[@]}"; do
  echo "$depends" | grep -Eq "(^|, )$dep(t64)?( |,|$)" || fail "Depends lacks $dep: $depends"
done

# The files, where they belong.
dpkg-deb -x "$deb" "$work/root"
root=$work/root
for f in usr/bin/zolm-player usr/lib/zolm-player/zolm-player; do
  [ -x "$root/$f" ] || fail "$f missing or not executable"
done
file -b "$root/usr/lib/zolm-player/zolm-player" | grep -q '^ELF' || fail "the program is not an ELF executable"
[ -f "$root/usr/share/applications/zolm-player.desktop" ] || fail "desktop entry missing"
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/zolm-player.png" ] || fail "icon ${size}x${size} missing"
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/zolm-player.svg" ] || fail "scalable icon missing"
cmp -s "$work/src/resources/readme.txt" "$root/usr/share/zolm-player/readme.txt" || fail "help text missing"
out=$(desktop-file-validate "$root/usr/share/applications/zolm-player.desktop" 2>&1) || fail "desktop entry: $out"
[ -z "$out" ] || fail "desktop entry: $out"
man=$root/usr/share/man/man1/zolm-player.1.gz
metainfo=$root/usr/share/metainfo/example.zolm.player.metainfo.xml
for f in "$man" "$metainfo" "$root/usr/share/doc/zolm-player/copyright" "$root/usr/share/doc/zolm-player/changelog.gz"; do
  [ -f "$f" ] || fail "${f#"$root"/} missing"
done
manual=$(zcat "$man")
grep -q '^\.SH FILES' <<<"$manual" || fail "the manual page has no FILES section"
version=$(field Version)
[ "$(zcat "$root/usr/share/doc/zolm-player/changelog.gz" | dpkg-parsechangelog -l- -SVersion)" = "$version" ] ||
  fail "the changelog's newest entry is not version $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream metadata has no release $version"

# Debian's checker: no error and no warning. Its hardening tags are only
# informational, so they are failures here too.
echo "== lintian"
status=0
lint=$(lintian --fail-on error,warning --display-info --pedantic --show-overrides "$deb" 2>&1) || status=$?
echo "$lint" | grep -v '^running with root privileges' || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings (exit status $status)"
echo "$lint" | grep -q 'hardening-' && fail "the program lacks hardening"
# The overrides may only quiet tags that inform: a warning must be fixed, not hidden.
for tag in $(sed -n 's/^zolm-player: \([a-z0-9-]*\).*/\1/p' "$work/src/packaging/lintian-overrides"); do
  explained=$(lintian-explain-tags "$tag")
  grep -Eq '^N: +Visibility: (info|pedantic|classification)$' <<<"$explained" ||
    fail "the lintian override of $tag hides more than information"
done
# What lintian does not look at: the stack protector.
symbols=$(readelf --dyn-syms -W "$root/usr/lib/zolm-player/zolm-player")
grep -q ' __stack_chk_fail@' <<<"$symbols" || fail "the program is built without the stack protector"

# AppStream: the metadata as software centres read it, with the desktop entry
# and icons it refers to in the same tree. Information may remain.
echo "== appstreamcli"
appstream=$(appstreamcli validate-tree --no-net --pedantic "$root" 2>&1) || fail "AppStream metadata: $appstream"
echo "$appstream"
echo "$appstream" | grep -Eq '^ *[EW]: ' && fail "AppStream metadata: warnings"
echo "$appstream" | grep -q '^example\.zolm\.player\.metainfo\.xml$' || fail "the validator did not find the metadata"

# The unpacked launcher, as the desktop would start it: a fresh home, an X
# server, a session bus of its own. The window must appear and the player must
# answer on the bus, with nothing on its error output; Quit ends it.
cat > "$work/launch.sh" <<'EOF'
set -u
root=$1
"$root/usr/bin/zolm-player" 2>player.err & pid=$!
shown=
for _ in $(seq 1 150); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"ZOLM Player"'; then shown=1; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
status=
[ -n "$shown" ] && status=$(dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.zolmplayer \
  /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
  string:org.mpris.MediaPlayer2.Player string:PlaybackStatus 2>&1 | sed -n 's/.*string "\(.*\)"/\1/p')
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.zolmplayer /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit >/dev/null 2>&1
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "quit-ignored"; kill "$pid"; fi
wait "$pid" 2>/dev/null
[ -n "$shown" ] && echo "window-shown"
echo "status=$status"
EOF
# No desktop's session settings: they would choose a platform theme of their own.
result=$(cd "$work" && env -u XDG_DATA_HOME -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY \
  -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE -u XDG_CURRENT_DESKTOP -u XDG_SESSION_DESKTOP -u DESKTOP_SESSION \
  -u XDG_SESSION_TYPE HOME="$work/home" XDG_RUNTIME_DIR="$work/run" SDL_AUDIODRIVER=dummy timeout 60 "$repo/scripts/with-xvfb.sh" dbus-run-session -- sh "$work/launch.sh" "$root" 2>&1) ||
  true
echo "$result" | grep -qx 'window-shown' || fail "the window did not appear: $result"
echo "$result" | grep -qx 'status=Stopped' || fail "no MPRIS answer: $result"
echo "$result" | grep -qx 'quit-ignored' && fail "MPRIS Quit did not end the player"
[ ! -s "$work/player.err" ] || fail "the player wrote to its error output: $(head -c 2000 "$work/player.err")"
data=$work/home/.local/share/zolm-player
[ -f "$data/rez.dat" ] || fail "rez.dat not in $data"
cmp -s "$data/readme.txt" "$root/usr/share/zolm-player/readme.txt" || fail "help text not copied to $data"
[ ! -e "$work/rez.dat" ] || fail "rez.dat left where the launcher was started"
echo "check-package: ok ($(basename "$deb"))"
