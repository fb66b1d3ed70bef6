#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG with ImageMagick.
# The PNGs are kept in the repository; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/hicolor"
for size in 16 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  convert -background none -density $((size * 3 / 2)) scalable/apps/quillmere.svg \
    -resize "${size}x${size}" -strip "png32:${size}x${size}/apps/quillmere.png"
done
