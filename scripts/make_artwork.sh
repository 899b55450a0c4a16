#!/usr/bin/env bash
# Rebuilds the sample window background and icon in Resources/ with ImageMagick.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/Resources"
convert -size 665x517 gradient:'#10233f'-'#04070d' \
  \( -size 665x517 radial-gradient:'#2b6cb0'-none -crop 665x517+180+0 +repage -resize 665x517! -channel A -evaluate multiply 0.45 +channel \) -composite \
  -fill none -stroke '#3a8dde' -strokewidth 3 -draw "circle 500,250 500,150" \
  -stroke '#f2c94c' -strokewidth 2 -draw "arc 380,130 620,370 200,330" \
  -stroke none -fill '#f9f9f9' -draw "rectangle 0,470 665,517" \
  -fill '#3a8dde' -draw "rectangle 0,466 665,470" \
  -depth 8 "$out/background.png"
convert -size 256x256 xc:none -fill '#10233f' -draw "roundrectangle 8,8 248,248 40,40" \
  -fill none -stroke '#3a8dde' -strokewidth 18 -draw "circle 128,128 128,52" \
  -stroke '#f2c94c' -strokewidth 14 -draw "line 128,80 128,150" \
  -define icon:auto-resize=256,64,48,32,16 "$out/AppIcon.ico"
echo "wrote $out/background.png and $out/AppIcon.ico"
