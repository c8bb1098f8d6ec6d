#!/bin/bash
# The power requests of the real program, seen through Wine's relay trace of the power
# functions (TOLVANE_E2E_RELAY in wine_env.sh). "立即执行" with "启 动" requests the
# chosen action at once; the date-time picker still holds the moment the program started,
# which lies in the past by then and must not stop the request.
#   power_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
# shellcheck source=e2e_session.sh
source "$(dirname "$0")/e2e_session.sh"

readonly POWER_FUNCTIONS="ExitWindowsEx SetSuspendState SetSystemPowerState"

# One program run: choose the action radio and the force setting, request at once, and
# let the program end. The trace goes to power-<radio>-<force>.log.
request_now() {
  local radio=$1 force=$2
  POWER_LOG=power-$radio-$force.log
  e2e_start --relay "$POWER_LOG"
  POWER_LOG=$E2E_RUN_DIR/$POWER_LOG
  check_run "cannot click $radio" click "$radio"
  [ "$force" = 1 ] || check_run "cannot click 选择框1" click 选择框1
  check_run "cannot click 选择框2" click 选择框2
  check_run "the choices did not take" expect "$radio.checked=1" "选择框1.checked=$force" 选择框2.checked=1
  check_run "cannot click 按钮1" click 按钮1
  e2e_wait_exit 30
}

# Exactly one power call, the expected one, after the shutdown privilege was enabled.
expect_power_call() {
  local function=$1 bits=$2 want=$3 what=$4 f calls at privilege
  for f in $POWER_FUNCTIONS; do
    calls=$(relay_calls "$POWER_LOG" "$f" "$bits" | paste -sd' ')
    if [ "$f" = "$function" ]; then
      [ "$calls" = "$want" ] || e2e_fail "$what: $f calls (${calls:-none}), expected one with ($want)"
    else
      [ -z "$calls" ] || e2e_fail "$what: unexpected $f calls ($calls)"
    fi
  done
  at=$(relay_first "$POWER_LOG" "$function")
  privilege=$(relay_first "$POWER_LOG" AdjustTokenPrivileges)
  [ -n "$privilege" ] && [ -n "$at" ] && [ "$privilege" -lt "$at" ] ||
    e2e_fail "$what: the shutdown privilege was not enabled before $function"
}

# Shut down, restart and log off end the Wine session: another program of the session is
# ended too, killed unasked with force and asked first (WM_QUERYENDSESSION) without. The
# flags of each action and force are the mapping table's (unit tests); here one forced
# and one unforced action show the radio boxes and the force box reach the call.
test_power_session_end() {
  local row radio force flags
  for row in 单选框1:1:c 单选框5:0:0; do
    IFS=: read -r radio force flags <<<"$row"
    e2e_witness_start
    request_now "$radio" "$force"
    expect_power_call ExitWindowsEx 32 "$flags,0" "$radio with force $force"
    e2e_witness_ended 30
    if [ "$force" = 1 ]; then
      ! grep -q queryendsession "$E2E_WITNESS_NOTES" || e2e_fail "$radio forced: the other program was asked first"
    else
      grep -q queryendsession "$E2E_WITNESS_NOTES" || e2e_fail "$radio without force: the other program was not asked"
    fi
    e2e_new_session
  done
}

# Standby and hibernate go through the power-profile call (hibernate?, force, 0); under
# Wine it returns at once, the program closes and the session goes on. Hibernate unforced
# here, standby forced from the tray below. A running countdown keeps the system awake,
# and a cancel lets it sleep again.
test_power_suspend() {
  e2e_witness_start
  request_now 单选框4 0
  expect_power_call SetSuspendState 8 "1,0,0" "单选框4 without force"

  # A countdown: awake while it runs, released on cancel; then the tray's "立即执行",
  # confirmed, requests the action of the running countdown at once.
  e2e_start --relay power-tray.log
  POWER_LOG=$E2E_RUN_DIR/power-tray.log
  e2e_countdown 00:10:00 单选框3
  local states
  states=$(relay_calls "$POWER_LOG" SetThreadExecutionState | paste -sd' ')
  [ "$states" = 80000001 ] || e2e_fail "starting a countdown: SetThreadExecutionState calls ($states), expected (80000001)"
  check_run "cannot click 按钮2" click 按钮2
  check_wait 按钮1 enabled 1 5000
  states=$(relay_calls "$POWER_LOG" SetThreadExecutionState | paste -sd' ')
  [ "$states" = "80000001 80000000" ] ||
    e2e_fail "cancelling: SetThreadExecutionState calls ($states), expected (80000001 80000000)"
  check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 5000
  e2e_tray_menu >/dev/null || e2e_fail "the tray menu did not open"
  check_run "cannot choose 立即执行" menu 立即执行
  local box
  box=$(drv wait-box 确定要立即执行操作吗？ 5000) || e2e_fail "no confirmation for 立即执行"
  [ "$box" = "请确认	确定要立即执行操作吗？" ] || e2e_fail "confirmation box: \"$box\""
  check_run "cannot confirm" answer-box ok
  e2e_wait_exit 30
  expect_power_call SetSuspendState 8 "0,1,0" "立即执行 from the tray during a countdown"
  kill -0 "$E2E_WITNESS_PID" 2>/dev/null || e2e_fail "standby or hibernate ended the Wine session"
  ! grep -q endsession "$E2E_WITNESS_NOTES" || e2e_fail "standby or hibernate asked the session to end"
}

# Where Windows reports XP (a prefix with TOLVANE_E2E_WINVER set), which has no
# power-profile call, standby goes through the kernel's call (suspend, force).
test_power_standby_xp() {
  [ -n "$TOLVANE_E2E_WINVER" ] || e2e_abort "this case needs a prefix that reports Windows XP"
  request_now 单选框3 1
  expect_power_call SetSystemPowerState 8 "1,1" "standby with force on XP"
}

e2e_main "$@"
