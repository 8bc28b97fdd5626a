#!/usr/bin/env bash
# A held Ctrl+B: the real program on a private Xvfb, session bus and PulseAudio server (a
# null sink), over a folder of 160 tracks of 30 s (MP3 and WAV in turn), started with
# Ctrl+X, then 150 Ctrl+B presses 15 ms apart. Prints the longest the window thread stood
# still (the longest wait for an answer from its MPRIS object, asked without pause), the
# most of the player's streams open on the server at once, and how long after the last
# press the playlist stopped moving. bench/skip_burst_probe does the pressing and watching.
# With "pipewire" the server is a private PipeWire with wireplumber and pipewire-pulse; the
# player plays there through its native PipeWire output (ZOLM_AUDIO_SERVER=pulse in the
# environment: through pipewire-pulse).
# With "restart" (PulseAudio only) the server is killed in the middle of the burst and
# started again RESTART_GAP_MS (default 300) later on the same socket: the longest wait of
# the window thread then includes every play, resume and track change on a server that is
# gone or coming back. The probe's count of streams ends with the first server.
#
#   bench/skip_burst.sh BUILD_DIR [presses] [interval ms] [pulse|pipewire] [restart]
set -euo pipefail
build=$(readlink -f "${1:?usage: skip_burst.sh BUILD_DIR [presses] [interval ms] [pulse|pipewire] [restart]}")
presses=${2:-150}
interval=${3:-15}
server=${4:-pulse}
restart=${5:-}
[[ -z $restart || ($restart == restart && $server == pulse) ]] || { echo "skip_burst.sh: restart is for pulse only" >&2; exit 1; }
[[ $server == pulse || $server == pipewire ]] || { echo "skip_burst.sh: the server is pulse or pipewire" >&2; exit 1; }
player=$build/zolm-player
probe=$build/bench/skip_burst_probe
for b in "$player" "$probe"; do
  [[ -x $b ]] || { echo "skip_burst.sh: $b is missing (build with benchmarks on)" >&2; exit 1; }
done
tools=(Xvfb xdotool dbus-daemon pactl sox lame)
[[ $server == pulse ]] && tools+=(pulseaudio) || tools+=(pipewire wireplumber pipewire-pulse)
for t in "${tools[@]}"; do
  command -v "$t" >/dev/null || { echo "skip_burst.sh: $t is needed" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# One MP3 and one WAV of pink noise, linked under 160 names: more tracks than presses,
# so every press moves the selection (at the last track Ctrl+B stays there).
mkdir "$work/music"
sox -n -r 44100 -c 2 -b 16 "$work/t.wav" synth 30 pinknoise vol 0.3
lame --quiet --cbr -b 128 "$work/t.wav" "$work/t.mp3"
for i in $(seq 1 160); do
  if ((i % 2)); then ln "$work/t.mp3" "$work/music/$(printf '%03d' "$i").mp3"
  else ln "$work/t.wav" "$work/music/$(printf '%03d' "$i").wav"; fi
done
printf '%s' "$work/music/" >"$work/rez.dat"

# Private everything: home, runtime directory, display, bus, sound server.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export PULSE_RUNTIME_PATH=$work/run/pulse
unset SDL_AUDIODRIVER QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
read_line() { # file: waits for the first line a starting server writes there
  local _
  for _ in $(seq 200); do [[ -s $1 ]] && { head -n 1 "$1"; return 0; }; sleep 0.05; done
  return 1
}
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
DISPLAY=:$(read_line "$work/display") || { echo "skip_burst.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
pids+=($!)
DBUS_SESSION_BUS_ADDRESS=$(read_line "$work/bus") || { echo "skip_burst.sh: no session bus" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS
if [[ $server == pulse ]]; then
  export PULSE_SERVER=unix:$work/pa.sock
  start_pulse() {
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      -L module-null-sink -L "module-native-protocol-unix socket=$work/pa.sock auth-anonymous=1" \
      >>"$work/server.log" 2>&1 &
    pids+=($!)
    server_pid=$!
  }
  start_pulse
else
  # wireplumber links the streams to the null sink it makes where there is no card.
  export PULSE_SERVER=unix:$work/run/pulse/native
  pipewire >"$work/server.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [[ -S $work/run/pipewire-0 ]] && break; sleep 0.05; done
  wireplumber >>"$work/server.log" 2>&1 &
  pids+=($!)
  pipewire-pulse >>"$work/server.log" 2>&1 &
  pids+=($!)
fi
for _ in $(seq 100); do pactl list short sinks 2>/dev/null | grep -q . && break; sleep 0.1; done
pactl list short sinks 2>/dev/null | grep -q . || { echo "skip_burst.sh: $server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }

cd "$work"
"$player" 2>"$work/player.log" &
player_pid=$!
pids+=($player_pid)
w=
for _ in $(seq 200); do
  w=$(xdotool search --name '^ZOLM Player$' 2>/dev/null | head -n 1 || true)
  [[ -n $w ]] && break
  sleep 0.05
done
[[ -n $w ]] || { echo "skip_burst.sh: the main window did not appear" >&2; cat "$work/player.log" >&2; exit 1; }
xdotool windowfocus --sync "$w"

echo "server: $server${restart:+, killed and restarted mid-burst}"
if [[ -n $restart ]]; then
  "$probe" "$presses" "$interval" &
  probe_pid=$!
  # The probe starts the burst 1.5 s after the first stream is up.
  for _ in $(seq 200); do pactl list short sink-inputs 2>/dev/null | grep -q . && break; sleep 0.05; done
  sleep "$(awk -v p="$presses" -v i="$interval" 'BEGIN { print 1.5 + p * i / 2000 }')"
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true
  echo "server killed at $(date +%T.%N | cut -c1-12)"
  sleep "$(awk -v g="${RESTART_GAP_MS:-300}" 'BEGIN { print g / 1000 }')"
  start_pulse
  echo "server restarted at $(date +%T.%N | cut -c1-12)"
  wait "$probe_pid"
else
  "$probe" "$presses" "$interval"
fi
echo "the player's stream on the server: $(pactl list sink-inputs | sed -n 's/^[[:space:]]*application.name = "\(.*\)"/\1/p' | sort -u | paste -sd, -)"

xdotool windowfocus --sync "$w" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+q 2>/dev/null || true
for _ in $(seq 50); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
