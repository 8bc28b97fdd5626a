#!/usr/bin/env bash
# CPU while playing a 128 kbps MP3 and a 16-bit WAV, beside the floor for each file: bare
# libmpg123 decoding (or reading the WAV's bytes) paced in real time. Measured for the media
# back end alone and for the whole player (offscreen window, its one-second tick), on SDL's
# dummy driver and on the sound servers that are installed, each private (its own runtime
# directory) and playing into a null sink:
#   pulse:     pulseaudio
#   pipewire:  pipewire + wireplumber + pipewire-pulse (its PulseAudio service)
# On PipeWire the player runs twice: through PipeWire's PulseAudio service ("pipewire",
# ZOLM_AUDIO_SERVER=pulse) and through the native PipeWire output ("pw-native", its default
# there; ZOLM_AUDIO_SERVER=pipewire).
# On a server the figures also hold the server's own CPU while it serves the player, and
# the same for other players on the same server and files, where installed: mpv --ao=pulse,
# mpv --ao=pipewire (on PipeWire) and mpg123 -o pulse (MP3 only), which the aim compares
# with, and paplay (the server's own default buffer of 2 s), for reference. Wake-ups are the voluntary context switches of all
# the process's threads; the server's are its processes' together. Also prints how long pause, resume, seek and close take to return
# on the back end, SDL's output alone (opened at the back end's period, its callback writing
# silence), and, last, each aim beside what was measured. Says which of the other players
# are missing; --install (as root) installs mpv and mpg123 first where they are.
#
#   bench/floor_playback.sh [--install] BUILD_DIR [seconds]      (default 30 s per figure, at least 6)
set -euo pipefail
install=
[[ ${1:-} == --install ]] && { install=1; shift; }
build=$(readlink -f "${1:?usage: floor_playback.sh [--install] BUILD_DIR [seconds]}")
seconds=${2:-30}
((seconds >= 6)) || { echo "floor_playback.sh: at least 6 seconds per figure" >&2; exit 1; }
floor_bin=$build/bench/playback_floor
player_bin=$build/bench/bench_playback_cpu
for b in "$floor_bin" "$player_bin"; do
  [[ -x $b ]] || { echo "floor_playback.sh: $b is missing (build with benchmarks on)" >&2; exit 1; }
done
command -v sox >/dev/null && command -v lame >/dev/null ||
  { echo "floor_playback.sh: sox and lame make the test files" >&2; exit 1; }
missing=()
for p in mpv mpg123; do command -v "$p" >/dev/null || missing+=("$p"); done
if [[ -n $install ]] && ((${#missing[@]})); then
  if ((EUID == 0)); then
    apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 || echo "floor_playback.sh: apt-get could not install ${missing[*]}" >&2
    missing=()
    for p in mpv mpg123; do command -v "$p" >/dev/null || missing+=("$p"); done
  else
    echo "floor_playback.sh: --install needs root; ${missing[*]} left out" >&2
  fi
fi

work=$(mktemp -d)
started=() # every server process this script started, stopped at the end
stop_servers() {
  local p
  for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null || true; done
  started=()
}
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT

# Pink noise, 44.1 kHz stereo: long enough for the settling seconds and the measured span.
track=$((seconds + 15))
sox -n -r 44100 -c 2 -b 16 "$work/t.wav" synth "$track" pinknoise vol 0.3
lame --quiet --cbr -b 128 "$work/t.wav" "$work/t.mp3"

fail() { echo "floor_playback.sh: $1 failed:" >&2; cat "$work/err" >&2; exit 1; }
field() { sed -n "s/.*\\b$1=\\([0-9.]*\\).*/\\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }
kind_name() { [[ $1 == mp3 ]] && echo "MP3 128 kbps" || echo "WAV 16-bit"; }

declare -A floor_cpu floor_wakes
for kind in mp3 wav; do
  out=$("$floor_bin" floor "$work/t.$kind" "$seconds" 2>"$work/err") || fail "the floor of $kind"
  floor_cpu[$kind]=$(field cpu_percent "$out")
  floor_wakes[$kind]=$(field wakes_per_s "$out")
done

rows=()
cmds=()
streams=()
# What each run measured, by "server kind program": CPU, wake-ups, the server's CPU.
declare -A got_cpu got_wakes got_server got_data
row() { # label kind cpu wakes [server cpu, server wakes]
  rows+=("$(printf '%-46s %8.3f %% %8.3f %% %7sx %9.1f%s' "$1" "$3" "${floor_cpu[$2]}" \
    "$(ratio "$3" "${floor_cpu[$2]}")" "$4" "${5:+   server $5 % $6/s}")")
}

# CPU seconds of processes, all their threads, from the scheduler's nanosecond counts in
# /proc (the clock ticks of /proc/PID/stat are too coarse for a server at 0.3 %).
proc_cpu() {
  local p
  for p in "$@"; do cat /proc/"$p"/task/*/schedstat 2>/dev/null || true; done |
    awk '{ ns += $1 } END { printf "%.6f", ns / 1e9 }'
}
# Voluntary context switches of all a process's threads.
proc_wakes() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }'; }
now() { date +%s.%N; }
sleep_until() { local d; d=$(awk -v t="$1" -v n="$(now)" 'BEGIN { d = t - n; print (d > 0 ? d : 0) }'); sleep "$d"; }
percent() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.3f", 100 * (b - a) / s }'; }

server_pids=()
server_env=()
# The server's CPU is taken over the same window for every program, from 4 s after its
# start (past the settling second and an idle null sink's wait of up to 2 s before a new
# client's sound flows) to SECONDS + 1 s after its start, while it surely plays. The program's own figures are those it prints itself
# (over its own span of SECONDS) or, for the other players, taken over that same window.
# Prints the server's CPU share; leaves its wake-ups a second in $work/swakes and the
# stream's application name in $work/stream.
server_wakes() {
  local p n=0
  for p in "${server_pids[@]}"; do n=$((n + $(proc_wakes "$p"))); done
  echo "$n"
}
server_window() { # start-time pid
  local s0 s1 t0 t1 w0 w1
  sleep_until "$(awk -v s="$1" 'BEGIN { printf "%.6f", s + 4 }')"
  t0=$(now); s0=$(proc_cpu "${server_pids[@]}"); w0=$(server_wakes)
  env "${server_env[@]}" pactl list sink-inputs 2>/dev/null |
    sed -n 's/^[[:space:]]*application.name = "\(.*\)"/\1/p' | sort -u | paste -sd, - >"$work/stream" || true
  if [[ -n ${2:-} ]]; then
    echo "$(proc_cpu "$2") $(proc_wakes "$2")" >"$work/own0"
  fi
  sleep_until "$(awk -v s="$1" -v n="$seconds" 'BEGIN { printf "%.6f", s + n + 1 }')"
  s1=$(proc_cpu "${server_pids[@]}"); w1=$(server_wakes); t1=$(now)
  awk -v a="$w0" -v b="$w1" -v s="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    'BEGIN { printf "%.1f", (b - a) / s }' >"$work/swakes"
  if [[ -n ${2:-} ]]; then
    echo "$(proc_cpu "$2") $(proc_wakes "$2") $(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" >"$work/own1"
  fi
  percent "$s0" "$s1" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')"
}

extra_env=() # added to the player's environment (the output it is to choose)
run_driver() { # label (e.g. "pulse:"), server key, or "" for no server
  local label=$1 key=$2 kind prog out name start pid server
  server_env+=("${extra_env[@]}")
  # SDL's output alone at the back end's period, fed silence: what its thread costs by itself.
  out=$(env "${server_env[@]}" "$floor_bin" output - "$seconds" 2>"$work/err") || fail "SDL's output alone"
  row "$label SDL output alone, silence" wav "$(field cpu_percent "$out")" "$(field wakes_per_s "$out")"
  for kind in mp3 wav; do
    name=$(kind_name "$kind")
    for prog in back-end player; do
      start=$(now)
      if [[ $prog == back-end ]]; then
        env "${server_env[@]}" "$floor_bin" play "$work/t.$kind" "$seconds" >"$work/out" 2>"$work/err" &
      else
        env "${server_env[@]}" QT_QPA_PLATFORM=offscreen "$player_bin" "$seconds" "$work/t.$kind" \
          >"$work/out" 2>"$work/err" &
      fi
      pid=$!
      server=
      [[ -n $key ]] && server=$(server_window "$start" "")
      wait "$pid" || fail "the $prog playing $kind ($label)"
      out=$(<"$work/out")
      row "$label $name, $prog" "$kind" "$(field cpu_percent "$out")" "$(field wakes_per_s "$out")" "$server" \
        "$([[ -n $key ]] && cat "$work/swakes")"
      [[ $out == *threads:* ]] && rows+=("$(printf '%-46s %s' "" "by thread/s:${out#*threads:}" | sed 's/ pause_ms=.*//')")
      got_cpu["$key $kind $prog"]=$(field cpu_percent "$out")
      got_wakes["$key $kind $prog"]=$(field wakes_per_s "$out")
      got_data["$key $kind $prog"]=$(field zolm-pw-data "$out")
      got_server["$key $kind $prog"]=$server
      [[ -n $key ]] && streams+=("$label $name, $prog: the server lists its stream as \"$(<"$work/stream")\"")
      if [[ $prog == back-end ]]; then
        cmds+=("$(printf '%-30s pause %6s ms, resume %6s ms, seek %6s ms, close %6s ms' "$label $name:" \
          "$(field pause_ms "$out")" "$(field resume_ms "$out")" "$(field seek_ms "$out")" "$(field close_ms "$out")")")
      fi
    done
  done
  ((${#extra_env[@]})) && server_env=("${server_env[@]:0:${#server_env[@]}-${#extra_env[@]}}")
  return 0
}

# Other players on the same server and files, measured from outside over the same window.
others() { # label key
  local label=$1 key=$2 kind name prog start pid server own0 own1 cpu wakes
  for kind in mp3 wav; do
    name=$(kind_name "$kind")
    for prog in mpv mpv-pw mpg123 paplay; do
      command -v "${prog%-pw}" >/dev/null || continue
      [[ $prog == mpv-pw && $key != pipewire ]] && continue
      [[ $prog == mpg123 && $kind != mp3 ]] && continue # it plays MPEG audio only
      start=$(now)
      case $prog in
      mpv) env "${server_env[@]}" mpv --no-config --no-terminal --no-video --ao=pulse "$work/t.$kind" >/dev/null 2>"$work/err" & ;;
      mpv-pw) env "${server_env[@]}" mpv --no-config --no-terminal --no-video --ao=pipewire "$work/t.$kind" >/dev/null 2>"$work/err" & ;;
      mpg123) env "${server_env[@]}" mpg123 -q -o pulse "$work/t.$kind" >/dev/null 2>"$work/err" & ;;
      paplay) env "${server_env[@]}" paplay "$work/t.$kind" >/dev/null 2>"$work/err" & ;;
      esac
      pid=$!
      server=$(server_window "$start" "$pid")
      if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" 2>/dev/null || true
        echo "floor_playback.sh: $prog stopped before the window ended ($label $kind); left out:" >&2
        cat "$work/err" >&2
        continue
      fi
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      read -r -a own0 <"$work/own0"
      read -r -a own1 <"$work/own1"
      cpu=$(percent "${own0[0]}" "${own1[0]}" "${own1[2]}")
      wakes=$(awk -v a="${own0[1]}" -v b="${own1[1]}" -v s="${own1[2]}" 'BEGIN { printf "%.1f", (b - a) / s }')
      row "$label $name, $prog" "$kind" "$cpu" "$wakes" "$server" "$(<"$work/swakes")"
      got_cpu["$key $kind $prog"]=$cpu
      got_wakes["$key $kind $prog"]=$wakes
      got_server["$key $kind $prog"]=$server
      streams+=("$label $name, $prog: the server lists its stream as \"$(<"$work/stream")\"")
    done
  done
}

wait_for_sink() { # server env must be set; true once the server lists a sink (not the stand-in for none)
  local _
  for _ in $(seq 100); do
    env "${server_env[@]}" pactl list short sinks 2>/dev/null | grep -v auto_null | grep -q . && return 0
    sleep 0.1
  done
  return 1
}

# A private runtime directory and home, so nothing reaches the user's own server.
private_dirs() { # name
  mkdir -p "$work/$1/home" "$work/$1/run"
  chmod 700 "$work/$1/run"
  server_env=(HOME="$work/$1/home" XDG_RUNTIME_DIR="$work/$1/run" XDG_CONFIG_HOME="$work/$1/home/.config"
    PULSE_RUNTIME_PATH="$work/$1/run/pulse")
}

# On SDL's dummy driver nothing may reach a sound server, the user's least of all: a
# private runtime directory, and a server address where none answers.
private_dirs none
server_env+=(PULSE_SERVER="unix:$work/none/run/no-server")
SDL_AUDIODRIVER=dummy run_driver "dummy:" ""

servers=()
# Measures the player and the others on the private server just started, once its sink is
# there; otherwise shows the server's logs. Arguments: the server's name, its log files.
measure_on_server() {
  local name=$1
  shift
  if wait_for_sink; then
    servers+=("$name")
    [[ $name == pipewire ]] && extra_env=(ZOLM_AUDIO_SERVER=pulse)
    SDL_AUDIODRIVER=pulseaudio run_driver "$name:" "$name"
    extra_env=()
    if [[ $name == pipewire ]]; then
      servers+=(pw-native)
      extra_env=(ZOLM_AUDIO_SERVER=pipewire)
      SDL_AUDIODRIVER=pulseaudio run_driver "pw-native:" pw-native
      extra_env=()
    fi
    others "$name:" "$name"
  else
    echo "floor_playback.sh: the private $name did not start; its logs:" >&2
    cat "$@" >&2
  fi
}

if command -v pulseaudio >/dev/null && command -v pactl >/dev/null; then
  private_dirs pa
  env "${server_env[@]}" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=no \
    -L module-null-sink -L "module-native-protocol-unix socket=$work/pa.sock auth-anonymous=1" \
    >"$work/pa.log" 2>&1 &
  started+=($!)
  server_pids=($!)
  server_env+=(PULSE_SERVER="unix:$work/pa.sock")
  measure_on_server pulse "$work/pa.log"
  stop_servers
fi

# PipeWire with its PulseAudio service (pipewire-bin ships the pipewire-pulse program),
# wireplumber linking the streams to a null sink loaded through the PulseAudio service; a
# private session bus for wireplumber. Debian 12 installs these beside pulseaudio.
if command -v pipewire >/dev/null && command -v pipewire-pulse >/dev/null && command -v wireplumber >/dev/null &&
  command -v pactl >/dev/null && command -v dbus-daemon >/dev/null; then
  private_dirs pw
  env "${server_env[@]}" dbus-daemon --session --nofork --print-address=3 3>"$work/pw.bus" >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 50); do [[ -s $work/pw.bus ]] && break; sleep 0.1; done
  server_env+=(DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/pw.bus")" PULSE_SERVER="unix:$work/pw/run/pulse/native")
  env "${server_env[@]}" pipewire >"$work/pw.log" 2>&1 &
  started+=($!)
  server_pids=($!)
  for _ in $(seq 50); do [[ -S $work/pw/run/pipewire-0 ]] && break; sleep 0.1; done
  env "${server_env[@]}" wireplumber >"$work/wp.log" 2>&1 &
  started+=($!)
  server_pids+=($!)
  env "${server_env[@]}" pipewire-pulse >"$work/pwp.log" 2>&1 &
  started+=($!)
  server_pids+=($!)
  # Without a card the session manager makes no sink, and the stand-in for none is heard by
  # nobody (a player stands paused there): a null sink, the default, as on the PulseAudio server.
  for _ in $(seq 100); do env "${server_env[@]}" pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  env "${server_env[@]}" pactl load-module module-null-sink sink_name=bench >/dev/null 2>&1 || true
  env "${server_env[@]}" pactl set-default-sink bench 2>/dev/null || true
  measure_on_server pipewire "$work/pw.log" "$work/wp.log" "$work/pwp.log"
  stop_servers
fi

printf '%-46s %10s %10s %8s %9s\n' "CPU of one core while playing, ${seconds} s" "figure" "floor" "ratio" "wakes/s"
printf '%s\n' "${rows[@]}"
echo "Time the back end's commands take to return (must stay well under 100 ms):"
printf '  %s\n' "${cmds[@]}"
printf 'floor MP3: bare libmpg123 decoding paced in real time: %.3f %% (%s wakes/s)\n' "${floor_cpu[mp3]}" "${floor_wakes[mp3]}"
printf 'floor WAV: reading the file paced in real time:        %.3f %% (%s wakes/s)\n' "${floor_cpu[wav]}" "${floor_wakes[wav]}"
if ((${#servers[@]})); then
  echo "server: the sound server's own CPU and wake-ups (pipewire: pipewire + wireplumber + pipewire-pulse) over $((seconds - 3)) s"
  echo "  of each run, from 4 s after its start; the other players' own figures are taken over that window too"
  printf '  %s\n' "${streams[@]}"
  for p in "${missing[@]}"; do
    echo "  $p is not installed: its rows are left out, and the aims compare with the others alone (--install as root)"
  done
  command -v qmmp >/dev/null || echo "  qmmp is not installed (not measured here in any case)"
  echo "Aims (player: the whole player, offscreen):"
  verdict() { awk -v c="$1" 'BEGIN { print c ? "met" : "NOT met" }'; }
  for key in "${servers[@]}"; do
    for kind in mp3 wav; do
      name=$(kind_name "$kind")
      mine=${got_server["$key $kind player"]:-}
      [[ -z $mine ]] && continue
      best= bestname=
      for prog in mpv mpv-pw mpg123; do
        v=${got_server["${key/pw-native/pipewire} $kind $prog"]:-}
        [[ -z $v ]] && continue
        if [[ -z $best ]] || awk -v a="$v" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$v bestname=$prog; fi
      done
      if [[ -n $best ]]; then
        printf '  %-9s %-13s server CPU for this player %7.3f %%, at most the least of the others (%s %.3f %%): %s\n' \
          "$key" "$name" "$mine" "$bestname" "$best" "$(verdict "$(awk -v a="$mine" -v b="$best" 'BEGIN { print a <= b }')")"
      else
        printf '  %-9s %-13s server CPU for this player %7.3f %%: no other player to compare with\n' "$key" "$name" "$mine"
      fi
      w=${got_wakes["$key $kind player"]}
      d=${got_data["$key $kind player"]:-}
      if [[ -n $d ]]; then # the native output: the graph wakes its data thread once a cycle
        rest=$(awk -v a="$w" -v b="$d" 'BEGIN { printf "%.1f", a - b }')
        printf '  %-9s %-13s player wake-ups %.1f/s, at most 4/s: %s; of them the graph'"'"'s data thread %.1f/s, the other threads %.1f/s: %s\n' \
          "$key" "$name" "$w" "$(verdict "$(awk -v a="$w" 'BEGIN { print a <= 4 }')")" "$d" "$rest" \
          "$(verdict "$(awk -v a="$rest" 'BEGIN { print a <= 4 }')")"
      else
        printf '  %-9s %-13s player wake-ups %.1f/s, at most 4/s: %s\n' "$key" "$name" "$w" \
          "$(verdict "$(awk -v a="$w" 'BEGIN { print a <= 4 }')")"
      fi
      c=${got_cpu["$key $kind player"]}
      if [[ $kind == mp3 ]]; then
        printf '  %-9s %-13s player CPU %.3f %% = %sx decoding alone (%.3f %%), at most 1.2x: %s\n' "$key" "$name" "$c" \
          "$(awk -v a="$c" -v b="${floor_cpu[mp3]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" "${floor_cpu[mp3]}" \
          "$(verdict "$(awk -v a="$c" -v b="${floor_cpu[mp3]}" 'BEGIN { print a <= 1.2 * b }')")"
      else
        printf '  %-9s %-13s player CPU %.3f %% = reading alone (%.3f %%) + %s %% of a core, at most + 0.03 %%: %s\n' \
          "$key" "$name" "$c" "${floor_cpu[wav]}" \
          "$(awk -v a="$c" -v b="${floor_cpu[wav]}" 'BEGIN { printf "%.3f", a - b }')" \
          "$(verdict "$(awk -v a="$c" -v b="${floor_cpu[wav]}" 'BEGIN { print a - b <= 0.03 }')")"
      fi
    done
  done
fi
exit 0
