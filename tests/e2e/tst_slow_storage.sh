#!/usr/bin/env bash
# Slow storage: the real program, under Xvfb with a private session bus, over a folder on
# slowfs (tests/common/slowfs.c), whose reads stand still while the file "stall" exists.
# The window's thread answers MPRIS, so the time a call's answer takes is how long the
# window stood still: each must come within a second.
#   1. Ctrl+X with the reads stuck: answered, and Stop gives the opening up; reads that stand
#      still past the limit bring the box for a file that cannot be opened, not before.
#   2. A read stuck mid-track: pause, play, stop, next (its opening stuck too) are answered,
#      and Ctrl+Q ends the program's main thread at once.
# A FIFO cannot stand in for the stuck file (the player refuses one before reading it), so
# where FUSE cannot mount, the test is skipped, and says so.
set -euo pipefail
player=$(readlink -f "$1")
slowfs=${2:+$(readlink -f "$2")}
skip() { echo "SKIP: $* - the slow-storage checks did not run"; exit 77; }
[ -n "$slowfs" ] || skip "slowfs was not built (no libfuse3-dev)"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
with_xvfb=$(cd "$(dirname "$0")/../../scripts" && pwd)/with-xvfb.sh
work=$(mktemp -d)
fs=""
cleanup() {
  rm -f "$work/stall"
  [ -n "$fs" ] && kill "$fs" 2>/dev/null && { wait "$fs" 2>/dev/null || true; }
  mountpoint -q "$work/mnt" 2>/dev/null && umount -l "$work/mnt" || true
  rm -rf "$work"
}
trap 'status=$?; [ $status -ne 0 ] && [ -s "$work/player.log" ] && tail -n 20 "$work/player.log"; cleanup' EXIT
trap 'exit 143' TERM INT
cd "$work"
mkdir src mnt
sox -n -r 44100 -c 2 -b 16 t.wav synth 30 sine 440 vol 0.3
lame --quiet -b 128 t.wav src/a.mp3
cp src/a.mp3 src/b.mp3
"$slowfs" "$work/src" mnt 0 "$work/stall" 2>fs.log &
fs=$!
for _ in $(seq 100); do [ -e mnt/a.mp3 ] && break; kill -0 "$fs" 2>/dev/null || break; sleep 0.05; done
[ -e mnt/a.mp3 ] || skip "FUSE does not mount here: $(cat fs.log)"
printf '%s' "$work/mnt/" >rez.dat

cat >drive.sh <<'DRIVE'
set -euo pipefail
"$1" 2>player.log &
pid=$!
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# One MPRIS call: `took` its answer's milliseconds, `reply` the answer, `refused` set on an error.
call() {
  local t0=$(date +%s%N)
  reply=$(dbus-send --session --print-reply --reply-timeout=5000 --dest=org.mpris.MediaPlayer2.zolmplayer \
    /org/mpris/MediaPlayer2 "$@" 2>&1) && refused="" || refused=$reply
  took=$((($(date +%s%N) - t0) / 1000000))
}
status() { call org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus; }
# A command, then a status query, which waits for what the command set going on the window's thread.
answers() {
  call "org.mpris.MediaPlayer2.Player.$1"
  local worst=$took bad=$refused
  status
  ((took > worst)) && worst=$took
  ((worst <= 1000)) && [ -z "$bad" ] && echo "ok: $1 $2: answered within $worst ms" ||
    fail "$1 $2: the window took $worst ms to answer $bad"
}
for _ in $(seq 100); do status; [ -z "$refused" ] && break; sleep 0.1; done
w=$(xdotool search --name '^ZOLM Player$' | head -n 1)

touch stall
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+x
sleep 0.3
answers Pause "while a.mp3's opening is stuck"
answers Stop "while a.mp3's opening is stuck"
rm stall # the opening given up comes back now: it must not play
sleep 1
status
grep -q Stopped <<<"$reply" || fail "after Stop, the opening that came back played: $reply"
touch stall
xdotool key --clearmodifiers ctrl+x
t0=$(date +%s%N)
until call org.mpris.MediaPlayer2.Player.Pause; [ -n "$refused" ] || (($(date +%s%N) - t0 > 12000000000)); do sleep 0.2; done
box_ms=$((($(date +%s%N) - t0) / 1000000)) # MPRIS refuses commands only while a box is up
box=$(xdotool search --name '^ZOLM Player - a.mp3$' | grep -vx "$w" | head -n 1 || true)
[ -n "$refused" ] && ((box_ms >= 3500)) && [ -n "$box" ] && echo "ok: the box for the stuck a.mp3 came after $box_ms ms" ||
  fail "no box for the stuck a.mp3 between 3.5 and 12 s (${box_ms} ms: ${refused:-no refusal}, box window '$box')"
[ -n "$box" ] && xdotool windowfocus --sync "$box" key Return
rm stall

sleep 0.5
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+x
for _ in $(seq 50); do status; grep -q Playing <<<"$reply" && break; sleep 0.1; done
sleep 1
touch stall
sleep 4 # the decoder's ring (3 s) runs dry: its next read is stuck
for step in Pause Play Stop Play Next; do answers $step "with a read stuck mid-track"; done
# A thread inside a FUSE read cannot be ended before the read returns: the process stays a
# zombie until then, its main thread gone. (LeakSanitizer's check at the end stops every
# thread first, the main one included, and waits there for the one in the read.)
ended() { [[ "$(cut -d' ' -f3 /proc/$pid/stat 2>/dev/null || echo Z)" == [Zt] ]]; }
t0=$(date +%s%N)
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+q
for _ in $(seq 30); do ended && break; sleep 0.1; done
ended && echo "ok: Ctrl+Q ended the program after $((($(date +%s%N) - t0) / 1000000)) ms, a read still stuck" ||
  fail "Ctrl+Q did not end the program within 3 s with a read stuck"
rm -f stall
wait $pid || fail "the program ended with status $?"
exit $failed
DRIVE

env SDL_AUDIODRIVER=dummy PULSE_SERVER="unix:$work/none" PIPEWIRE_REMOTE="$work/none" \
  dbus-run-session -- "$with_xvfb" bash drive.sh "$player"
