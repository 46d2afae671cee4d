#!/bin/bash
# Draws the tree icons of the administration and information nodes:
#   tree-about.png       information sign: blue disc with a white "i"
#   tree-admin.png       advanced settings: a steel gear
#   tree-init.png        token initialization: the token of tree-token.png
#                        with a green circular "reset" arrow
#   tree-sopin.png       administrator PIN change: the gold key of
#                        cert-privatekey.png with a small blue shield
#   tree-unlock.png      user PIN unlock: the padlock of tree-pin.png
#                        with its shackle lifted out of the body
#   tree-cdrom.png       disc image download: a silver disc with a hole
#                        and a small blue down arrow
#   tree-adminlogin.png  administrator login: the person of
#                        cert-subject.png with a small gold key
# Same palette as the other tree icons: flat fills, a 2 px darker outline
# with round joins, no gradients, 1-3 px margins.
# Drawn at 8x (256x256, coordinates below are in 32 px units) with
# anti-aliased polygons, then box-filtered down to 32x32 RGBA.
# The PNGs are committed; builds never run this script.
set -euo pipefail
cd "$(dirname "$0")"

BLUE='#3D8BD4'        # person, screen, information disc
BLUE_LINE='#1F5D99'
BLUE_SHADE='#2F73B8'  # shaded half of the shield
TOKEN='#2F6DB5'       # token body
TOKEN_LINE='#1D4677'
METAL='#B8BEC6'       # token connector, disc hub
METAL_LINE='#6D747C'
SILVER='#DFE6EE'      # disc surface
SHEEN='#C3D0E0'       # reflections on the disc
STEEL='#9AA3AD'       # gear
STEEL_LINE='#4A5561'
STEEL_HUB='#C6CBD2'
SLATE='#5B6570'       # padlock shackle
GOLD='#E7B416'        # padlock body, keys
GOLD_LINE='#A67C00'
GOLD_DARK='#5B3D00'   # keyhole
GREEN='#5CB85C'       # reset arrow
GREEN_LINE='#2F7A2F'
WHITE='#FFFFFF'

# render FILE DRAW: draws DRAW (32 px coordinates) at 8x and writes FILE.
render() {
    convert -size 256x256 xc:none -draw "
affine 8,0,0,8,-0.5,-0.5
stroke-linejoin round
stroke-linecap round
$2
" -filter Box -resize 32x32 -strip -define png:exclude-chunks=date,time \
      "PNG32:$1"
}

# Points "x,y x,y ..." of a closed gear outline: centre CX,CY, TEETH teeth
# with tips at radius RO and roots at radius RR, the first tooth pointing up.
gear_points() {
    awk -v cx="$1" -v cy="$2" -v n="$3" -v ro="$4" -v rr="$5" 'BEGIN {
        pi = atan2(0, -1); p = 2 * pi / n
        tip = p * 0.20; base = p * 0.30       # half-widths of a tooth
        for (k = 0; k < n; k++) {
            a = -pi / 2 + k * p
            pt(rr, a - base); pt(ro, a - tip); pt(ro, a + tip); pt(rr, a + base)
            for (j = 1; j < 4; j++) pt(rr, a + base + j * (p - 2 * base) / 4)
        }
    }
    function pt(r, a) { printf "%.3f,%.3f ", cx + r * cos(a), cy + r * sin(a) }'
}

# Points of a circular arrow: centre CX,CY, band from radius RI to RO,
# running clockwise from angle FROM to angle TO (degrees, 0 = east,
# 90 = south), ending in a head HW wide on each side of the band's middle
# whose tip lies HEAD degrees further on.
arrow_points() {
    awk -v cx="$1" -v cy="$2" -v ri="$3" -v ro="$4" -v from="$5" -v to="$6" \
        -v hw="$7" -v head="$8" 'BEGIN {
        d = atan2(0, -1) / 180; rm = (ri + ro) / 2; steps = 24
        for (i = 0; i <= steps; i++) pt(ro, from + (to - from) * i / steps)
        pt(rm + hw, to); pt(rm, to + head); pt(rm - hw, to)
        for (i = steps; i >= 0; i--) pt(ri, from + (to - from) * i / steps)
    }
    function pt(r, a) { printf "%.3f,%.3f ", cx + r * cos(a * d), cy + r * sin(a * d) }'
}

# as_path "x,y x,y ...": the same points as a closed path ("M x,y L ... Z").
as_path() {
    echo "$1" | awk '{ printf "M %s", $1; for (i = 2; i <= NF; i++) printf " L %s", $i; printf " Z" }'
}

# circle_path CX CY R: a closed circle as two arcs, for holes in paths.
circle_path() {
    awk -v cx="$1" -v cy="$2" -v r="$3" 'BEGIN {
        printf "M %s,%s A %s,%s 0 1,1 %s,%s A %s,%s 0 1,1 %s,%s Z",
            cx, cy - r, r, r, cx, cy + r, r, r, cx, cy - r
    }'
}

# Shield path: top edge from X0 to X1 at Y0, straight sides down to YM,
# curving in to the point at the bottom, Y1.
shield_path() {
    awk -v x0="$1" -v x1="$2" -v y0="$3" -v ym="$4" -v y1="$5" 'BEGIN {
        xm = (x0 + x1) / 2; q = (y1 - ym)
        printf "M %s,%s L %s,%s L %s,%s C %s,%s %s,%s %s,%s C %s,%s %s,%s %s,%s Z",
            x0, y0, x1, y0, x1, ym, x1, ym + q * 0.55, xm + (x1 - x0) * 0.2, y1 - q * 0.2,
            xm, y1, xm - (x1 - x0) * 0.2, y1 - q * 0.2, x0, ym + q * 0.55, x0, ym
    }'
}

# --- about: information sign ----------------------------------------------
render tree-about.png "
stroke '$BLUE_LINE' stroke-width 2 fill '$BLUE'
circle 16,16 16,4
stroke none fill '$WHITE'
circle 16,9 16,6.8
roundrectangle 13.9,12.9 18.1,24.6 0.7,0.7
"

# --- admin: gear -----------------------------------------------------------
GEAR=$(as_path "$(gear_points 16 16 8 13.6 10.2)")
render tree-admin.png "
fill-rule evenodd
stroke '$STEEL_LINE' stroke-width 2 fill '$STEEL'
path '$GEAR $(circle_path 16 16 3.6)'
stroke none fill '$STEEL_HUB'
path '$(circle_path 16 16 7) $(circle_path 16 16 4.4)'
"

# --- init: token with a reset arrow ---------------------------------------
ARROW=$(arrow_points 21.6 21.6 4 7.2 -100 165 5 42)
render tree-init.png "
stroke '$METAL_LINE' stroke-width 2 fill '$METAL'
rectangle 18,4.4 25.6,12.6
stroke none fill '$METAL_LINE'
rectangle 21,6.6 23.4,10.4
stroke '$TOKEN_LINE' stroke-width 2 fill '$TOKEN'
roundrectangle 1.4,2.4 19.6,14.6 4,4
stroke none fill '$WHITE'
circle 6.5,8.5 6.5,6.6
stroke '$GREEN_LINE' stroke-width 2 fill '$GREEN'
polygon $ARROW
"

# --- sopin: key with a shield ---------------------------------------------
render tree-sopin.png "
stroke '$GOLD_LINE' stroke-width 2 fill '$GOLD'
polygon 25.4,10 25.4,16.6 29.6,16.6 29.6,10
polygon 12,7.4 30.6,7.4 30.6,11.6 12,11.6
fill-rule evenodd
path '$(circle_path 8.4 9.5 6.2) $(circle_path 8.4 9.5 2)'
stroke '$BLUE_LINE' stroke-width 2 fill '$BLUE'
path '$(shield_path 10.4 22.6 16.4 22 30.4)'
stroke none fill '$BLUE_SHADE'
path 'M 16.5,17.4 L 21.6,17.4 L 21.6,22 C 21.6,25.5 19.8,28 16.5,29.2 Z'
"

# --- unlock: open padlock --------------------------------------------------
render tree-unlock.png "
stroke '$SLATE' stroke-width 4.2 fill none stroke-linecap butt
path 'M 16.6,19 L 16.6,8.6 A 5.4,5.4 0 0,1 27.4,8.6 L 27.4,12.5'
stroke '$GOLD_LINE' stroke-width 2 fill '$GOLD'
roundrectangle 2.4,14.4 23.6,29.6 3,3
stroke none fill '$GOLD_DARK'
circle 13,19.8 13,17.8
polygon 12,20 14,20 14.5,25.4 11.5,25.4
"

# --- cdrom: disc with a down arrow ----------------------------------------
render tree-cdrom.png "
fill-rule evenodd
stroke '$METAL_LINE' stroke-width 2 fill '$SILVER'
path '$(circle_path 13.5 13.5 11.5) $(circle_path 13.5 13.5 2.4)'
stroke none fill '$SHEEN'
path 'M 13.5,13.5 L 13.5,3 A 10.5,10.5 0 0,1 20.9,6.1 Z M 13.5,13.5 L 13.5,24 A 10.5,10.5 0 0,1 6.1,20.9 Z'
fill '$METAL'
path '$(circle_path 13.5 13.5 5.6) $(circle_path 13.5 13.5 3.4)'
stroke '$METAL_LINE' stroke-width 2 fill none
path '$(circle_path 13.5 13.5 2.4)'
stroke '$BLUE_LINE' stroke-width 2 fill '$BLUE'
polygon 22,16.4 27,16.4 27,23 30.6,23 24.5,30.2 18.4,23 22,23
"

# --- adminlogin: person with a key ----------------------------------------
render tree-adminlogin.png "
stroke '$BLUE_LINE' stroke-width 2 fill '$BLUE'
roundrectangle 1.4,15.4 21.6,29.6 8,6.5
circle 11.5,8.5 11.5,3.4
stroke '$GOLD_LINE' stroke-width 2 fill '$GOLD'
polygon 26.4,24 26.4,29.6 29.6,29.6 29.6,24
polygon 22,20.4 30.6,20.4 30.6,24.6 22,24.6
fill-rule evenodd
path '$(circle_path 19.5 22.5 4.9) $(circle_path 19.5 22.5 1.8)'
"
