#!/usr/bin/env bash
# End to end: the real program, under Xvfb, started in a folder with two short
# files, plays the first on Ctrl+X and goes on to the second by itself. SDL's
# disk driver writes what it plays to a file, which is then measured.
set -euo pipefail
player=$(readlink -f "$1")
with_xvfb=$(cd "$(dirname "$0")/../../scripts" && pwd)/with-xvfb.sh
work=$(mktemp -d)
reader=""
# Ends the pipe's reader: told to stop, its waiting cat is let go by a writer that
# comes and goes (opened for reading too, which never blocks); should the loop not
# end, it and its cat are ended.
stop_reader() {
  [ -n "$reader" ] || return 0
  local cat
  touch "$work/stop"
  exec 3<>"$work/out.fifo"
  exec 3>&-
  for _ in $(seq 50); do kill -0 "$reader" 2>/dev/null || break; sleep 0.1; done
  for cat in $(pgrep -P "$reader"); do kill "$cat" 2>/dev/null || true; done
  kill "$reader" 2>/dev/null || true
  wait "$reader" 2>/dev/null || true
  reader=""
}
trap 'status=$?; stop_reader; [ $status -ne 0 ] && [ -s "$work/player.log" ] && tail -n 40 "$work/player.log"; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
mkdir "$work/music"
sox -n -r 22050 -c 2 -b 16 "$work/music/a.wav" synth 2 sine 440 vol 0.5
sox -n -r 22050 -c 2 -b 16 "$work/music/b.wav" synth 2 sine 660 vol 0.5
printf '%s' "$work/music/" > "$work/rez.dat"
cd "$work"

cat > drive.sh <<'DRIVE'
set -euo pipefail
"$1" 2> player.log &
pid=$!
# Only a mapped window: the title is set before the window is shown, and focusing
# one not yet viewable is an X error that ends xdotool.
find_window() {
  for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
w=$(find_window '^ZOLM Player$') || { echo "the main window did not appear"; kill $pid; exit 1; }
xdotool windowfocus --sync "$w"
xdotool key --clearmodifiers ctrl+x
find_window 'ZOLM Player - a.wav' >/dev/null || { echo "Ctrl+X did not start a.wav"; kill $pid; exit 1; }
find_window 'ZOLM Player - b.wav' >/dev/null || true
for _ in $(seq 80); do
  xdotool getwindowname "$w" | grep -q 'b.wav' && break
  sleep 0.1
done
xdotool getwindowname "$w" | grep -q 'b.wav' || { echo "b.wav did not follow by itself"; kill $pid; exit 1; }
sleep 3.5   # b.wav plays to its end, plus the tick that notices it
xdotool windowfocus --sync "$w"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { echo "Ctrl+Q did not end the program"; kill $pid; exit 1; }
wait $pid
DRIVE

# Each device the player opens opens the disk file anew, which would truncate it:
# a pipe with a reader that appends keeps everything that was played.
mkfifo out.fifo
( while [ ! -e stop ] && cat out.fifo >> out.raw; do :; done ) > /dev/null 2>&1 &
reader=$!
# No sound server answers: the sound goes through SDL, into the file.
env -u QT_QPA_PLATFORM SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/out.fifo" PULSE_SERVER="unix:$work/none" PIPEWIRE_REMOTE="$work/none" \
  "$with_xvfb" bash drive.sh "$player"
stop_reader

python3 - "$work/out.raw" <<'PY'
import sys, struct, math
data = open(sys.argv[1], 'rb').read()
n = len(data) // 4
frames = struct.unpack('<%dh' % (2 * n), data[:4 * n])
# Paused devices write silence; the music is the frames that are not silent.
loud = [i for i in range(n) if frames[2 * i] != 0 or frames[2 * i + 1] != 0]
seconds = len(loud) / 22050
peak_l = max(abs(frames[2 * i]) for i in loud)
peak_r = max(abs(frames[2 * i + 1]) for i in loud)
expected = 0.5 * 32767 * 42250 / 65535
print(f"played {seconds:.3f} s of sound; peaks {peak_l} / {peak_r}, expected about {expected:.0f}")
ok = abs(seconds - 4.0) < 0.05 and all(abs(p - expected) / expected < 0.02 for p in (peak_l, peak_r))
print("1 passed, 0 failed" if ok else "0 passed, 1 failed")
sys.exit(0 if ok else 1)
PY
