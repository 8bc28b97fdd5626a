#!/usr/bin/env bash
# Time from process start to the main window's first paint, and resident memory
# then, over several starts under Xvfb. Usage: bench_startup.sh path/to/zolm-player [runs]
set -euo pipefail
player=$(readlink -f "$1")
runs=${2:-15}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
: > rez.dat
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  for i in $(seq "$1"); do ZOLM_REPORT_FIRST_PAINT=1 SDL_AUDIODRIVER=dummy "$0"; done' "$player" "$runs" > runs.txt
python3 - runs.txt <<'PY'
import sys, statistics
paint, rss = [], []
for line in open(sys.argv[1]):
    parts = line.split()
    if parts and parts[0] == 'first-paint-ms':
        paint.append(float(parts[1])); rss.append(float(parts[3]))
print(f"start to first paint: median {statistics.median(paint):.1f} ms (best {min(paint):.1f}, worst {max(paint):.1f}) over {len(paint)} starts")
print(f"resident memory at first paint: median {statistics.median(rss):.1f} MB")
PY
