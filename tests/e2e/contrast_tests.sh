#!/bin/bash
# The window's texts against the face Windows draws: the default scheme keeps the
# layout's colours; with the colours of a dark contrast scheme in the prefix every text
# still stands out.
#   contrast_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
# shellcheck source=e2e_session.sh
source "$(dirname "$0")/e2e_session.sh"

PIXELS="$(dirname "$0")/text_pixels.py"
readonly PIXELS

# What Windows' black high-contrast scheme sets: black face and fields, white text, the
# disabled text green.
readonly HIGH_CONTRAST_BLACK=(
  ButtonFace "0 0 0" Window "0 0 0" Menu "0 0 0" InfoWindow "0 0 0" Background "0 0 0"
  ButtonText "255 255 255" WindowText "255 255 255" MenuText "255 255 255" InfoText "255 255 255"
  TitleText "255 255 255" GrayText "63 242 63" Hilight "26 235 255" HilightText "0 0 0"
  ButtonHilight "255 255 255" ButtonLight "255 255 255" ButtonShadow "128 128 128" ButtonDkShadow "128 128 128"
)

# The sampled texts: the control and how far its caption starts right of its left edge
# (a check or radio box's mark comes first). Black, orange and blue in the layout: a text
# drawn in the system's colour instead shows as black.
readonly SAMPLES=("标签1 0" "选择框2 20" "单选框1 20")

# Wine reads the colours when a session starts: call before e2e_start. The prefix gets its
# own colours back when the test ends.
e2e_colours() {
  local saved=$TOLVANE_E2E_DIR/colours.reg key='HKCU\Control Panel\Colors'
  timeout 60 wine reg export "$key" "$(e2e_winpath "$saved")" /y >/dev/null 2>&1 || e2e_abort "cannot save the colours"
  e2e_on_exit "timeout 60 wine reg import '$(e2e_winpath "$saved")' >/dev/null 2>&1; timeout 30 wineserver -w; tolvane_e2e_end_session"
  while [ $# -ge 2 ]; do
    timeout 60 wine reg add "$key" /v "$1" /d "$2" /f >/dev/null 2>&1 || e2e_abort "cannot set the colour $1"
    shift 2
  done
  timeout 30 wineserver -w
}

# "<background> <ink> <ink pixels> <contrast>" of a sampled text in the window's screenshot:
# the control's rectangle without its top and bottom 6 pixels (标签1 reaches into the clock).
sample() {
  local shot=$1 name=$2 skip=$3 wx wy x y w h
  read -r wx wy _ <<<"$(drv get window rect)"
  read -r x y w h <<<"$(drv get "$name" screen-rect)"
  python3 "$PIXELS" "$shot" $((x - wx + skip)) $((y - wy + 6)) $((w - skip)) $((h - 12))
}

# Each sampled text of a screenshot: "layout" (the layout's exact colour, as under the
# default scheme) or "readable" (3:1 or more against a black face, in enough pixels to be
# a caption). Prints what it found; the number of texts that fail.
check_samples() {
  local shot=$E2E_SHOTS/$1 want=$2 layout=("0,0,0" "255,128,0" "0,0,255") i name bg ink count ratio failed=0
  for i in "${!SAMPLES[@]}"; do
    name=${SAMPLES[$i]%% *}
    # shellcheck disable=SC2086
    read -r bg ink count ratio <<<"$(sample "$shot" ${SAMPLES[$i]})"
    echo "$name: background $bg, text $ink ($count pixels, contrast $ratio)"
    if [ "$want" = layout ]; then
      [ "$ink" = "${layout[$i]}" ] || { echo "$name is drawn in $ink, not the layout's ${layout[$i]}"; failed=$((failed + 1)); }
    elif [ "$bg" != "0,0,0" ]; then
      echo "$name stands on $bg, not the scheme's black face"; failed=$((failed + 1))
    elif [ "$count" -lt 50 ] || python3 -c "import sys; sys.exit(float('$ratio') >= 3)"; then
      echo "$name is not readable: text $ink on $bg, contrast $ratio in $count pixels"; failed=$((failed + 1))
    fi
  done
  return "$failed"
}

# Under Wine's default (light) scheme the texts are exactly the layout's colours.
test_contrast_default() {
  e2e_start
  e2e_screenshot contrast-default.png
  check_samples contrast-default.png layout || e2e_fail "the default scheme changed the layout's colours"
  e2e_close
}

# With the black contrast scheme in the prefix every sampled text stands out from the face.
test_contrast_black() {
  e2e_colours "${HIGH_CONTRAST_BLACK[@]}"
  e2e_start
  e2e_screenshot contrast-black.png
  check_samples contrast-black.png readable || e2e_fail "texts vanish on the black contrast scheme"
  e2e_close
}

# The black scheme chosen while the program runs repaints the window at once in readable
# colours; the default chosen again brings the layout's colours back.
test_contrast_switch() {
  e2e_colours  # in case the session's colours reach the prefix
  e2e_start
  e2e_screenshot contrast-switch-default.png
  check_samples contrast-switch-default.png layout || e2e_fail "the default scheme changed the layout's colours"
  local default
  # COLOR_BTNFACE, BTNTEXT, WINDOW, WINDOWTEXT, GRAYTEXT
  default=$(drv sys-colours 15=000000 18=ffffff 5=000000 8=ffffff 17=3ff23f) || e2e_abort "cannot set the system colours"
  switched contrast-switch-black.png readable || e2e_fail "the window kept unreadable colours after the switch"
  # shellcheck disable=SC2086
  drv sys-colours $default >/dev/null || e2e_abort "cannot set the system colours back"
  switched contrast-switch-back.png layout || e2e_fail "the layout's colours did not come back"
  e2e_close
}

# The window repaints on its own after a switch: a few seconds for it, then the samples.
switched() {
  local i
  for i in $(seq 12); do
    sleep 0.25
    e2e_screenshot "$1" >/dev/null && check_samples "$1" "$2" >/dev/null && break
  done
  check_samples "$1" "$2"
}

e2e_main "$@"
