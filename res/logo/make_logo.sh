#!/bin/bash
# Draws the login dialog's logo (logo.png, 240 x 56, transparent background).
set -euo pipefail
cd "$(dirname "$0")"
FONT=${HELP_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
CONVERT=${CONVERT:-/usr/bin/convert}
[ -x "$CONVERT" ] || CONVERT=convert
"$CONVERT" -size 240x56 xc:none -font "$FONT" \
  -fill "#1d5fa8" -stroke none -draw "roundrectangle 2,4 50,52 10,10" \
  -fill white -draw "polygon 10,34 26,14 44,22 30,26 40,44 24,30" \
  -fill "#1d5fa8" -pointsize 24 -annotate +60+28 "Kestrava" \
  -fill "#d04000" -pointsize 15 -annotate +60+49 "沪牌拍牌助手" \
  PNG32:logo.png
