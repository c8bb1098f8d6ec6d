#!/bin/bash
# The settings file beside the program, the ways of quitting, and the tray icon.
#   settings_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
here=$(dirname "$0")
# shellcheck source=e2e_session.sh
source "$here/e2e_session.sh"
# shellcheck source=audio.sh
source "$here/audio.sh"

# Types into a number box and leaves it, as the user does.
enter() {
  check_run "cannot type into $1" type "$1" "$2"
  check_run "cannot leave $1" focus 选择框4
}

# Nothing is written until a close request, which writes the three keys of the reminder
# fields; 启用自定义 is written the moment its box is clicked. A second start reads the
# file back.
test_settings_file() {
  local ini=$E2E_RUN_DIR/config.ini clock
  e2e_start
  clock=$(drv get 标签3 caption)
  check_run "the clock does not run" wait-not 标签3 caption "$clock" 3000
  [ ! -e "$ini" ] || e2e_fail "config.ini exists before any close request"
  e2e_close
  check_ini "$ini" 自定提示声= 提示开始=0 提示间隔=0

  e2e_start
  e2e_expand
  enter 编辑框2 12
  enter 编辑框3 45
  check_run "cannot click 选择框4" click 选择框4
  check_ini "$ini" 自定提示声= 提示开始=0 提示间隔=0 启用自定义=真
  e2e_close
  check_ini "$ini" 自定提示声= 提示开始=12 提示间隔=45 启用自定义=真

  e2e_start
  check_run "the saved settings were not loaded" expect 编辑框2.text=12 编辑框3.text=45 选择框4.checked=1 \
    编辑框4.text= 按钮4.enabled=0
  check_run "cannot click 选择框4" click 选择框4
  check_ini "$ini" 自定提示声= 提示开始=12 提示间隔=45 启用自定义=假
  e2e_close
}

# A prepared file naming a WAV file beside the program (a Chinese name, in GBK): the
# fields show it, the play button plays that file, and quitting from the tray menu leaves
# the file as it was although a field was changed.
test_settings_prepared() {
  local ini=$E2E_RUN_DIR/config.ini wav=$E2E_RUN_DIR/提醒.wav
  make_tone "$wav"
  write_ini "$ini" "自定提示声=$(e2e_winpath "$wav")" 提示开始=5 提示间隔=30 启用自定义=真
  cp "$ini" "$ini.prepared"
  e2e_audio_start
  e2e_start
  check_run "the prepared settings were not loaded" expect 编辑框2.text=5 编辑框3.text=30 编辑框4.text=提醒.wav \
    选择框4.checked=1 按钮4.enabled=1
  e2e_expand
  check_run "the clock label never left its placeholder" wait-not 标签3 caption "2013年03月13日 00:00:00" 3000
  e2e_screenshot settings-panel.png
  e2e_played_once "the play button"

  enter 编辑框2 7
  e2e_tray_menu >/dev/null || e2e_fail "the tray menu did not open"
  check_run "cannot choose 退出程序" menu 退出程序
  e2e_wait_exit 30
  cmp -s "$ini" "$ini.prepared" || e2e_fail "quitting from the tray menu changed config.ini"
  e2e_start
  check 编辑框2 text 5
  e2e_close
}

# Windows asking whether the logon may end is a close request: the settings are saved
# and the program agrees and ends.
test_settings_end_session() {
  e2e_start
  e2e_expand
  enter 编辑框2 9
  (unset DISPLAY; timeout 60 wineboot --end-session --shutdown >/dev/null 2>&1) || e2e_fail "wineboot --end-session failed"
  e2e_wait_exit 30
  check_ini "$E2E_RUN_DIR/config.ini" 自定提示声= 提示开始=9 提示间隔=0
}

# Scoop keeps config.ini as a hard link to its copy in Scoop's persist folder, first made
# from the empty file its manifest writes: the close request's save reaches that copy,
# which the next version's link reads, and config.ini stays linked to it.
test_settings_hard_link() {
  local ini=$E2E_RUN_DIR/config.ini kept=$E2E_RUN_DIR/persist/config.ini
  mkdir -p "${kept%/*}" && : >"$kept" && ln "$kept" "$ini" || e2e_abort "cannot link config.ini"
  e2e_start
  e2e_expand
  enter 编辑框2 12
  e2e_close
  check_ini "$kept" 自定提示声= 提示开始=12 提示间隔=0
  [ "$(stat -c %h "$ini")" = 2 ] || e2e_fail "config.ini is no longer linked to the persisted copy"
}

# Minimising hides the window in the tray; a click, a double-click or "显示窗口" on the
# icon shows it again, and the menu greys "显示窗口" while the window is shown. The
# "立即执行" command asks first; Cancel changes nothing. "退出程序" ends the program
# without writing the settings.
test_tray() {
  e2e_start
  local rect items
  rect=$(e2e_tray_menu 500 400) || e2e_fail "no popup menu for a right click on the icon"
  [[ $rect == "503 403 "* ]] || e2e_fail "the popup menu opened at $rect, expected 3 pixels right of and below the pointer (500 400)"
  items=$(drv menu-items | paste -sd' ')
  [ "$items" = $'显示窗口\t0 -\t0 立即执行\t1 取消执行\t0 -\t0 退出程序\t1' ] || e2e_fail "tray menu while shown: $items"
  check_run "cannot close the menu" menu none
  local op
  for op in left double menu; do
    check_run "cannot minimise" minimize
    check_wait window visible 0 5000
    if [ "$op" = menu ]; then
      e2e_tray_menu >/dev/null
      items=$(drv menu-items | paste -sd' ')
      [[ $items == $'显示窗口\t1 '* ]] || e2e_fail "显示窗口 is not enabled while hidden: $items"
      check_run "cannot choose 显示窗口" menu 显示窗口
    else
      check_run "no tray $op click" tray "$op"
    fi
    check_wait window visible 1 5000 || echo "  (after a tray $op)" >&2
    check window iconic 0
  done
  e2e_tray_menu >/dev/null || e2e_fail "the tray menu did not open"
  items=$(drv menu-items | paste -sd' ')
  [[ $items == $'显示窗口\t0 '* ]] || e2e_fail "显示窗口 is enabled again while shown: $items"
  check_run "cannot choose 立即执行" menu 立即执行
  local box
  box=$(drv wait-box 确定要立即执行操作吗？ 5000) || e2e_fail "立即执行 asked nothing"
  [ "$box" = "请确认	确定要立即执行操作吗？" ] || e2e_fail "confirmation box: \"$box\""
  check_run "cannot cancel" answer-box cancel
  check_run "cancelling 立即执行 changed something" expect 选择框2.checked=0 按钮1.enabled=1 window.visible=1
  e2e_tray_menu >/dev/null || e2e_fail "the tray menu did not open"
  check_run "cannot choose 退出程序" menu 退出程序
  e2e_wait_exit 30
  [ ! -e "$E2E_RUN_DIR/config.ini" ] || e2e_fail "退出程序 wrote config.ini"
}

# The program in a folder whose name GBK cannot write (a user's own name under the
# profile): config.ini beside it is read at start and written on close, and a sound file
# chosen there plays at once and again after the next start, from what config.ini keeps
# of its path (GBK text that opens the same file).
settings_in_folder() {
  local folder=$1 sound=$2 base=$E2E_RUN_DIR
  E2E_RUN_DIR=$base/$folder
  mkdir -p "$E2E_RUN_DIR" && mv "$base/Tolvane.exe" "$E2E_RUN_DIR/" || e2e_abort "cannot move the program into $folder"
  local ini=$E2E_RUN_DIR/config.ini wav=$E2E_RUN_DIR/$sound kept shown
  make_tone "$wav"
  write_ini "$ini" 提示开始=5 提示间隔=30
  e2e_audio_start
  e2e_start
  check_run "config.ini in $folder was not read at start" expect 编辑框2.text=5 编辑框3.text=30 按钮4.enabled=0
  e2e_expand
  check_run "cannot click 按钮3" click 按钮3
  check_run "the file dialog did not take $sound" open-file "$(e2e_winpath "$wav")"
  check_wait 按钮4 enabled 1 5000 || e2e_abort "the sound file chosen in $folder was not read"
  drv boxes | grep -q . && e2e_fail "a box is open after the choice: $(drv boxes)"
  e2e_played_once "the sound chosen in $folder"
  enter 编辑框2 7
  e2e_close
  kept=$(python3 -c 'import sys
for l in open(sys.argv[1], "rb").read().decode("gbk").splitlines():
    if l.startswith("自定提示声="): print(l.split("=", 1)[1])' "$ini") || e2e_fail "config.ini in $folder is not GBK"
  [ -n "$kept" ] || e2e_fail "no path of the sound file was kept"
  check_ini "$ini" "自定提示声=$kept" 提示开始=7 提示间隔=30

  e2e_start
  shown=${kept##*\\}
  check_run "the kept path $kept did not open the sound at the next start" expect 编辑框2.text=7 按钮4.enabled=1 \
    "编辑框4.text=$shown"
  e2e_expand
  e2e_played_once "the sound kept from $folder"
  e2e_close
}

# The play button plays the sound file (the test tone) once.
e2e_played_once() {
  e2e_hear "played-$((++E2E_PLAYS))" 1 10 check_run "cannot click 按钮4" real-click 按钮4 &&
    check_heard "$1" "0 1.5 $TONE_PEAK $TONE_HZ"
}
E2E_PLAYS=0

# Hangul: neither folder nor file name can be written in GBK.
test_settings_folder_korean() { settings_in_folder 김민수 김민수.wav; }
# A Latin letter GBK lacks in the folder; the file's own name is GBK.
test_settings_folder_umlaut() { settings_in_folder Jörg 提醒.wav; }

e2e_main "$@"
