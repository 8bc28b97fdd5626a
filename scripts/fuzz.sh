#!/usr/bin/env bash
# Builds the media fuzz target with the release's clang in build-fuzz and fuzzes the open-and-decode
# path for the given number of seconds (default 60) from a small generated seed corpus.
# New inputs the fuzzer finds stay in build-fuzz/media-corpus; crashes land in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZOLM_FUZZ=ON -DZOLM_TESTS=OFF -DZOLM_BENCH=OFF -DZOLM_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target media_fuzz

seeds=build-fuzz/media-seeds
corpus=build-fuzz/media-corpus
mkdir -p "$seeds" "$corpus"
if [ ! -s "$seeds/size0.wav" ]; then # the newest seed: older seed folders are made afresh
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  sox -q -n -r 8000 -c 1 -b 16 "$seeds/mono8k.wav" synth 0.05 sine 440
  sox -q -n -r 22050 -c 2 -e floating-point -b 32 "$seeds/float.wav" synth 0.02 sine 300
  sox -q -n -r 44100 -c 2 -b 16 "$tmp/a.wav" synth 0.1 sine 440 synth 0.1 whitenoise amod 0.5
  lame --quiet -b 32 "$tmp/a.wav" "$seeds/stereo.mp3"
  lame --quiet -V 6 -t --resample 22.05 -m m "$tmp/a.wav" "$seeds/vbr-notag.mp3"
  printf 'ID3\x03\x00\x00\x00\x00\x00\x10TIT2\x00\x00\x00\x02\x00\x00\x00A\x00\x00\x00\x00' >"$seeds/tag-only.mp3"
  cat "$seeds/tag-only.mp3" "$seeds/stereo.mp3" >"$seeds/tagged.mp3"
  # Encodings that seek differently or not at all, a tag in front of a WAV, big-endian RIFX.
  sox -q -n -r 8000 -c 1 -e gsm-full-rate "$seeds/gsm.wav" synth 0.1 sine 440
  sox -q -n -r 8000 -c 1 -e a-law "$seeds/alaw.wav" synth 0.02 sine 440
  sox -q -n -r 8000 -c 2 -e u-law "$seeds/ulaw.wav" synth 0.02 sine 440
  sox -q -n -r 8000 -c 1 -e ima-adpcm "$seeds/ima.wav" synth 0.05 sine 440
  sox -q -n -r 8000 -c 2 -e ms-adpcm "$seeds/msadpcm.wav" synth 0.05 sine 440
  sox -q "$seeds/mono8k.wav" -B "$seeds/rifx.wav"
  cat "$seeds/tag-only.mp3" "$seeds/gsm.wav" >"$seeds/tagged-gsm.wav"
  # Free-format MPEG, and two frames followed by a trailer that is not a tag.
  lame --quiet --freeformat -b 48 -t --resample 8 -m m "$seeds/mono8k.wav" "$seeds/free.mp3"
  lame --quiet -b 32 -t "$tmp/a.wav" "$tmp/cbr.mp3"
  head -c 288 "$tmp/cbr.mp3" >"$seeds/two-junk.mp3" # 16 kHz, 32 kbit/s: 144 bytes a frame
  head -c 128 /dev/zero | tr '\0' 'Z' >>"$seeds/two-junk.mp3"
  # Float at 64 bits, surround (5.1 without a channel mask, 7.1 with one), a recording whose
  # RIFF and data sizes are still 0, and an MP3 that turns from mono to stereo.
  sox -q -n -r 8000 -c 1 -e floating-point -b 64 "$seeds/double.wav" synth 0.02 sine 300
  sox -q -n -r 8000 -c 6 -b 16 -t wavpcm "$seeds/surround51.wav" synth 0.02 sine 440
  sox -q -n -r 8000 -c 8 -b 16 "$seeds/surround71.wav" synth 0.01 sine 440
  cp "$seeds/mono8k.wav" "$seeds/size0.wav"
  printf '\0\0\0\0' | dd of="$seeds/size0.wav" bs=1 seek=4 conv=notrunc status=none
  printf '\0\0\0\0' | dd of="$seeds/size0.wav" bs=1 seek=40 conv=notrunc status=none
  lame --quiet -b 32 -t -m m "$tmp/a.wav" "$tmp/mono.mp3"
  cat "$tmp/mono.mp3" "$tmp/cbr.mp3" | head -c 4000 >"$seeds/mono-stereo.mp3"
fi

# libFuzzer reports every input that reaches new code, thousands of lines a minute: they
# go to a log, and the output gets the run's summary, or on a failure the fuzzer's report
# and the input that caused it.
log=build-fuzz/media-fuzz.log
# Anything after the seconds goes to libFuzzer as it stands (-seed=N to repeat a run).
extra=("${@:2}")
status=0
build-fuzz/tests/fuzz/media_fuzz -max_total_time="$seconds" -max_len=32768 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/ "${extra[@]}" "$corpus" "$seeds" \
  >"$log" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
  grep -E '^INFO: Seed:|^INFO: seed corpus:|^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs|^stat::' "$log" || true
else
  grep '^INFO: Seed:' "$log" || true
  echo "fuzz: the fuzzer failed (exit status $status); its report, from $log:"
  # The report starts at the first error line of the sanitizers or of libFuzzer; the
  # progress lines before it say nothing about the failure.
  awk '/^==[0-9]+==|runtime error: |^ALARM: / { on = 1 } on && shown++ < 200' "$log"
  artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
  if [ -n "$artifact" ] && [ -f "$artifact" ]; then
    size=$(stat -c %s "$artifact")
    echo "fuzz: the failing input, $size bytes: $artifact"
    od -A x -t x1z -v -N 4096 "$artifact"
    [ "$size" -le 4096 ] || echo "fuzz: (the first 4096 bytes shown; the whole input is in $artifact)"
    echo "fuzz: replay it with: build-fuzz/tests/fuzz/media_fuzz $artifact"
  else
    echo "fuzz: no failing input was saved; the whole log is $log"
  fi
  exit "$status"
fi
