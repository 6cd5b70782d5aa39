#!/usr/bin/env bash
# Regenerates the launcher's art (bitmaps 130 to 134 and the window icon) with ImageMagick.
# The images are committed; run this only after changing the look. Sizes and frame counts are
# fixed by the window layout: a control is exactly one frame of its strip.
set -euo pipefail
cd "$(dirname "$0")"
serif=/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf
sans=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
gold='#c9a45a'
gold_dark='#6e5526'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Background 130: 640 x 480, stored with 16 bits per pixel.
convert -size 640x480 gradient:'#241a14'-'#0a080b' \
  \( -size 640x96 gradient:'#3a2818'-'#150f0c' \) -geometry +0+0 -composite \
  -fill none -stroke "$gold_dark" -strokewidth 2 -draw 'rectangle 1,1 638,478' \
  -stroke "$gold" -strokewidth 1 -draw 'line 0,94 640,94' \
  -fill black -stroke "$gold_dark" -draw 'rectangle 5,95 634,426' \
  -stroke "$gold_dark" -fill '#120d0a' -draw 'rectangle 28,438 343,466' \
  -stroke "$gold_dark" -fill '#120d0a' -draw 'rectangle 492,434 620,475' \
  -stroke none -fill "$gold" -draw 'polygon 418,440 426,451 418,462 410,451' \
  -fill "$gold_dark" -draw 'polygon 432,451 484,449 484,453' -draw 'polygon 404,451 352,449 352,453' \
  \( -size 640x96 xc:none -font "$serif" -pointsize 46 -fill '#ffcf6a' -gravity center \
     -annotate +0-6 'VARNHOLT' -blur 0x6 \) -gravity northwest -geometry +0+0 -composite \
  -font "$serif" -pointsize 46 -fill "$gold" -stroke '#3a2810' -strokewidth 1 -gravity north \
  -annotate +0+14 'VARNHOLT' \
  -stroke none -font "$sans" -pointsize 11 -fill "$gold_dark" -annotate +0+70 'L A U N C H E R' \
  -gravity northwest -depth 8 "rgb:$tmp/background.rgb"
# ImageMagick writes 16-bit BMPs without their colour masks, so pack RGB565 here.
python3 - "$tmp/background.rgb" bitmaps/130.bmp 640 480 <<'PY'
import struct, sys
raw, out, w, h = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rgb = open(raw, 'rb').read()
rows = []
for y in range(h - 1, -1, -1):  # bottom-up
    row = bytearray()
    for x in range(w):
        r, g, b = rgb[(y * w + x) * 3:(y * w + x) * 3 + 3]
        row += struct.pack('<H', (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
    rows.append(bytes(row))
pixels = b''.join(rows)
offset = 14 + 40 + 12
header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
masks = struct.pack('<III', 0xF800, 0x07E0, 0x001F)
open(out, 'wb').write(header + info + masks + pixels)
PY

# Writes the four state frames of a button: normal, hover, pressed (drawn one pixel lower and
# to the right), disabled. $1 the frame-drawing function, called with fill, edge, ink, shift and
# the output; $2 the four looks as fill:edge:ink; the frames land in $tmp/frame0..3.png.
four_frames() {
  local draw=$1 i=0 fill edge ink
  for look in $2; do
    IFS=: read -r fill edge ink <<<"$look"
    "$draw" "$fill" "$edge" "$ink" "$([ $i -eq 2 ] && echo 1 || echo 0)" "$tmp/frame$i.png"
    i=$((i + 1))
  done
}

# The small square buttons (minimise 133, close 132), 19 x 19, 24 bits per pixel.
glyph=''
glyph_frame() {
  convert -size 19x19 gradient:"$1"-'#0d0a08' -fill none -stroke "$2" -draw 'rectangle 0,0 18,18' \
    -stroke "$3" -fill "$3" -draw "translate $4,$4 stroke-width 2 $glyph" "$5"
}
small_looks='#3b2a1a:#c9a45a:#e0c080 #5a3f22:#ffd98a:#fff0c0 #1e150d:#9a7a3c:#c9a45a #262220:#5a5550:#6a6560'
for button in '133:line 5,13 13,13' '132:line 5,5 13,13 line 13,5 5,13'; do
  glyph=${button#*:}
  four_frames glyph_frame "$small_looks"
  convert "$tmp"/frame{0,1,2,3}.png +append -alpha off -type TrueColor "BMP3:bitmaps/${button%%:*}.bmp"
done

# Play 131, 125 x 38: English with 32 bits per pixel, Russian with 24.
text=''
play_frame() {
  convert -size 125x38 gradient:"$1"-'#140e08' \
    -fill none -stroke "$2" -strokewidth 2 -draw 'rectangle 1,1 123,36' \
    -stroke none -font "$serif" -pointsize 18 -fill "$3" -gravity center \
    -annotate "+$4+$4" "$text" "$5"
}
play_looks='#6a4a22:#c9a45a:#ffe3a0 #8c6430:#ffd98a:#ffffff #3a2812:#9a7a3c:#d8b878 #2a2622:#4a4540:#6a6560'
text='PLAY'
four_frames play_frame "$play_looks"
convert "$tmp"/frame{0,1,2,3}.png +append -alpha set -channel A -evaluate set 100% +channel \
  -define bmp:format=bmp4 BMP:bitmaps/131.en.bmp
text='ИГРАТЬ'
four_frames play_frame "$play_looks"
convert "$tmp"/frame{0,1,2,3}.png +append -alpha off -type TrueColor BMP3:bitmaps/131.ru.bmp

# Progress 134: frame 0 the empty bar, frame 1 the full bar (the bar cross-fades between them).
convert -size 312x25 gradient:'#1a120c'-'#080605' \
  -fill none -stroke "$gold_dark" -draw 'rectangle 0,0 311,24' "$tmp/bar0.png"
convert -size 312x25 gradient:'#d89a3a'-'#6a3a10' \
  -fill none -stroke '#ffd98a' -draw 'rectangle 0,0 311,24' \
  -stroke '#ffe8b0' -draw 'line 2,2 309,2' "$tmp/bar1.png"
convert "$tmp/bar0.png" "$tmp/bar1.png" +append -alpha off -type TrueColor BMP3:bitmaps/134.bmp

# Window icon 128: a gold V on a dark shield, in every size the window manager asks for.
for s in 16 32 48 128 256; do
  convert -size 256x256 xc:none -fill '#1e140c' -stroke "$gold" -strokewidth 10 \
    -draw 'path "M 40,30 L 216,30 L 216,130 Q 216,210 128,240 Q 40,210 40,130 Z"' \
    -stroke none -font "$serif" -pointsize 150 -fill "$gold" -gravity center \
    -annotate +0+0 'V' -resize "${s}x${s}" -define png:exclude-chunks=date,time "$([ "$s" -le 48 ] && echo PNG8 || echo PNG32):icons/128-$s.png"
done
