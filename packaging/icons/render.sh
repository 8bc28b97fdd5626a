#!/bin/sh
# Renders the hicolor PNGs from the SVG (ImageMagick). The PNGs are committed,
# so building the package needs no image tools.
set -eu
cd "$(dirname "$0")"
for s in 16 22 24 32 48 64 128 256; do
  mkdir -p "${s}x${s}"
  convert -background none -density $((s * 3)) scalable/zolm-player.svg -resize "${s}x${s}" \
    "PNG32:${s}x${s}/zolm-player.png"
done
