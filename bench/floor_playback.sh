#!/usr/bin/env bash
# CPU while playing a 128 kbps MP3 and a 16-bit WAV, beside the floor for each file: bare
# libmpg123 decoding (or reading the WAV's bytes) paced in real time. Measured for the media
# back end alone and for the whole player (offscreen window, its one-second tick), on SDL's
# dummy driver and, when pulseaudio is installed, on a private PulseAudio server with a
# null sink. Wake-ups are the voluntary context switches of all the process's threads.
# Also prints how long pause, resume, seek and close take to return on the back end, and
# SDL's output alone (opened at the back end's period, its callback writing silence), the
# part of playing that no player feeding SDL at that period can go below.
#
#   bench/floor_playback.sh BUILD_DIR [seconds]      (default 30 s per figure)
set -euo pipefail
build=$(readlink -f "${1:?usage: floor_playback.sh BUILD_DIR [seconds]}")
seconds=${2:-30}
floor_bin=$build/bench/playback_floor
player_bin=$build/bench/bench_playback_cpu
for b in "$floor_bin" "$player_bin"; do
  [[ -x $b ]] || { echo "floor_playback.sh: $b is missing (build with benchmarks on)" >&2; exit 1; }
done
command -v sox >/dev/null && command -v lame >/dev/null ||
  { echo "floor_playback.sh: sox and lame make the test files" >&2; exit 1; }

work=$(mktemp -d)
pa_pid=
cleanup() {
  if [[ -n $pa_pid ]]; then kill "$pa_pid" 2>/dev/null || true; wait "$pa_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Pink noise, 44.1 kHz stereo: long enough for the settling second and the measured span.
track=$((seconds + 15))
sox -n -r 44100 -c 2 -b 16 "$work/t.wav" synth "$track" pinknoise vol 0.3
lame --quiet --cbr -b 128 "$work/t.wav" "$work/t.mp3"

fail() { echo "floor_playback.sh: $1 failed:" >&2; cat "$work/err" >&2; exit 1; }
field() { sed -n "s/.*\\b$1=\\([0-9.]*\\).*/\\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }

declare -A floor_cpu floor_wakes
for kind in mp3 wav; do
  out=$("$floor_bin" floor "$work/t.$kind" "$seconds" 2>"$work/err") || fail "the floor of $kind"
  floor_cpu[$kind]=$(field cpu_percent "$out")
  floor_wakes[$kind]=$(field wakes_per_s "$out")
done

rows=()
cmds=()
row() { # label kind output [server cpu]
  local cpu wakes
  cpu=$(field cpu_percent "$3")
  wakes=$(field wakes_per_s "$3")
  rows+=("$(printf '%-44s %8.3f %% %8.3f %% %7sx %9.1f%s' "$1" "$cpu" "${floor_cpu[$2]}" \
    "$(ratio "$cpu" "${floor_cpu[$2]}")" "$wakes" "${4:+   server $4 %}")")
}

# CPU seconds (user + system) of a process, from /proc.
proc_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }

run_driver() { # label
  local server0 server1 s kind out
  # SDL's output alone at the back end's period, fed silence: what its thread costs by itself.
  out=$("$floor_bin" output - "$seconds" 2>"$work/err") || fail "SDL's output alone"
  row "$1 SDL output alone, silence" wav "$out"
  for kind in mp3 wav; do
    for prog in back-end player; do
      [[ -n $pa_pid ]] && server0=$(proc_cpu "$pa_pid")
      s=$(date +%s.%N)
      if [[ $prog == back-end ]]; then
        out=$("$floor_bin" play "$work/t.$kind" "$seconds" 2>"$work/err") || fail "the back end playing $kind"
      else
        out=$(QT_QPA_PLATFORM=offscreen "$player_bin" "$seconds" "$work/t.$kind" 2>"$work/err") ||
          fail "the player playing $kind"
      fi
      s=$(awk -v a="$s" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
      server=
      if [[ -n $pa_pid ]]; then
        server1=$(proc_cpu "$pa_pid")
        server=$(awk -v a="$server0" -v b="$server1" -v s="$s" 'BEGIN { printf "%.3f", 100 * (b - a) / s }')
      fi
      local name="$kind"; [[ $kind == mp3 ]] && name="MP3 128 kbps" || name="WAV 16-bit"
      row "$1 $name, $prog" "$kind" "$out" "$server"
      if [[ $prog == back-end ]]; then
        cmds+=("$(printf '%-30s pause %6s ms, resume %6s ms, seek %6s ms, close %6s ms' "$1 $name:" \
          "$(field pause_ms "$out")" "$(field resume_ms "$out")" "$(field seek_ms "$out")" "$(field close_ms "$out")")")
      fi
    done
  done
}

SDL_AUDIODRIVER=dummy run_driver "dummy:"

if command -v pulseaudio >/dev/null; then
  mkdir -p "$work/home" "$work/run"
  chmod 700 "$work/run"
  HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=no \
    -L module-null-sink -L "module-native-protocol-unix socket=$work/pa.sock auth-anonymous=1" \
    >"$work/pa.log" 2>&1 &
  pa_pid=$!
  for _ in $(seq 50); do [[ -S $work/pa.sock ]] && break; sleep 0.1; done
  if [[ -S $work/pa.sock ]]; then
    HOME=$work/home XDG_RUNTIME_DIR=$work/run PULSE_SERVER=unix:$work/pa.sock SDL_AUDIODRIVER=pulseaudio \
      run_driver "pulse:"
  else
    echo "floor_playback.sh: the private pulseaudio did not start; its log:" >&2
    cat "$work/pa.log" >&2
  fi
fi

printf '%-44s %10s %10s %8s %9s\n' "CPU of one core while playing, ${seconds} s" "figure" "floor" "ratio" "wakes/s"
printf '%s\n' "${rows[@]}"
echo "Time the back end's commands take to return (must stay well under 100 ms):"
printf '  %s\n' "${cmds[@]}"
printf 'floor MP3: bare libmpg123 decoding paced in real time: %.3f %% (%s wakes/s)\n' "${floor_cpu[mp3]}" "${floor_wakes[mp3]}"
printf 'floor WAV: reading the file paced in real time:        %.3f %% (%s wakes/s)\n' "${floor_cpu[wav]}" "${floor_wakes[wav]}"
[[ -n $pa_pid ]] && echo "server: the private pulseaudio's own CPU over the same run (start-up included)"
exit 0
