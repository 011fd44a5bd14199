#!/bin/sh
# Pictures of the practice page and the console's reference pictures made from them.
#
#   make_pictures.sh icons <icons-dir>          draws the page's icons (PNG, committed)
#   make_pictures.sh references <icons-dir> <screenshot-dir>
#                                               the reference pictures the console searches for
#
# The network icon is a flat square whose wave marks differ from its ground by at most 38 in each
# colour channel. The console matches pictures with a tolerance of 40 per channel, so a copy of the
# icon scaled by the browser and one scaled here match whatever pixels the two resamplings pick;
# only the square's outline has to line up, which the page guarantees by placing the icon on
# whole device pixels at every display scale.
set -eu

CONVERT=${CONVERT:-convert}
FONT=${FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}

icon() {  # <out.png> <ground> <marks>
    "$CONVERT" -size 24x24 "xc:$2" -fill none -stroke "$3" -strokewidth 2 \
        -draw "arc 2,6 22,26 225,315" \
        -draw "arc 6,10 18,22 225,315" \
        -stroke none -fill "$3" -draw "circle 12,18 12,20" \
        -strip -define png:color-type=2 "PNG24:$1"
}

case "${1:-}" in
icons)
    out=$2
    mkdir -p "$out"
    icon "$out/wifi_green.png" '#1a8f3a' '#40b560'
    icon "$out/wifi_red.png" '#c0392b' '#e65f51'
    # The variant page's icon: 28 px, another shape and colour.
    "$CONVERT" -size 28x28 'xc:#1f5fa8' -fill '#3f7fc8' -stroke none \
        -draw 'rectangle 4,18 8,24' -draw 'rectangle 11,12 15,24' -draw 'rectangle 18,6 22,24' \
        -strip -define png:color-type=2 "PNG24:$out/signal_ok.png"
    "$CONVERT" -size 28x28 'xc:#a8441f' -fill '#c8643f' -stroke none \
        -draw 'rectangle 4,18 8,24' -draw 'rectangle 11,12 15,24' -draw 'rectangle 18,6 22,24' \
        -strip -define png:color-type=2 "PNG24:$out/signal_bad.png"
    "$CONVERT" -size 80x32 'xc:#2f6fb8' -fill none -stroke '#1d4f8a' -draw 'rectangle 0,0 79,31' \
        -stroke none -fill white -font "$FONT" -pointsize 16 -gravity center -annotate +0+0 '确 定' \
        -strip -define png:color-type=2 "PNG24:$out/ok.png"
    ;;
references)
    icons=$2
    out=$3
    mkdir -p "$out"
    bmp() { "$CONVERT" "$1" -alpha off -type TrueColor $2 "BMP3:$3"; }
    bmp "$icons/wifi_green.png" "" "$out/wifi_green.bmp"
    # File number → display scale: 2 1.25, 3 1.5, 4 2.0, 5 1.75, 6 2.25, 7 2.5 (24 px at scale 1).
    for pair in 2:30 3:36 4:48 5:42 6:54 7:60; do
        n=${pair%%:*}
        size=${pair#*:}
        bmp "$icons/wifi_green.png" "-filter point -resize ${size}x${size}!" "$out/wifi_green$n.bmp"
    done
    bmp "$icons/wifi_red.png" "" "$out/wifi_red.bmp"
    bmp "$icons/ok.png" "" "$out/ok.bmp"
    ;;
*)
    echo "usage: $0 icons <icons-dir> | references <icons-dir> <screenshot-dir>" >&2
    exit 2
    ;;
esac
