#!/bin/bash
# The main window of the real program under Wine.
#   window_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
# shellcheck source=e2e_session.sh
source "$(dirname "$0")/e2e_session.sh"

readonly PLACEHOLDER="2013年03月13日 00:00:00"

# Starts collapsed, 540 by 470, centred across the screen, with a fixed frame; the clock
# label runs; a close request ends the program with exit code 0 and writes the settings
# file, which nothing before it has created.
test_start_and_close() {
  check window title Tolvane
  check window visible 1
  check window width 540
  check window height 470
  check window frame "caption sysmenu minimizebox"
  check window topmost 0
  local screen_w rect
  read -r screen_w _ <<<"$(drv get window screen)"
  read -r left _ <<<"$(drv get window rect)"
  [ "$left" -eq $(((screen_w - 540) / 2)) ] || e2e_fail "window left $left, not centred on a screen $screen_w wide"
  e2e_screenshot start.png
  check_run "the clock label never left its placeholder" wait-not 标签3 caption "$PLACEHOLDER" 5000
  [ ! -e "$E2E_RUN_DIR/config.ini" ] || e2e_fail "config.ini exists before any close request"
  e2e_close
  [ -f "$E2E_RUN_DIR/config.ini" ] || e2e_fail "the close request wrote no config.ini"
}

# Whole-number entry: typed keys go through the filter and leaving the box normalises
# the number (which keys and which numbers: unit tests), in both boxes.
test_number_entry() {
  e2e_expand
  check_run "cannot type into 编辑框3" type 编辑框3 12a3
  check_wait 编辑框3 text 123 3000
  check_run "cannot type into 编辑框3" type 编辑框3 -007
  check_run "cannot leave 编辑框3" focus 编辑框2
  check_wait 编辑框3 text -7 3000
  check_run "cannot type into 编辑框2" type 编辑框2 0x05
  check_run "cannot leave 编辑框2" focus 编辑框3
  check_wait 编辑框2 text 5 3000
  e2e_screenshot number-entry.png
}

# The spin arrows step the box's text within its own range (1440 minutes, 3600 seconds;
# the stepping and wrapping are the unit tests'); the box then shows the whole number
# selected and has the focus.
test_spin_wrap() {
  e2e_expand
  check_run "cannot type into 编辑框2" type 编辑框2 1440
  check_run "cannot click the up arrow of 编辑框2" spin 编辑框2 up
  check_wait 编辑框2 text 0 3000
  check 编辑框2 selection "0 1"
  check 编辑框2 focused 1
  check_run "cannot type into 编辑框3" type 编辑框3 0
  check_run "cannot click the down arrow of 编辑框3" spin 编辑框3 down
  check_wait 编辑框3 text 3600 3000
  check 编辑框3 focused 1
  e2e_screenshot spin.png
}

# The action radio boxes (on the window) and the mode radio boxes (in 分组框1) are two
# groups: a click unchecks the others of its own group only.
test_radio_groups() {
  check_run "cannot click 单选框2" click 单选框2
  check 单选框2 checked 1
  check 单选框1 checked 0
  check 单选框7 checked 1
  check_run "cannot click 单选框6" click 单选框6
  check 单选框6 checked 1
  check 单选框7 checked 0
  check 单选框2 checked 1
}

# The window at a display scale: the definition's 96-DPI sizes scaled by edges (window,
# every control rectangle and font), every caption fitting its control, and the fields'
# start-up values (the play button disabled until a sound is chosen, the clock label may
# have left its placeholder). 选择框3 switches the height between the whole reminder panel
# shown and the panel below the lower edge; width and top-left corner stay. Wine's
# desktop is made large enough for the expanded window at 200 %.
dpi_case() {
  local dpi=$1
  scaled() { echo $((($1 * dpi + 48) / 96)); }
  check_run "the window differs from its definition at $dpi DPI" check-layout "--dpi=$dpi" 按钮4.enabled=0 "标签3.text=*"
  local today text
  today=$(date +%Y-%m-%d)
  check_run "the fields' start-up values differ" expect "日期框2.value=$today 00:00:00" "日期框3.value=$today 00:00:00" \
    日期框2.text=00:00:00 日期框3.text=00:00:00 编辑框1.visible=0 编辑框2.text=0 编辑框3.text=0 编辑框4.text=声音文件
  text=$(drv get 日期框1 text)
  [[ $text =~ ^[0-9]{4}年[0-9]{2}月[0-9]{2}日\ \ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] ||
    e2e_fail "日期框1 shows \"$text\", not yyyy年MM月dd日  HH:mm:ss"
  [[ $text == "$(date +%Y年%m月%d日)"* ]] || e2e_fail "日期框1 shows \"$text\", not today"
  # The icons are drawn at the sizes the system asks for: the small one at its exact size,
  # the big one at the smallest drawn size (32 or 48) that covers it.
  local big=32
  [ "$(scaled 32)" -le 32 ] || big=48
  check window icons "$(scaled 16) $big"
  # The client part of the definition's outer size scales; the frame is Wine's own.
  local frame_w frame_h client_w client_h
  read -r frame_w frame_h <<<"$(drv get window frame-at-96)"
  read -r _ _ client_w client_h <<<"$(drv get window client-rect)"
  [ "$client_w $client_h" = "$(scaled $((540 - frame_w))) $(scaled $((470 - frame_h)))" ] ||
    e2e_fail "client area ${client_w}x$client_h at $dpi DPI, not the 96-DPI one scaled"
  # Known misfits, a few pixels at every scale: WenQuanYi Zen Hei, which stands in for
  # 黑体 here, sets its ideographs about 3 % wider than 1 em, and the captions of these
  # three labels fill their whole width at 1 em a character (标签1 and 标签6 end in a
  # full-width colon or full stop, whose ink lies in the left half).
  local fit
  fit=$(drv text-fit 标签1 标签6 标签8) || e2e_fail "captions that do not fit at $dpi DPI:$(grep MISFIT <<<"$fit" | sed 's/^/\n  /')"
  echo "text fit at $dpi DPI (text, then the room for it):"
  sed 's/^/  /' <<<"$fit"
  local left top width height
  read -r left top width height <<<"$(drv get window rect)"
  check_run "cannot click 选择框3" click 选择框3
  check 选择框3 checked 1
  check_wait window height $((height + $(scaled $((635 - frame_h))) - $(scaled $((470 - frame_h))))) 5000
  check window rect "$left $top $width $(drv get window height)"
  read -r _ _ _ client_h <<<"$(drv get window client-rect)"
  [ "$client_h" -ge "$(scaled 598)" ] || e2e_fail "expanded client area $client_h high cuts the panel at $dpi DPI"
  e2e_screenshot "dpi-$dpi-expanded.png"
  check_run "cannot click 选择框3" click 选择框3
  check 选择框3 checked 0
  check_wait window height "$height" 5000
  check window rect "$left $top $width $height"
  read -r _ _ _ client_h <<<"$(drv get window client-rect)"
  [ "$client_h" -le "$(scaled 446)" ] || e2e_fail "collapsed client area $client_h high shows part of the panel at $dpi DPI"
  e2e_screenshot "dpi-$dpi.png"
}
test_dpi_96() { dpi_case 96; }
test_dpi_120() { dpi_case 120; }
test_dpi_144() { dpi_case 144; }
test_dpi_192() { dpi_case 192; }

# Tab follows the layout, top to bottom and left to right, over what is enabled and inside
# the window; each radio group is one stop; arrows choose inside a group; Enter presses the
# focused button.
test_keyboard() {
  local order=()
  check_run "cannot focus 选择框3" focus 选择框3
  for _ in 1 2 3 4 5 6 7 8 9; do
    check_run "cannot press tab" key window tab
    order+=("$(drv get window focus)")
  done
  [ "${order[*]}" = "选择框1 选择框2 单选框1 单选框7 日期框1 按钮1 标签2 选择框3 选择框1" ] ||
    e2e_fail "tab order: ${order[*]}"
  # Shift+Tab walks back; the board takes Space as a click.
  check_run "cannot press shift+tab" key 选择框3 shift+tab
  check window focus 标签2
  # An arrow moves inside the mode group (the order, 6, 8, 7, wrapping: unit tests), choosing the box.
  check_run "cannot press down" key 单选框7 down
  check window focus 单选框6
  check 单选框6 checked 1
  check 单选框7 checked 0
  check_wait 日期框2 enabled 1 3000
  check 单选框1 checked 1
  # The panel is reached once it is shown.
  check_run "cannot press space" key 选择框3 space
  check_wait window height 635 5000
  check_run "cannot press tab" key 编辑框4 tab
  check window focus 按钮3  # 按钮4 stays disabled until a sound is chosen
  # Enter starts the countdown of 00:00:00, which is refused with a message.
  check_run "cannot press enter" key 按钮1 enter
  check_run "Enter did not press 按钮1" wait-box 关机时间设置错误！ 5000
  check_run "cannot answer the box" answer-box ok
}

# Screen readers: the mode radio boxes get the names of their rows, the clock and the board
# report their text as name and value. Wine takes the annotations without keeping them
# (its SetHwndPropStr is a stub that notes each call), so the calls are read from its trace.
# None is made before something asks for the window's accessible object.
test_accessibility() {
  check_run "the clock did not run" wait-not 标签3 caption "$PLACEHOLDER" 5000
  ! grep -q SetHwndPropStr "$E2E_RUN_DIR/annotations.log" || e2e_fail "annotated before anything asked"
  check_run "cannot ask for the accessible object" ask-accessible window
  local clock
  clock=$(drv get 标签3 caption)
  check_run "the clock did not run on" wait-not 标签3 caption "$clock" 3000
  local lines=() name
  for name in 单选框6 单选框7 单选框8 标签2 标签3; do
    lines+=("$name $(drv get "$name" hwnd)")
  done
  # A reading that failed is the driver's failure, never an empty clock.
  name=$(drv get 标签3 caption) || { e2e_fail "cannot read the clock's caption"; return; }
  lines+=("标签3-text $name")
  python3 - "$E2E_RUN_DIR/annotations.log" "${lines[@]}" <<'PY' || e2e_fail "the accessible names differ"
import re, sys
NAME, VALUE = "{608d3df8-8128-4aa7-a428-f55e49267291}", "{123fe443-211a-4615-9527-c45a7e93717a}"
calls = set()
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    m = re.search(r'SetHwndPropStr \(([0-9A-F]+) 4294967292 0 (\{[0-9a-f-]+\}) L"(.*)"\)', line)
    if m:
        text = re.sub(r'\\([0-9a-f]{4})', lambda e: chr(int(e.group(1), 16)), m.group(3))
        calls.add((int(m.group(1), 16), m.group(2), text))
# Handles as numbers: the driver and a 32-bit Wine's trace write them with different widths.
hwnd = {k: (int(v, 16) if not k.endswith("-text") else v) for k, v in (a.split(" ", 1) for a in sys.argv[2:])}
want = [(hwnd["单选框6"], NAME, "设定关机日期时间"), (hwnd["单选框8"], NAME, "鼠标键盘空闲时间"),
        (hwnd["单选框7"], NAME, "日期时间"), (hwnd["标签2"], NAME, "倒计时牌"), (hwnd["标签2"], VALUE, "倒计时牌"),
        (hwnd["标签3"], NAME, hwnd["标签3-text"]), (hwnd["标签3"], VALUE, hwnd["标签3-text"])]
missing = [w for w in want if w not in calls]
for w in missing:
    print("no annotation", w, file=sys.stderr)
sys.exit(1 if missing else 0)
PY
}

# Moving to a monitor of another DPI while a countdown runs: every control and font is
# remade at the new scale, the window takes the definition's size at that scale (the
# client part scaled, and the frame at 144 DPI), and the countdown goes on.
test_monitor_change() {
  e2e_countdown 00:05:00
  local target frame_w frame_h frame144_w frame144_h
  target=$(drv get 编辑框1 text)
  read -r frame_w frame_h <<<"$(drv get window frame-at-96)"
  read -r frame144_w frame144_h <<<"$(drv get window frame-at-144)"
  drv dpi-changed 144 >/dev/null || e2e_fail "the program did not take the new DPI"
  check window rect "$(drv get window rect | cut -d' ' -f1,2) $((frame144_w + ((540 - frame_w) * 144 + 48) / 96)) $((frame144_h + ((470 - frame_h) * 144 + 48) / 96))"
  check_run "the window differs from its definition at 144 DPI" check-layout --dpi=144 --props=rect,font
  e2e_screenshot dpi-change-144.png
  local board
  board=$(drv get 标签2 caption)
  check_run "the countdown stopped" wait-not 标签2 caption "$board" 3000
  check 编辑框1 text "$target"
  check 按钮1 enabled 0
  drv dpi-changed 96 >/dev/null || e2e_fail "the program did not take 96 DPI again"
  check window rect "$(drv get window rect | cut -d' ' -f1,2) 540 470"
  check_run "the window differs from its definition at 96 DPI again" check-layout --props=rect,font
}

# The expanded window at 200 % is 1270 pixels high.
readonly DPI_DESKTOP=1600x1400
case ${1:-} in dpi_*) export TOLVANE_E2E_XVFB_SCREEN=$DPI_DESKTOP ;; esac

e2e_before_case() {
  case $1 in
    dpi_*) e2e_dpi "${1#dpi_}" "$DPI_DESKTOP" ;;
    accessibility) e2e_start --trace -all,fixme+oleacc annotations.log; return ;;
  esac
  e2e_start
}

e2e_main "$@"
