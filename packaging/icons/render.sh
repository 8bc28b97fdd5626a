#!/bin/sh
# Renders the large hicolor PNGs from the SVG (ImageMagick). The PNGs are committed,
# so building the package needs no image tools. The small ones (16 to 48, the sizes
# trays and title bars show) are the program's own drawing, pixel for pixel, written by
#   ZOLM_WRITE_ICONS=1 QT_QPA_PLATFORM=offscreen build/tests/info/tst_contrast programIconIsSharpAtEverySize
set -eu
cd "$(dirname "$0")"
for s in 64 128 256; do
  mkdir -p "${s}x${s}"
  convert -background none -density $((s * 3)) scalable/zolm-player.svg -resize "${s}x${s}" \
    "PNG32:${s}x${s}/zolm-player.png"
done
