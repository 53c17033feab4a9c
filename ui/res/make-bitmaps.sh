#!/usr/bin/env bash
# Remakes the window's pictures (24-bit BMP) and the icon with ImageMagick:
# bash ui/res/make-bitmaps.sh. The results are committed, so the build needs
# neither ImageMagick nor a network.
# Palette: headline blue #024DF6, navy #0B2A6F, light blue #CFE9FE (the
# message dialog), white, and amber #FFB020 for whatever is under the pointer.
set -euo pipefail
cd "$(dirname "$0")"
out=bmp
mkdir -p "$out"

BLUE='#024DF6'
NAVY='#0B2A6F'
LIGHT='#CFE9FE'
AMBER='#FFB020'
MUTED='#5E82E8'
MUTED_TEXT='#B8CBF7'
GREY='#5A6B8C'
RED='#D9362B'
BOLD=DejaVu-Sans-Bold
PLAIN=DejaVu-Sans

bmp() {  # bmp SOURCE... OUT: flatten to 24 bits without alpha
    local target="${*: -1}"
    convert "${@:1:$#-1}" -alpha off -type TrueColor "BMP3:$out/$target"
}

# --- Background 527 x 338: magenta (0xFF00FF) outside the shape. ---
W=527 H=338
convert -size ${W}x${H} xc:white \
    -fill "$BLUE" -draw "rectangle 0,0 $W,104" \
    -fill '#1A5EF7' -draw "path 'M 0,104 C 140,86 300,122 527,96 L 527,104 Z'" \
    -fill "$LIGHT" -draw "rectangle 0,278 $W,$H" \
    -fill "$BLUE" -draw "rectangle 0,278 $W,279" \
    -font $BOLD -pointsize 17 -fill white -annotate +18+26 'QUELLIX' \
    -font $PLAIN -pointsize 11 -fill "$LIGHT" -annotate +110+26 'Ver 7.0   virus removal tool' \
    /tmp/qx-bg-art.png
# The shape: a rounded card with a hard edge (no blended pixels at the border).
convert -size ${W}x${H} xc:black +antialias -fill white \
    -draw "roundrectangle 0,0 $((W - 1)),$((H - 1)) 22,22" /tmp/qx-bg-mask.png
convert -size ${W}x${H} xc:'#FF00FF' /tmp/qx-bg-art.png /tmp/qx-bg-mask.png -composite \
    /tmp/qx-bg.png
bmp /tmp/qx-bg.png background.bmp

# --- Pill buttons on the blue band: SCAN and DOWNLOAD, 180 x 33. ---
pill() {  # pill W H BACK FILL TEXT-COLOUR FONT-SIZE LABEL GLYPH OUT
    local w=$1 h=$2 back=$3 fill=$4 ink=$5 size=$6 label=$7 glyph=$8 target=$9
    local r=$((h / 2))
    local glyphDraw=()
    case "$glyph" in
        scan) glyphDraw=(-stroke "$ink" -strokewidth 3 -fill none
                         -draw "circle 27,15 27,22" -draw "line 32,20 37,26" -stroke none) ;;
        down) glyphDraw=(-stroke "$ink" -strokewidth 3 -fill none
                         -draw "line 28,7 28,21" -draw "polyline 22,16 28,22 34,16"
                         -draw "line 20,26 36,26" -stroke none) ;;
    esac
    local x=$((w / 2))
    [ -n "$glyph" ] && x=$((w / 2 + 12))
    convert -size ${w}x${h} xc:"$back" -fill "$fill" \
        -draw "roundrectangle 1,1 $((w - 2)),$((h - 2)) $r,$r" \
        "${glyphDraw[@]}" \
        -font $BOLD -pointsize "$size" -fill "$ink" -gravity West \
        -annotate +$((x - $(text_width "$label" "$size") / 2))+0 "$label" \
        "/tmp/qx-pill.png"
    bmp /tmp/qx-pill.png "$target"
}
text_width() {  # text_width TEXT SIZE: pixel width in the bold face
    convert -font $BOLD -pointsize "$2" label:"$1" -format '%w' info:
}
for stem in SCAN DOWNLOAD; do
    glyph=scan
    [ "$stem" = DOWNLOAD ] && glyph=down
    lower=$(tr 'A-Z' 'a-z' <<<"$stem")
    pill 180 33 "$BLUE" white "$BLUE" 15 "$stem" $glyph "${lower}_notfocus.bmp"
    pill 180 33 "$BLUE" "$AMBER" "$NAVY" 15 "$stem" $glyph "${lower}_focus.bmp"
    pill 180 33 "$BLUE" "$MUTED" "$MUTED_TEXT" 15 "$stem" $glyph "${lower}_disable.bmp"
done

# --- Dialog buttons on light blue: OK, CANCEL, YES, NO, 92 x 24. ---
for stem in OK CANCEL YES NO; do
    lower=$(tr 'A-Z' 'a-z' <<<"$stem")
    pill 92 24 "$LIGHT" "$BLUE" white 11 "$stem" "" "${lower}_notfocus.bmp"
    pill 92 24 "$LIGHT" "$AMBER" "$NAVY" 11 "$stem" "" "${lower}_focus.bmp"
done

# --- X, 21 x 21, on the blue band. ---
convert -size 21x21 xc:"$BLUE" -stroke white -strokewidth 1.5 -fill none \
    -draw "circle 10,10 10,1" -strokewidth 2 -draw "line 7,7 13,13" -draw "line 13,7 7,13" \
    /tmp/qx-x.png
bmp /tmp/qx-x.png x_notfocus.bmp
convert -size 21x21 xc:"$BLUE" -fill "$AMBER" -stroke none -draw "circle 10,10 10,0" \
    -stroke "$NAVY" -strokewidth 2 -draw "line 7,7 13,13" -draw "line 13,7 7,13" /tmp/qx-x.png
bmp /tmp/qx-x.png x_focus.bmp

# --- DLINK, 313 x 43, on white: the suite offer. ---
dlink() {  # dlink CIRCLE TITLE-COLOUR UNDERLINE OUT
    local extra=()
    [ "$3" = yes ] && extra=(-fill "$2" -draw "rectangle 48,20 246,21")
    convert -size 313x43 xc:white -fill "$1" -draw "circle 21,21 21,3" \
        -stroke white -strokewidth 3 -fill none -draw "line 21,11 21,27" \
        -draw "polyline 15,21 21,27 27,21" -draw "line 13,32 29,32" -stroke none \
        -font $BOLD -pointsize 13 -fill "$2" -annotate +48+18 'Get the Stavelor antivirus suite' \
        "${extra[@]}" \
        -font $PLAIN -pointsize 11 -fill "$GREY" -annotate +48+36 'Full-time protection for your computer' \
        /tmp/qx-dlink.png
    bmp /tmp/qx-dlink.png "$4"
}
dlink "$BLUE" "$BLUE" no dlink_notfocus.bmp
dlink "$AMBER" "$NAVY" yes dlink_focus.bmp

# --- ULINK, 244 x 28, on the light-blue footer. ---
ulink() {  # ulink COLOUR UNDERLINE OUT
    local extra=()
    [ "$2" = yes ] && extra=(-fill "$1" -draw "rectangle 8,20 215,20")
    convert -size 244x28 xc:"$LIGHT" -font $BOLD -pointsize 12 -fill "$1" \
        -annotate +8+18 'More free Keldora utilities  >>' "${extra[@]}" /tmp/qx-ulink.png
    bmp /tmp/qx-ulink.png "$3"
}
ulink "$BLUE" no ulink_notfocus.bmp
ulink "$NAVY" yes ulink_focus.bmp

# --- KELDORALOGO, 38 x 36, on the light-blue footer: a shield with a K. ---
logo() {  # logo FILL OUT
    convert -size 38x36 xc:"$LIGHT" -fill "$1" \
        -draw "path 'M 19,2 L 34,7 L 33,20 C 31,28 25,32 19,34 C 13,32 7,28 5,20 L 4,7 Z'" \
        -font $BOLD -pointsize 17 -fill white -gravity center -annotate +0+0 'K' /tmp/qx-logo.png
    bmp /tmp/qx-logo.png "$2"
}
logo "$BLUE" keldoralogo_notfocus.bmp
logo "$NAVY" keldoralogo_focus.bmp

# --- Message pictures, 42 x 40, on light blue. The picture control shows the
# top-left 37 x 39 pixels, so each sign sits there. ---
sign() {  # sign SHAPE COLOUR GLYPH OUT [GLYPH-COLOUR]
    local shape
    case "$1" in
        circle) shape=(-draw "circle 18,19 18,3") ;;
        triangle) shape=(-draw "polygon 18,3 35,34 1,34") ;;
        octagon) shape=(-draw "polygon 12,3 24,3 34,13 34,25 24,35 12,35 2,25 2,13") ;;
    esac
    local dy=0
    [ "$1" = triangle ] && dy=4
    convert -size 42x40 xc:"$LIGHT" -fill "$2" "${shape[@]}" \
        -font $BOLD -pointsize 21 -fill "${5:-white}" -gravity NorthWest \
        -annotate +$((18 - $(text_width "$3" 21) / 2))+$((6 + dy)) "$3" /tmp/qx-sign.png
    bmp /tmp/qx-sign.png "$4"
}
sign triangle "$AMBER" '!' picture147.bmp "$NAVY"
sign circle "$BLUE" 'i' picture177.bmp
sign circle "$NAVY" '?' picture178.bmp
sign octagon "$RED" 'x' picture179.bmp

# --- Icon: a blue rounded square with a white shield and magnifier. ---
icon_png() {  # icon_png SIZE OUT
    local s=$1
    convert -size 64x64 xc:none -fill "$BLUE" -draw "roundrectangle 0,0 63,63 12,12" \
        -fill white -draw "path 'M 32,8 L 52,15 L 51,32 C 49,44 41,51 32,55 C 23,51 15,44 13,32 L 12,15 Z'" \
        -fill "$BLUE" -draw "circle 30,29 30,19" -fill white -draw "circle 30,29 30,24" \
        -stroke "$BLUE" -strokewidth 5 -draw "line 36,35 44,43" \
        -resize ${s}x${s} "$2"
}
icon_png 16 /tmp/qx-icon16.png
icon_png 32 /tmp/qx-icon32.png
icon_png 48 /tmp/qx-icon48.png
convert /tmp/qx-icon16.png /tmp/qx-icon32.png /tmp/qx-icon48.png quellix.ico
rm -f /tmp/qx-*.png
echo "made: $(ls "$out" | wc -l) bitmaps and quellix.ico"
