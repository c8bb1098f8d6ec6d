#!/bin/bash
# Schedules on the real program: a countdown to the end, cancelling, pausing by clicks on
# the board, and targets that are too close.
#   schedule_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
# shellcheck source=e2e_session.sh
source "$(dirname "$0")/e2e_session.sh"

readonly PAUSED=计时暂停中...
readonly TIME_RE='^([0-9]+)天([0-9]+)小时([0-9]+)分([0-9]+)秒$'

# Idle with the countdown mode chosen, and running: the enabled states of every choice.
readonly IDLE_COUNTDOWN=(按钮1.enabled=1 按钮2.enabled=0 单选框1.enabled=1 单选框2.enabled=1 单选框3.enabled=1
  单选框4.enabled=1 单选框5.enabled=1 单选框6.enabled=1 单选框7.enabled=1 单选框8.enabled=1 日期框1.enabled=0
  日期框2.enabled=1 日期框3.enabled=0 选择框1.enabled=1 选择框2.enabled=1 选择框3.enabled=1 选择框4.enabled=1
  标签2.caption=倒计时牌)
readonly RUNNING=(按钮1.enabled=0 按钮2.enabled=1 单选框1.enabled=0 单选框2.enabled=0 单选框3.enabled=0
  单选框4.enabled=0 单选框5.enabled=0 单选框6.enabled=0 单选框7.enabled=0 单选框8.enabled=0 日期框1.enabled=0
  日期框2.enabled=0 日期框3.enabled=0 选择框1.enabled=0 选择框2.enabled=1 选择框3.enabled=0 选择框4.enabled=1)

# The seconds a board caption stands for; fails for any other caption.
board_seconds() {
  [[ $1 =~ $TIME_RE ]] || return 1
  echo $((BASH_REMATCH[1] * 86400 + BASH_REMATCH[2] * 3600 + BASH_REMATCH[3] * 60 + BASH_REMATCH[4]))
}

# Waits until the board shows a remaining time and prints its seconds.
wait_board_time() {
  local deadline=$((SECONDS + 5)) caption
  while [ $SECONDS -lt $deadline ]; do
    caption=$(drv get 标签2 caption) && board_seconds "$caption" && return 0
  done
  e2e_fail "the board shows no remaining time: \"${caption:-}\""
  return 1
}

# The tray menu's items (caption TAB enabled); the menu is closed again.
tray_menu_items() {
  e2e_tray_menu >/dev/null || return
  drv menu-items
  drv menu none >/dev/null || echo "(the menu did not close)"
}

# A log-off countdown of 8 seconds counts down on the board once a second and then ends
# the Wine session; the program exits with code 0 and requests the action once.
test_countdown_logoff() {
  e2e_witness_start
  e2e_start --relay power.log
  e2e_countdown 00:00:08 单选框5
  check_run "not every choice is locked while running" expect "${RUNNING[@]}" 单选框5.checked=1 选择框1.checked=1
  wait_board_time >/dev/null
  e2e_screenshot countdown-running.png
  local board=$E2E_RUN_DIR/board.txt
  # The watch ends with the window, or is ended with the session.
  drv watch 标签2 caption 15000 >"$board" 2>/dev/null
  e2e_wait_exit 30
  e2e_witness_ended 30
  local ms caption s times=() values=()
  while IFS=$'\t' read -r ms caption; do
    if s=$(board_seconds "$caption"); then
      times+=("$ms") values+=("$s")
    elif [ "$caption" != 倒计时牌 ] && [ "$caption" != gone ]; then
      e2e_fail "the board showed \"$caption\" while counting down"
    fi
  done <"$board"
  local n=${#values[@]} i
  if [ "$n" -lt 5 ] || [ "${values[n - 1]}" != 1 ]; then
    e2e_fail "the board counted ${values[*]:-nothing}, expected one value a second down to 1"
  else
    for ((i = 1; i < n; i++)); do
      [ "${values[i]}" -eq $((values[i - 1] - 1)) ] || e2e_fail "the board went from ${values[i - 1]} to ${values[i]} seconds"
    done
    # The first value is what the board showed when the watch began, at any point of its
    # second; from the first change on, n - 2 steps of a second each, give or take the
    # polling and a late tick.
    local span=$((times[n - 1] - times[1]))
    [ "$span" -ge $(((n - 2) * 1000 - 600)) ] && [ "$span" -le $(((n - 2) * 1000 + 600)) ] ||
      e2e_fail "the board took $span ms for $((n - 2)) one-second steps"
  fi
  local calls
  calls=$(relay_calls "$E2E_RUN_DIR/power.log" ExitWindowsEx | paste -sd' ')
  [ "$calls" = "4,0" ] || e2e_fail "ExitWindowsEx calls (${calls:-none}), expected one forced log off (4,0)"
}

# Cancel returns every control to the idle state it had, with the same choices; clicks
# on the board pause and resume, and a pause moves the target by its length. A cancel
# counts as a board click, so the first click of the next run resumes (nothing to see)
# and the second pauses.
test_cancel_and_pause() {
  check_run "cannot click 单选框2" click 单选框2
  check_run "cannot click 单选框6" click 单选框6
  check_run "the idle state differs" expect "${IDLE_COUNTDOWN[@]}"
  e2e_countdown 00:10:00
  check_run "not every choice is locked while running" expect "${RUNNING[@]}"
  local before after items
  before=$(wait_board_time) || e2e_abort "the countdown did not start"
  [ "$before" -ge 598 ] && [ "$before" -le 600 ] || e2e_fail "a 10 minute countdown shows $before seconds"
  items=$(tray_menu_items)
  grep -qx $'取消执行\t1' <<<"$items" || e2e_fail "取消执行 is not enabled while running: $items"

  before=$(wait_board_time) || return
  check_run "cannot click the board" real-click 标签2
  check_wait 标签2 caption "$PAUSED" 3000
  e2e_screenshot countdown-paused.png
  local clock
  clock=$(drv get 标签3 caption)
  # Four seconds of pause: the notice blinks every half second and the clock goes on.
  local blink=$E2E_RUN_DIR/blink.txt
  drv watch 标签2 caption 4000 >"$blink" || e2e_fail "cannot watch the board"
  cut -f2 "$blink" | grep -qvx -e "$PAUSED" -e "" && e2e_fail "the paused board showed $(cut -f2 "$blink" | sort -u | paste -sd,)"
  [ "$(grep -cx $'[0-9]*\t' "$blink")" -ge 3 ] && [ "$(grep -c "$PAUSED" "$blink")" -ge 3 ] ||
    e2e_fail "the pause notice did not blink: $(paste -sd' ' "$blink")"
  [ "$(drv get 标签3 caption)" != "$clock" ] || e2e_fail "the clock stood still during the pause"
  check_run "cannot click the board" real-click 标签2
  after=$(wait_board_time) || return
  [ "$after" -ge $((before - 2)) ] && [ "$after" -le "$before" ] ||
    e2e_fail "$before seconds before a pause of 4 s, $after after it: the target did not move with the pause"

  check_run "cannot click 按钮2" click 按钮2
  check_run "cancel left a control as it was while running" expect "${IDLE_COUNTDOWN[@]}" 单选框2.checked=1 \
    单选框6.checked=1 选择框1.checked=1 选择框2.checked=0
  check 日期框2 text 00:10:00
  items=$(tray_menu_items)
  grep -qx $'取消执行\t0' <<<"$items" || e2e_fail "取消执行 is enabled while idle: $items"

  # The same choices start again without new input.
  check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 5000
  wait_board_time >/dev/null || return
  # A click on a running board pauses it, whatever the cancels before.
  check_run "cannot click the board" real-click 标签2
  check_wait 标签2 caption "$PAUSED" 3000
  # Cancelled from the tray while paused: idle, and the blinking stops.
  e2e_tray_menu >/dev/null || e2e_fail "the tray menu did not open"
  check_run "cannot choose 取消执行" menu 取消执行
  check_wait 按钮1 enabled 1 3000
  check_run "cancel from the tray left a control as it was while running" expect "${IDLE_COUNTDOWN[@]}"
  [ "$(drv watch 标签2 caption 1200 | cut -f2 | sort -u)" = 倒计时牌 ] || e2e_fail "the board kept changing after the cancel"
  e2e_close
}

# A target less than 5 seconds ahead is refused with a message and changes nothing; 6
# seconds ahead is accepted. (Standby is chosen: harmless if a countdown ran out.)
test_too_close() {
  check_run "cannot click 单选框3" click 单选框3
  # The date-time picker still holds the moment the program started.
  local clock
  clock=$(drv get 标签3 caption)
  check_run "the clock does not run" wait-not 标签3 caption "$clock" 3000
  clock=$(drv get 标签3 caption)
  check_run "the clock does not run" wait-not 标签3 caption "$clock" 3000
  local what idle_datetime=(按钮1.enabled=1 按钮2.enabled=0 日期框1.enabled=1 日期框2.enabled=0 单选框7.checked=1
    选择框1.enabled=1 标签2.caption=倒计时牌)
  for what in start "$(date -d '+3 sec' '+%F %T')" 00:00:04; do
    case $what in
      start) ;;
      00:*) check_run "cannot click 单选框6" click 单选框6 && check_run "cannot set the countdown" set-picker 日期框2 "$what" ;;
      *) check_run "cannot set the date" set-picker 日期框1 "$what" ;;
    esac
    check_run "cannot click 按钮1" click 按钮1
    local box
    box=$(drv wait-box 关机时间设置错误！ 5000) || { e2e_fail "no message for the target $what"; continue; }
    [ "$box" = "信息：	关机时间设置错误！" ] || e2e_fail "message box for the target $what: \"$box\""
    check_run "the schedule left idle behind the message" expect 按钮1.enabled=1 按钮2.enabled=0 标签2.caption=倒计时牌
    check_run "cannot answer the message" answer-box ok
    if [ "$what" = 00:00:04 ]; then
      check_run "the refusal changed the state" expect "${IDLE_COUNTDOWN[@]}"
    else
      check_run "the refusal changed the state" expect "${idle_datetime[@]}"
    fi
  done
  check_run "cannot set the countdown" set-picker 日期框2 00:00:06
  check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 3000
  check_run "cannot click 按钮2" click 按钮2
  check_wait 按钮1 enabled 1 3000
  local boxes
  boxes=$(drv boxes)
  [ -z "$boxes" ] || e2e_fail "a countdown of 6 s brought a message: $boxes"
}

# Every case but the log-off countdown starts with the program already up.
e2e_before_case() { [ "$1" = countdown_logoff ] || e2e_start; }

e2e_main "$@"
