#!/usr/bin/env bash
# Shows the custom controls under Wine on a display of its own, puts them into
# each look through controls_showcase.exe, photographs the display and checks
# the pictures pixel by pixel: against the colours each look must have, and
# against reference pictures that the program draws the plain way (the
# background picture at the dialog's size, each icon on the picture under its
# button).
#
# Usage: run_controls_test.sh --build DIR --showcase EXE --probe PROBE_EXE --name NAME
#                             --mode looks|leaks|buttons
#   looks: result label, cylinder, icon buttons and background in every look;
#   buttons: extra bitmap push buttons over the hidden log: a masked bitmap
#          (also pressed), a check box toggling, a popup menu opened and
#          chosen from, and the button's own cursor;
#   leaks: a thousand repaints, cylinder steps and result looks leave the
#          process's GDI objects flat and the cylinder drawn as it was.
# Screenshots go to DIR/artifacts/NAME-LOOK.png.
# Exit status: 0 when every check passed.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"
# shellcheck source-path=SCRIPTDIR source=../wine/wine-session.sh
source "$here/../wine/wine-session.sh"

build="" showcase="" probe="" name="" mode=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --showcase) showcase="$2"; shift 2 ;;
    --probe) probe="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --mode) mode="$2"; shift 2 ;;
    *) echo "run_controls_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ] || [ -z "$showcase" ] || [ -z "$probe" ] || [ -z "$name" ] || [ -z "$mode" ]; then
  echo "run_controls_test: --build, --showcase, --probe, --name and --mode are required" >&2
  exit 2
fi
for f in "$showcase" "$probe"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

# ImageMagick itself, not a wrapper that might stand before it on the path.
im_convert=/usr/bin/convert
[ -x "$im_convert" ] || im_convert=convert
im_compare=/usr/bin/compare
[ -x "$im_compare" ] || im_compare=compare

build="$(cd "$build" && pwd)"
artifacts="$build/artifacts"
workdir="$build/wine-tests/$name"
rm -rf "$workdir"
mkdir -p "$artifacts" "$workdir"
cp "$showcase" "$workdir/"

failures=0
ok() { echo "ok $*"; }
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

showcase_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine "$showcase_pid"
  kr_stop_xvfb
}
trap cleanup EXIT

kr_wine_session "$workdir" "$build/wineprefix" || exit 1
echo "info setup: Xvfb on $DISPLAY, prefix $WINEPREFIX"
kr_ready_desktop "$probe" || exit 1
# The pointer starts away from the dialog.
xdotool mousemove --sync 1000 740

cd "$workdir" || exit 1
coproc SHOWCASE { exec wine ./"$(basename "$showcase")" 2>"$workdir/wine-stderr.log"; }
# shellcheck disable=SC2153  # set by coproc
showcase_pid=$SHOWCASE_PID
showcase_in=${SHOWCASE[1]}
showcase_out=${SHOWCASE[0]}

declare -A place=()  # control name -> "X Y W H" of its client area on the screen
declare -A color=()  # highlight, shadow -> "R G B"
client=""

# send COMMAND...: one command to the program; its lines are shown (and its
# FAIL lines counted) until it answers "done". The program answers only once
# the dialog is idle and its drawing has reached the display.
send() {
  printf '%s\n' "$*" >&"$showcase_in"
  local line
  while IFS= read -r -t 120 line <&"$showcase_out"; do
    line=${line%$'\r'}
    case "$line" in
      done) return 0 ;;
      FAIL*) echo "$line"; failures=$((failures + 1)) ;;
      "client "*) client=${line#client } ;;
      "rect "*) line=${line#rect }; place[${line%% *}]=${line#* } ;;
      "color "*) line=${line#color }; color[${line%% *}]=${line#* } ;;
      *) echo "$line" ;;
    esac
  done
  fail "showcase: no answer to '$*'"
  return 1
}

# shot LOOK: photographs the display; sets $shot.
shot() {
  shot="$artifacts/$name-$1.png"
  if kr_screenshot "$shot"; then
    echo "info screenshot: $shot"
  else
    fail "screenshot: $shot is missing or blank"
  fi
}

# dump FILE X Y W H: the pixels of a part of a picture, one line
# "x y red green blue" each, x and y counted from the part's corner.
dump() {
  "$im_convert" "$1" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- |
    awk -F'[,:() ]+' 'NR > 1 { print $1, $2, $3, $4, $5 }'
}

# part FILE X Y W H OUT: a part of a picture as a picture of its own.
part() {
  "$im_convert" "$1" -crop "${4}x${5}+${2}+${3}" +repage "$6"
}

# differing A B: how many pixels of two pictures of one size differ at all.
differing() {
  "$im_compare" -metric AE "$1" "$2" null: 2>&1
}

# expect_same WHAT A B: two pictures equal to the last pixel.
expect_same() {
  local count
  count=$(differing "$2" "$3")
  if [ "$count" = 0 ]; then ok "$1"; else fail "$1: $count pixels differ"; fi
}

# pixel TABLE X Y: "red green blue" of one pixel of a dump.
pixel() {
  awk -v x="$2" -v y="$3" '$1 == x && $2 == y { print $3, $4, $5 }' "$1"
}

# expect_pixel WHAT TABLE X Y "R G B"
expect_pixel() {
  local got
  got=$(pixel "$2" "$3" "$4")
  if [ "$got" = "$5" ]; then ok "$1 ($5)"; else fail "$1: pixel $3,$4 is ($got), expected ($5)"; fi
}

# The place of a control in the dialog's client area, for the reference pictures.
client_xy() {
  local x y _w _h cx cy _cw _ch
  read -r x y _w _h <<<"${place[$1]}"
  read -r cx cy _cw _ch <<<"$client"
  echo "$((x - cx)) $((y - cy))"
}

# ---------------------------------------------------------------- result label

# check_label LOOK: neutral is white through and through; PASS and FAIL are
# their exact background colour with white text, and every other pixel lies
# between the two, as the text's smoothed edges do.
check_label() {
  local look="$1" x y w h table
  read -r x y w h <<<"${place[result]}"
  table="$workdir/label-$look.txt"
  dump "$shot" "$x" "$y" "$w" "$h" >"$table"
  if [ "$look" = neutral ]; then
    local other
    other=$(awk '$3 != 255 || $4 != 255 || $5 != 255' "$table" | wc -l)
    if [ "$other" = 0 ]; then ok "label neutral: all ${w}x$h pixels white"; else
      fail "label neutral: $other pixels are not white"; fi
    return
  fi
  local back
  case "$look" in
    pass) back="46 204 113" ;;
    fail) back="255 0 0" ;;
  esac
  local corner
  for corner in "0 0" "$((w - 1)) 0" "0 $((h - 1))" "$((w - 1)) $((h - 1))"; do
    # shellcheck disable=SC2086  # the corner is two words
    expect_pixel "label $look: corner $corner in its background colour" "$table" $corner "$back"
  done
  local verdict
  verdict=$(awk -v back="$back" '
    BEGIN { split(back, b, " "); t[1] = 255; t[2] = 255; t[3] = 255
            best = 1; for (c = 2; c <= 3; ++c) if ((t[c] - b[c]) ^ 2 > (t[best] - b[best]) ^ 2) best = c }
    { ++all
      if ($3 == b[1] && $4 == b[2] && $5 == b[3]) ++background
      if ($3 == 255 && $4 == 255 && $5 == 255) ++text
      f = ($(best + 2) - b[best]) / (t[best] - b[best])
      for (c = 1; c <= 3; ++c) { want = b[c] + f * (t[c] - b[c]); d = $(c + 2) - want
                                 if (d > 3 || d < -3) { ++stray; break } } }
    END { printf "%d %d %d %d", all, background, text, stray }' "$table")
  local all background text stray
  read -r all background text stray <<<"$verdict"
  if [ "$background" -ge $((all / 2)) ] && [ "$text" -ge 20 ] && [ "$stray" = 0 ]; then
    ok "label $look: $background of $all pixels background ($back), $text white text pixels, none of another colour"
  else
    fail "label $look: $background of $all pixels background ($back), $text white text pixels, $stray of another colour"
  fi
}

# ---------------------------------------------------------------- cylinder

# The cylinder of a W x H client area draws W - 1 pixels; 10 of them go to
# the right end face, the body has the rest, and a position p fills
# truncate(body / 100 * p) of it. Faces are the segment's colour shaded:
# each channel c becomes truncate((c >> 1) + c * s / 2), 0.8 for an end
# face and 0.4 for the start face.
shade() {  # R G B S
  awk -v r="$1" -v g="$2" -v b="$3" -v s="$4" 'function f(c) { return int(int(c / 2) + c * s / 2) }
    BEGIN { printf "%d %d %d", f(r), f(g), f(b) }'
}

# expect_face WHAT TABLE X Y "R G B": on row Y a face of the cylinder starts
# exactly at X: its outline in the border grey at X and X + 10, its shaded
# colour on every pixel between, and no outline just before it.
expect_face() {
  local verdict
  verdict=$(awk -v x="$3" -v y="$4" -v want="$5" '
    $2 == y && $1 >= x - 1 && $1 <= x + 10 {
      seen = $3 " " $4 " " $5
      if ($1 == x || $1 == x + 10) { if (seen != "128 128 128") bad = bad " " $1 ":(" seen ")" }
      else if ($1 == x - 1) { if (seen == "128 128 128") bad = bad " " $1 ":(outline)" }
      else if (seen != want) bad = bad " " $1 ":(" seen ")" }
    END { print bad }' "$2")
  if [ -z "$verdict" ]; then ok "$1 ($5)"; else fail "$1: expected ($5) between outlines, found$verdict"; fi
}

# Pixel classes of the cylinder's colours under its translucent highlight.
classify='function class(r, g, b) {
    if (g > r + 40 && g > b + 40) return "green"
    if (r > 150 && g > 110 && b < 0.6 * g && r >= g) return "gold"
    if (r - g < 20 && g - r < 20 && g - b < 20 && b - g < 20 && r > 100) return "grey"
    return "other" }'

declare -A text_width=()

# check_cylinder LOOK PERCENT FILL
check_cylinder() {
  local look="$1" p="$2" fill="$3" x y w h table
  read -r x y w h <<<"${place[progress]}"
  table="$workdir/cylinder-$look.txt"
  dump "$shot" "$x" "$y" "$w" "$h" >"$table"
  local body=$((w - 11)) mid=$(((h - 1) / 2)) centre=$(((w - 1) / 2))
  local filled
  filled=$(awk -v b="$body" -v p="$p" 'BEGIN { printf "%d", int(b / 100 * p) }')
  local fill_rgb
  case "$fill" in
    gold) fill_rgb="255 215 0" ;;
    green) fill_rgb="0 128 0" ;;
  esac
  # shellcheck disable=SC2086  # colours are three words
  if [ "$p" = 0 ]; then
    expect_face "cylinder $look: start face of the empty segment at 0, grey shaded by 0.4" \
      "$table" 0 "$mid" "$(shade 211 211 211 0.4)"
  else
    expect_face "cylinder $look: end face of the filled segment at $filled of $body pixels, $fill shaded by 0.8" \
      "$table" "$filled" "$mid" "$(shade $fill_rgb 0.8)"
  fi
  if [ "$p" != 100 ]; then
    expect_face "cylinder $look: end face of the empty segment at $body, grey shaded by 0.8" \
      "$table" "$body" "$mid" "$(shade 211 211 211 0.8)"
  fi
  # Along the middle row, away from the text: the filled body in the fill
  # colour, the empty body grey; no fill colour at all at 0 %.
  local verdict
  verdict=$(awk -v y="$mid" -v f="$filled" -v b="$body" -v c="$centre" -v fill="$fill" "$classify"'
    $2 == y && $1 >= 12 && ($1 < c - 30 || $1 > c + 30) {
      k = class($3, $4, $5)
      if ($1 <= f - 3) { ++inFilled; if (k != fill) ++wrongFilled }
      if ($1 >= f + 13 && $1 <= b - 3) { ++inEmpty; if (k != "grey") ++wrongEmpty } }
    { k = class($3, $4, $5); if (k == "gold" || k == "green") ++anyFill }
    END { printf "%d %d %d %d %d", inFilled, wrongFilled, inEmpty, wrongEmpty, anyFill }' "$table")
  local in_filled wrong_filled in_empty wrong_empty any_fill
  read -r in_filled wrong_filled in_empty wrong_empty any_fill <<<"$verdict"
  if [ "$wrong_filled" = 0 ] && [ "$wrong_empty" = 0 ] && { [ "$p" != 0 ] || [ "$any_fill" = 0 ]; }; then
    ok "cylinder $look: middle row $in_filled pixels $fill, $in_empty pixels grey${any_fill:+, $any_fill fill pixels in all}"
  else
    fail "cylinder $look: middle row $wrong_filled of $in_filled filled pixels not $fill, $wrong_empty of $in_empty empty pixels not grey, $any_fill fill pixels in all"
  fi
  # The percentage: dark pixels centred across the bar.
  local box
  box=$(awk '$3 < 64 && $4 < 64 && $5 < 64 { if (n++ == 0 || $1 < l) l = $1; if ($1 > r) r = $1 }
    END { if (n) printf "%d %d %d", n, l, r; else printf "0 0 0" }' "$table")
  local dark left right
  read -r dark left right <<<"$box"
  local width=$((right - left + 1)) middle2=$((left + right))
  if [ "$dark" -ge 20 ] && [ $((middle2 - 2 * centre)) -le 6 ] && [ $((2 * centre - middle2)) -le 6 ]; then
    ok "cylinder $look: text of $dark dark pixels, $width wide, centred at $(((left + right) / 2)) of $w"
  else
    fail "cylinder $look: text of $dark dark pixels from $left to $right, not centred at $centre"
  fi
  text_width[$p]=$width
  # Outside the cylinder the dialog's background shows.
  local cx cy
  read -r cx cy <<<"$(client_xy progress)"
  local reference="$workdir/background-$look.txt"
  dump "$workdir/background.bmp" "$cx" "$cy" "$w" "$h" >"$reference"
  local corner
  for corner in "0 0" "$((w - 1)) 0" "0 $((h - 1))" "$((w - 1)) $((h - 1))"; do
    # shellcheck disable=SC2086  # the corner is two words
    expect_pixel "cylinder $look: corner $corner shows the background" "$table" $corner \
      "$(pixel "$reference" $corner)"
  done
}

# The texts "0%", "33%" and "100%" grow with their digits.
check_text_widths() {
  if [ "${text_width[0]}" -lt "${text_width[33]}" ] && [ "${text_width[33]}" -lt "${text_width[100]}" ]; then
    ok "cylinder text widths grow with the digits: 0% ${text_width[0]}, 33% ${text_width[33]}, 100% ${text_width[100]}"
  else
    fail "cylinder text widths: 0% ${text_width[0]}, 33% ${text_width[33]}, 100% ${text_width[100]}"
  fi
}

# ---------------------------------------------------------------- buttons and background

# check_button NAME normal|hover|disabled
check_button() {
  local button="$1" look="$2" x y w h
  read -r x y w h <<<"${place[$button]}"
  local seen="$workdir/$button-$look-seen.png"
  part "$shot" "$x" "$y" "$w" "$h" "$seen"
  case "$look" in
    normal)
      expect_same "$button normal: the normal icon centred on the background, no border" \
        "$seen" "$workdir/$button-normal.bmp"
      ;;
    hover)
      # The raised border takes the outermost pixels; inside, the hover icon.
      local inner_seen="$workdir/$button-hover-inner-seen.png" inner_want="$workdir/$button-hover-inner.png"
      part "$seen" 1 1 $((w - 2)) $((h - 2)) "$inner_seen"
      part "$workdir/$button-hover.bmp" 1 1 $((w - 2)) $((h - 2)) "$inner_want"
      expect_same "$button hovered: the hover icon centred on the background" "$inner_seen" "$inner_want"
      local table="$workdir/$button-hover.txt"
      dump "$seen" 0 0 "$w" "$h" >"$table"
      expect_pixel "$button hovered: raised border lit at the top left" "$table" 0 0 "${color[highlight]}"
      expect_pixel "$button hovered: raised border shaded at the bottom right" "$table" \
        $((w - 1)) $((h - 1)) "${color[shadow]}"
      ;;
    disabled)
      # The icon drawn in the system's disabled rendering: no colour left
      # where the normal icon is green, and yet not the bare background.
      local normal_table="$workdir/$button-normal.txt" seen_table="$workdir/$button-disabled.txt"
      dump "$workdir/$button-normal.bmp" 0 0 "$w" "$h" >"$normal_table"
      dump "$seen" 0 0 "$w" "$h" >"$seen_table"
      local green_normal green_seen
      green_normal=$(awk "$classify"' class($3, $4, $5) == "green"' "$normal_table" | wc -l)
      green_seen=$(awk "$classify"' class($3, $4, $5) == "green"' "$seen_table" | wc -l)
      local bare="$workdir/$button-bare.png" cx cy
      read -r cx cy <<<"$(client_xy "$button")"
      part "$workdir/background.bmp" "$cx" "$cy" "$w" "$h" "$bare"
      local drawn
      drawn=$(differing "$seen" "$bare")
      if [ "$green_normal" -ge 500 ] && [ "$green_seen" = 0 ] && [ "$drawn" -ge 500 ]; then
        ok "$button disabled: greyed icon ($green_normal green pixels when enabled, none now; $drawn pixels drawn over the background)"
      else
        fail "$button disabled: $green_seen green pixels (enabled: $green_normal), $drawn pixels over the background"
      fi
      ;;
  esac
}

# The background picture behind the log, below its text, and above the
# controls across the whole dialog.
check_background() {
  local x y w h cx cy
  read -r x y w h <<<"${place[log]}"
  read -r cx cy <<<"$(client_xy log)"
  local top=$((h / 2))
  part "$shot" "$x" $((y + top)) "$w" $((h - top)) "$workdir/log-seen.png"
  part "$workdir/background.bmp" "$cx" $((cy + top)) "$w" $((h - top)) "$workdir/log-want.png"
  expect_same "log: the background picture behind the lower half of the log" \
    "$workdir/log-seen.png" "$workdir/log-want.png"
  local table="$workdir/log-text.txt" dark
  dump "$shot" "$x" "$y" "$w" "$top" >"$table"
  dark=$(awk '$3 < 64 && $4 < 64 && $5 < 64' "$table" | wc -l)
  if [ "$dark" -ge 100 ]; then ok "log: black text over the picture ($dark dark pixels)"; else
    fail "log: only $dark dark pixels where the text is"; fi

  local ox oy cw top_edge=100000 control _x _w _h
  read -r ox oy cw _h <<<"$client"
  for control in result progress start exit fwver log; do
    read -r _x y _w _h <<<"${place[$control]}"
    [ $((y - oy)) -lt "$top_edge" ] && top_edge=$((y - oy))
  done
  part "$shot" "$ox" "$oy" "$cw" "$top_edge" "$workdir/top-seen.png"
  part "$workdir/background.bmp" 0 0 "$cw" "$top_edge" "$workdir/top-want.png"
  expect_same "dialog: the background picture above the controls (${cw}x$top_edge)" \
    "$workdir/top-seen.png" "$workdir/top-want.png"
}

# The "FW Ver" button: a flat button without an image shows its caption in
# the button text colour straight on the picture, with no border.
check_caption_button() {
  local x y w h cx cy
  read -r x y w h <<<"${place[fwver]}"
  read -r cx cy <<<"$(client_xy fwver)"
  local table="$workdir/fwver.txt" reference="$workdir/fwver-background.txt"
  dump "$shot" "$x" "$y" "$w" "$h" >"$table"
  dump "$workdir/background.bmp" "$cx" "$cy" "$w" "$h" >"$reference"
  local corner
  for corner in "0 0" "$((w - 1)) 0" "0 $((h - 1))" "$((w - 1)) $((h - 1))"; do
    # shellcheck disable=SC2086  # the corner is two words
    expect_pixel "fwver: corner $corner shows the background, no border" "$table" $corner \
      "$(pixel "$reference" $corner)"
  done
  # Dark where the picture is not: the caption's letters.
  local dark
  dark=$(awk 'NR == FNR { if ($3 < 40 && $4 < 40 && $5 < 40) under[$1 " " $2] = 1; next }
    $3 < 40 && $4 < 40 && $5 < 40 && !(($1 " " $2) in under)' "$reference" "$table" | wc -l)
  if [ "$dark" -ge 30 ]; then ok "fwver: caption drawn ($dark dark pixels over the picture)"; else
    fail "fwver: only $dark dark pixels over the picture for the caption"; fi
}

# ---------------------------------------------------------------- the runs

# hover_over NAME: the pointer near the bottom of the control, where the
# tooltip that follows opens below the control.
hover_over() {
  local x y w h
  read -r x y w h <<<"${place[$1]}"
  xdotool mousemove --sync $((x + w / 2)) $((y + h - 3))
}

run_looks() {
  send result neutral
  send progress 0 gold
  send start disabled
  send repaint
  shot idle
  check_label neutral
  check_cylinder gold-0 0 gold
  check_button exit normal
  check_button start disabled
  check_caption_button
  check_background

  send result pass
  send progress 33 gold
  shot pass-gold-33
  check_label pass
  check_cylinder gold-33 33 gold

  send result fail
  send progress 100 gold
  shot fail-gold-100
  check_label fail
  check_cylinder gold-100 100 gold
  check_text_widths

  local p
  for p in 0 33 100; do
    send progress "$p" green
    shot "green-$p"
    check_cylinder "green-$p" "$p" green
  done
  check_text_widths

  send start enabled
  shot start-enabled
  check_button start normal

  hover_over exit
  send hover exit
  shot exit-hovered
  check_button exit hover
  check_button start normal

  hover_over start
  send hover start
  send unhover exit
  shot start-hovered
  check_button start hover
  check_button exit normal

  xdotool mousemove --sync 1000 740
  send unhover start
  shot pointer-away
  check_button start normal
  check_button exit normal

  # The window shape, then the tool's own background back in full.
  send shape
  send repaint
  shot after-shape
  check_background
}

# masked_square LOOK DX DY: the masked button's bitmap, a 40 x 40 picture
# with a red 20 x 20 square inside a border of the transparent colour, drawn
# centred and moved by (DX, DY): the square exactly there, the blue fill
# where the border was, and the transparent colour nowhere.
masked_square() {
  local look="$1" dx="$2" dy="$3" x y w h
  read -r x y w h <<<"${place[masked]}"
  local table="$workdir/masked-$look.txt"
  dump "$shot" "$x" "$y" "$w" "$h" >"$table"
  local ix=$(((w - 40) / 2 + dx)) iy=$(((h - 40) / 2 + dy))
  local box
  box=$(awk '$3 == 255 && $4 == 0 && $5 == 0 { if (n++ == 0) { l = r = $1; t = b = $2 }
      if ($1 < l) l = $1; if ($1 > r) r = $1; if ($2 < t) t = $2; if ($2 > b) b = $2 }
    END { printf "%d %d %d %d %d", n, l, t, r, b }' "$table")
  local want="400 $((ix + 10)) $((iy + 10)) $((ix + 29)) $((iy + 29))"
  if [ "$box" = "$want" ]; then ok "masked $look: red square of 400 pixels at $((ix + 10)),$((iy + 10))"; else
    fail "masked $look: red pixels, box (count l t r b) $box, expected $want"; fi
  local corner
  for corner in "$ix $iy" "$((ix + 39)) $iy" "$ix $((iy + 39))" "$((ix + 39)) $((iy + 39))" "$((ix + 5)) $((iy + 20))"; do
    # shellcheck disable=SC2086  # the corner is two words
    expect_pixel "masked $look: transparent pixel $corner of the bitmap shows the fill" "$table" $corner "0 0 255"
  done
  local magenta
  magenta=$(awk '$3 == 255 && $4 == 0 && $5 == 255' "$table" | wc -l)
  if [ "$magenta" = 0 ]; then ok "masked $look: the transparent colour shows nowhere"; else
    fail "masked $look: $magenta pixels of the transparent colour"; fi
}

# check_border NAME LOOK raised|sunken: the border's top-left pixel.
check_border() {
  local x y w h table="$workdir/$1-$2.txt"
  read -r x y w h <<<"${place[$1]}"
  dump "$shot" "$x" "$y" "$w" "$h" >"$table"
  case "$3" in
    raised) expect_pixel "$1 $2: raised border, lit at the top left" "$table" 0 0 "${color[highlight]}"
            expect_pixel "$1 $2: raised border, shaded at the bottom right" "$table" $((w - 1)) $((h - 1)) "${color[shadow]}" ;;
    sunken) expect_pixel "$1 $2: sunken border, shaded at the top left" "$table" 0 0 "${color[shadow]}"
            expect_pixel "$1 $2: sunken border, lit at the bottom right" "$table" $((w - 1)) $((h - 1)) "${color[highlight]}" ;;
  esac
}

centre_of() {
  local x y w h
  read -r x y w h <<<"${place[$1]}"
  echo "$((x + w / 2)) $((y + h / 2))"
}

run_buttons() {
  send extras
  if [ -z "${place[masked]:-}" ] || [ -z "${place[check]:-}" ] || [ -z "${place[menu]:-}" ]; then
    fail "extras: no places of the extra buttons"
    return
  fi
  shot extras
  masked_square normal 0 0

  # Pressed: the image moves by the press offset, (1, 1), and back.
  # shellcheck disable=SC2046  # two coordinates
  xdotool mousemove --sync $(centre_of masked)
  send hover masked
  xdotool mousedown 1
  send pressed masked 1
  shot masked-pressed
  masked_square pressed 1 1
  check_border masked pressed sunken
  xdotool mouseup 1
  send pressed masked 0
  shot masked-released
  masked_square released 0 0
  check_border masked released raised
  send cursor masked own
  send cursor check arrow

  # The check box: each click toggles; checked it looks pressed.
  # shellcheck disable=SC2046  # two coordinates
  xdotool mousemove --sync $(centre_of check)
  send hover check
  xdotool click 1
  send checked 1
  shot check-on
  check_border check checked sunken
  xdotool click 1
  send checked 0
  shot check-off
  check_border check unchecked raised

  # The menu: opens below the button on click; its first item is chosen.
  # shellcheck disable=SC2046  # two coordinates
  xdotool mousemove --sync $(centre_of menu)
  send hover menu
  xdotool click 1
  send menu-chosen 2101
}

run_leaks() {
  send progress 33 gold
  send repaint
  shot before-leaks
  local x y w h
  read -r x y w h <<<"${place[progress]}"
  part "$shot" "$x" "$y" "$w" "$h" "$workdir/cylinder-before.png"
  send leaks
  # Back to the same look by the cylinder's own repaint only.
  send progress 33 gold
  shot after-leaks
  part "$shot" "$x" "$y" "$w" "$h" "$workdir/cylinder-after.png"
  expect_same "cylinder after a thousand steps drawn as before them" \
    "$workdir/cylinder-before.png" "$workdir/cylinder-after.png"
}

if send geometry && [ -n "$client" ] && [ "${#place[@]}" = 6 ]; then
  echo "info geometry: client $client; $(for c in "${!place[@]}"; do printf '%s %s; ' "$c" "${place[$c]}"; done)"
  send reference
  case "$mode" in
    looks) run_looks ;;
    leaks) run_leaks ;;
    buttons) run_buttons ;;
    *) fail "mode: unknown mode $mode" ;;
  esac
else
  fail "showcase: no geometry"
fi

printf 'quit\n' >&"$showcase_in"
if kr_wait_for_exit "$showcase_pid"; then
  wait "$showcase_pid"
  status=$?
  if [ "$status" = 0 ]; then ok "showcase ended with status 0"; else
    fail "showcase ended with status $status"; fi
  showcase_pid=""
else
  fail "showcase still running after quit"
fi
echo "$failures failed checks"
[ "$failures" = 0 ]
