#!/bin/bash
# Draws cert-container-open.png: the cardboard box of cert-container.png
# shown opened (back flap tipped back, left flap folded out, dark inside
# visible), used as the "expanded" state of a key container node.
# Same front face, palette and 1.56 px outline as the closed box.
# Drawn at 8x (256x256, coordinates below are in 32 px units) with
# anti-aliased polygons, then box-filtered down to 32x32 RGBA.
# The PNG is committed; builds never run this script.
set -euo pipefail
cd "$(dirname "$0")"

OUTLINE='#7A5A2A'
FRONT='#C9A26B'      # front face
FRONT_RIM='#9C7946'  # inner rim of front face
FRONT_TOP='#896736'  # shaded strip under the top edge
FLAP='#E0BE8A'       # lit inner side of the back flap
FLAP_SIDE='#D4B27F'  # inner side of the left flap
IN_BACK='#624623'    # inner back wall
IN_LEFT='#4A3419'    # inner left wall (facing away from the light)
IN_FLOOR='#4F381B'   # shadow at the bottom of the back wall

convert -size 256x256 xc:none -draw "
affine 8,0,0,8,-0.5,-0.5
stroke none
fill '$FRONT'     polygon 5,11 28,11 28,27 5,27
fill '$FRONT_RIM' polygon 5,11 6,11 6,27 5,27
                  polygon 27,11 28,11 28,27 27,27
                  polygon 5,26 28,26 28,27 5,27
fill '$FRONT_TOP' polygon 5,11 28,11 28,12 5,12
fill '$IN_BACK'   polygon 4.22,10.22 10.22,4.22 28.78,4.22 28.78,10.22
fill '$IN_LEFT'   polygon 4.22,10.22 10.22,4.22 10.22,10.22
fill '$IN_FLOOR'  polygon 10.22,10.22 28.78,10.22 28.78,8.4 10.22,8.4
stroke '$OUTLINE' stroke-width 1.56 stroke-linejoin round
fill '$FLAP'      polygon 10.22,4.22 28.78,4.22 30.7,1.0 12.6,1.0
fill '$FLAP_SIDE' polygon 4.22,10.22 10.22,4.22 6.8,1.2 0.9,7.0
fill none
polygon 4.22,10.22 28.78,10.22 28.78,27.78 4.22,27.78
polygon 4.22,10.22 10.22,4.22 28.78,4.22 28.78,10.22
" -filter Box -resize 32x32 -strip -define png:exclude-chunks=date,time \
  PNG32:cert-container-open.png
