#!/bin/sh
# Draws the About box's background picture (350 x 175): a warm dark card with
# a glowing valve on the right. Run once; the JPEG is committed.
set -e
out=${1:-background.jpg}   # about/src/background.jpg
convert -size 350x175 gradient:'#1a0c05'-'#a4652f' \
  \( -size 350x175 radial-gradient:'#ff9a3066'-'#00000000' -geometry +0+0 \) -compose screen -composite \
  \( -size 350x175 xc:none -fill '#ffb34a' -draw 'ellipse 282,76 14,34 0,360' -blur 0x16 \) -compose screen -composite \
  \( -size 350x175 xc:none -fill none -stroke '#f3d2a0aa' -strokewidth 2 \
     -draw 'roundrectangle 254,14 310,134 26,26' \
     -stroke '#f3d2a066' -strokewidth 1 -draw 'line 262,120 302,120' -draw 'line 262,40 302,40' \
     -fill '#ffe7b0' -stroke none -draw 'rectangle 280,56 284,96' -fill '#5a3a22cc' -draw 'rectangle 266,50 274,104' -draw 'rectangle 290,50 298,104' \
     -fill '#3a2010' -draw 'roundrectangle 250,134 314,152 5,5' \
     -fill '#c9a36a' -draw 'rectangle 262,152 266,162' -draw 'rectangle 280,152 284,162' -draw 'rectangle 298,152 302,162' \) \
     -compose over -composite \
  -quality 90 "$out"
