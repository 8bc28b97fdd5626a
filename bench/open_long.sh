#!/usr/bin/env bash
# How long opening a 3-hour MP3 takes, cold, with and without a header that counts its
# frames (an Info header; without one the whole file is scanned for the length), the page
# cache dropped before each: on the local disk, and through tests/common/slowfs (which
# serves every read itself, so no cache above it helps), unlimited and limited to RATE
# bytes a second (default 8 MB/s, a slow USB stick or a busy share). bench/open_long does
# the opening.
#
#   bench/open_long.sh BUILD_DIR [RATE]
set -euo pipefail
build=$(readlink -f "${1:?usage: open_long.sh BUILD_DIR [RATE]}")
rate=${2:-8000000}
probe=$build/bench/open_long
slowfs=$build/tests/common/slowfs
for b in "$probe" "$slowfs"; do
  [[ -x $b ]] || { echo "open_long.sh: $b is missing (build with tests and benchmarks on, libfuse3-dev installed)" >&2; exit 1; }
done
for t in sox lame python3; do command -v "$t" >/dev/null || { echo "open_long.sh: $t is needed" >&2; exit 1; }; done
work=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
fs=()
cleanup() {
  local p
  for p in "${fs[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  for m in "$work"/mnt*; do mountpoint -q "$m" && umount -l "$m"; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/src"
# Ten seconds of CBR 128 kbit/s without a header, its frames repeated to three hours (each
# copy's first frame takes nothing from the frames before it); then the same frames behind
# an Info frame that counts them.
sox -n -r 44100 -c 2 -b 16 "$work/t.wav" synth 10 pinknoise vol 0.3
lame --quiet --cbr -b 128 -t "$work/t.wav" "$work/t.mp3"
python3 - "$work/t.mp3" "$work/src" <<'PY'
import sys, struct
one = open(sys.argv[1], 'rb').read()
copies = 3 * 3600 // 10
bitrates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
frames, pos = 0, 0
while pos + 4 <= len(one):
    h = one[pos:pos + 4]
    assert h[0] == 0xFF and (h[1] & 0xE0) == 0xE0, 'frames only'
    pos += 144000 * bitrates[h[2] >> 4] // 44100 + ((h[2] >> 1) & 1)
    frames += 1
with open(sys.argv[2] + '/plain.mp3', 'wb') as f:
    for _ in range(copies):
        f.write(one)
# The Info frame: the first frame's header, unpadded, side information zero, then the tag.
head = bytes([one[0], one[1], one[2] & ~2, one[3]])
size = 144000 * 128 // 44100
total = frames * copies
info = head + bytes(32) + b'Info' + struct.pack('>III', 3, total, size + len(one) * copies)
with open(sys.argv[2] + '/info.mp3', 'wb') as f:
    f.write(info + bytes(size - len(info)))
    for _ in range(copies):
        f.write(one)
print(f"two files of {total} frames ({total * 1152 / 44100 / 3600:.2f} h), {len(one) * copies / 1e6:.0f} MB")
PY

open_cold() { # label dir
  local f
  for f in info plain; do
    sync # the files under slowfs are in the page cache too
    echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || echo "  (the page cache could not be dropped: warm)"
    printf '%-34s %-6s ' "$1" "$f:"
    "$probe" "$2/$f.mp3" | sed 's/^[^:]*: //'
  done
}
mount_slowfs() { # dir rate
  mkdir "$1"
  "$slowfs" "$work/src" "$1" "$2" &
  fs+=($!)
  for _ in $(seq 100); do [[ -e $1/info.mp3 ]] && return 0; sleep 0.05; done
  echo "open_long.sh: slowfs did not mount" >&2
  exit 1
}
open_cold "local disk, cache dropped" "$work/src"
mount_slowfs "$work/mnt-fast" 0
open_cold "slowfs, unlimited" "$work/mnt-fast"
mount_slowfs "$work/mnt-slow" "$rate"
open_cold "slowfs, $((rate / 1000000)) MB/s" "$work/mnt-slow"
