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
# (a check or radio box's mark comes first).
readonly SAMPLES=("标签1 0" "选择框3 20" "单选框1 20")

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

# Under Wine's default (light) scheme the texts are exactly the layout's colours.
test_contrast_default() {
  e2e_start
  e2e_screenshot contrast-default.png
  local want=("0,0,0" "0,0,0" "0,0,255") i bg ink count ratio
  for i in "${!SAMPLES[@]}"; do
    # shellcheck disable=SC2086
    read -r bg ink count ratio <<<"$(sample "$E2E_SHOTS/contrast-default.png" ${SAMPLES[$i]})"
    echo "${SAMPLES[$i]%% *}: background $bg, text $ink ($count pixels, contrast $ratio)"
    [ "$ink" = "${want[$i]}" ] || e2e_fail "${SAMPLES[$i]%% *} is drawn in $ink, not the layout's ${want[$i]}"
  done
  e2e_close
}

# With the black contrast scheme every sampled text stands out from the black face: 3:1
# or more, in enough pixels to be a caption.
test_contrast_black() {
  e2e_colours "${HIGH_CONTRAST_BLACK[@]}"
  e2e_start
  e2e_screenshot contrast-black.png
  local i bg ink count ratio
  for i in "${!SAMPLES[@]}"; do
    # shellcheck disable=SC2086
    read -r bg ink count ratio <<<"$(sample "$E2E_SHOTS/contrast-black.png" ${SAMPLES[$i]})"
    echo "${SAMPLES[$i]%% *}: background $bg, text $ink ($count pixels, contrast $ratio)"
    [ "$bg" = "0,0,0" ] || e2e_fail "${SAMPLES[$i]%% *} stands on $bg, not the scheme's black face"
    [ "$count" -ge 50 ] && python3 -c "import sys; sys.exit(float('$ratio') < 3)" ||
      e2e_fail "${SAMPLES[$i]%% *} is not readable: text $ink on $bg, contrast $ratio in $count pixels"
  done
  e2e_close
}

e2e_main "$@"
