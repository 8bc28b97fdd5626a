#!/usr/bin/env bash
# Slow storage: the real program, under Xvfb with a private session bus, over a folder on
# slowfs (tests/common/slowfs.c), whose reads stand still while the file "stall" exists.
# The window's thread answers the MPRIS calls, so the time a call waits for its answer is
# how long the window stood still; each must come within a second.
#   1. Ctrl+X with every read stuck: the window answers, and Stop gives the opening up; once
#      the reads have stood still past the limit, the box for a file that cannot be opened
#      comes up, and not before.
#   2. Reads stuck in the middle of a track: pause, play, stop, next (whose opening is
#      stuck in turn) are answered, and Ctrl+Q ends the program's main thread at once.
# A FIFO cannot stand in for the stuck file: the player refuses a FIFO before reading it.
# So where FUSE cannot mount, the test is skipped, and says so.
set -euo pipefail
player=$(readlink -f "$1")
slowfs=${2:+$(readlink -f "$2")}
skip() { echo "SKIP: $* - the slow-storage checks did not run"; exit 77; }
[ -n "$slowfs" ] && [ -x "$slowfs" ] || skip "slowfs was not built (no libfuse3-dev)"
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
"$slowfs" src mnt 0 "$work/stall" 2>fs.log &
fs=$!
for _ in $(seq 100); do [ -e mnt/a.mp3 ] && break; kill -0 "$fs" 2>/dev/null || break; sleep 0.05; done
[ -e mnt/a.mp3 ] || skip "FUSE does not mount here: $(cat fs.log)"
printf '%s' "$work/mnt/" >rez.dat

cat >drive.sh <<'DRIVE'
set -euo pipefail
"$1" 2>player.log &
pid=$!
failed=0
# One MPRIS call; sets `took` to the milliseconds its answer took and `refused` when it was an error.
call() {
  local t0 out
  t0=$(date +%s%N)
  out=$(dbus-send --session --print-reply --reply-timeout=5000 --dest=org.mpris.MediaPlayer2.zolmplayer \
    /org/mpris/MediaPlayer2 "$@" 2>&1) && refused="" || refused=$out
  reply=$out
  took=$((($(date +%s%N) - t0) / 1000000))
}
status() { call org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus; }
# The call, then a status query, which waits for whatever the call set going on the window's thread.
answers() {
  local worst
  call "org.mpris.MediaPlayer2.Player.$1"
  worst=$took
  status
  ((took > worst)) && worst=$took
  if ((worst > 1000)) || [ -n "$refused" ]; then
    echo "FAIL: $1 $2: the window took $worst ms to answer ${refused:+($refused)}"; failed=1
  else
    echo "ok: $1 $2: answered within $worst ms"
  fi
}
for _ in $(seq 100); do status; [ -z "$refused" ] && break; sleep 0.1; done
w=$(xdotool search --name '^ZOLM Player$' | head -n 1)
[ -n "$w" ] || { echo "FAIL: the main window did not appear"; kill $pid; exit 1; }

# 1. Opening stuck.
touch stall
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+x
sleep 0.3
answers Pause "while a.mp3's opening is stuck"
answers Stop "while a.mp3's opening is stuck"
rm stall # the opening given up by Stop comes back now: it must not play
sleep 1
status
grep -q Stopped <<<"$reply" || { echo "FAIL: after Stop, the opening that came back played: $reply"; failed=1; }
touch stall
xdotool key --clearmodifiers ctrl+x
t0=$(date +%s%N)
box_ms=""
while (($(date +%s%N) - t0 < 12000000000)); do
  call org.mpris.MediaPlayer2.Player.Pause # refused only while a box is up
  if [ -n "$refused" ]; then box_ms=$((($(date +%s%N) - t0) / 1000000)); break; fi
  sleep 0.2
done
boxes=$(xdotool search --name '^ZOLM Player - a.mp3$' | wc -l)
if [ -z "$box_ms" ] || ((box_ms < 3500)) || ((boxes != 2)); then
  echo "FAIL: no box for the stuck a.mp3 between 3.5 and 12 s (came after ${box_ms:-never} ms; windows: $boxes)"; failed=1
else
  echo "ok: the box for the stuck a.mp3 came after $box_ms ms"
fi
box=$(xdotool search --name '^ZOLM Player - a.mp3$' | grep -vx "$w" | head -n 1 || true)
[ -n "$box" ] && xdotool windowfocus --sync "$box" key Return
rm -f stall

# 2. Reads stuck in the middle of a track.
sleep 0.5
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+x
for _ in $(seq 50); do status; grep -q Playing <<<"$reply" && break; sleep 0.1; done
sleep 1
touch stall
sleep 4 # the decoder's ring (3 s) runs dry: its next read is stuck
answers Pause "with a read stuck mid-track"
answers Play "with a read stuck mid-track"
answers Stop "with a read stuck mid-track"
answers Play "with the opening stuck after a stop"
answers Next "with the opening stuck"
# The program is over once its main thread is: a thread inside a FUSE read cannot be ended
# by anyone before the read returns, so until then the process stays a zombie.
ended() { local s; s=$(cut -d' ' -f3 /proc/$pid/stat 2>/dev/null || echo Z); [ "$s" = Z ]; }
t0=$(date +%s%N)
xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+q
for _ in $(seq 30); do ended && break; sleep 0.1; done
if ended; then
  echo "ok: Ctrl+Q ended the program after $((($(date +%s%N) - t0) / 1000000)) ms, a read still stuck"
else
  echo "FAIL: Ctrl+Q did not end the program within 3 s with a read stuck"; failed=1
fi
rm -f stall
wait $pid || { echo "FAIL: the program ended with status $?"; failed=1; }
exit $failed
DRIVE

env SDL_AUDIODRIVER=dummy PULSE_SERVER="unix:$work/none" PIPEWIRE_REMOTE="$work/none" \
  dbus-run-session -- "$with_xvfb" bash drive.sh "$player"
