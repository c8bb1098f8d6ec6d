#!/bin/bash
# The installer in a Wine prefix of its own, made fresh for the test: a silent install as
# the prefix's ordinary user, the installed program started from its Start-menu shortcut,
# a second install over the first, a silent uninstall.
#   installer_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
here=$(dirname "$0")
# shellcheck source=e2e_session.sh
source "$here/e2e_session.sh"

UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane'

# A Unix path from a Windows folder variable (%LOCALAPPDATA%, %APPDATA%) of the prefix.
folder_of() {
  local windows
  windows=$(timeout 60 wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')
  timeout 30 winepath -u "$windows" 2>/dev/null
}

# The uninstall entry's values as "name=data" lines (reg prints in the code page, GBK).
uninstall_entry() {
  timeout 60 wine reg query "$UNINSTALL_KEY" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
    sed -n 's/^ *\([A-Za-z]*\) *REG_[A-Z_]* *\(.*\)$/\1=\2/p'
}

# Runs a setup or uninstall program silently; the NSIS uninstaller goes on from a copy of
# itself, so the whole Wine session is waited for.
silently() {
  timeout 180 wine "$@" /S >>"$E2E_RUN_DIR/setup.log" 2>&1 || { e2e_fail "$(basename "$1") /S failed"; return 1; }
  timeout 120 wineserver -w
}

test_installer() {
  local setup=$E2E_RUN_DIR/setup.exe dir menu lnk entry ini saved want size want_size
  # The build's own program stands for both: the installer puts the x64 one on a 64-bit
  # prefix, the x86 one on a 32-bit prefix, so each build's run tests one of its branches.
  "$here/../../packaging/windows/make_setup.sh" "$E2E_EXE" "$E2E_EXE" "$setup" || e2e_abort "cannot build the installer"
  dir=$(folder_of LOCALAPPDATA)/Programs/Tolvane
  menu=$(folder_of APPDATA)/Microsoft/Windows/Start\ Menu/Programs
  lnk=$menu/Tolvane\ 定时关机.lnk
  ini=$dir/config.ini
  [ -n "$dir" ] && [ ! -e "$dir" ] || e2e_abort "the fresh prefix already has $dir"

  silently "$setup" || e2e_abort "the silent install failed"
  cmp -s "$E2E_EXE" "$dir/Tolvane.exe" || e2e_fail "no Tolvane.exe in $dir"
  [ -f "$dir/uninstall.exe" ] || e2e_fail "no uninstall.exe in $dir"
  cmp -s <(sed 's/$/\r/' "$here/../../THIRD-PARTY-NOTICES.txt") "$dir/THIRD-PARTY-NOTICES.txt" ||
    e2e_fail "no THIRD-PARTY-NOTICES.txt (with CR LF) in $dir"
  [ -f "$lnk" ] || e2e_fail "no Start-menu shortcut $lnk"
  entry=$(uninstall_entry)
  for want in "DisplayName=Tolvane 定时关机" "DisplayVersion=$("$here/../../packaging/project.sh" version)" \
              "Publisher=The Tolvane authors" "DisplayIcon=$(e2e_winpath_of "$dir")\\Tolvane.exe,0"; do
    grep -qxF "$want" <<<"$entry" || e2e_fail "the uninstall entry lacks $want: $entry"
  done
  # The size in KiB, of the program and its uninstaller.
  size=$(( $(sed -n 's/^EstimatedSize=//p' <<<"$entry") + 0 ))
  want_size=$(( ($(stat -c %s "$dir/Tolvane.exe") + $(stat -c %s "$dir/uninstall.exe")) / 1024 ))
  [ $((size - want_size)) -ge -1 ] && [ $((size - want_size)) -le 1 ] ||
    e2e_fail "EstimatedSize is $size KiB, the files take $want_size KiB"
  ! timeout 60 wine reg query "${UNINSTALL_KEY/HKCU/HKLM}" >/dev/null 2>&1 || e2e_fail "the installer wrote to HKLM"

  # From the shortcut, as the user starts it; the settings go beside the installed program.
  timeout 60 wine start "$(e2e_winpath_of "$lnk")" >>"$E2E_RUN_DIR/setup.log" 2>&1 ||
    e2e_abort "cannot open the shortcut"
  drv wait-window 60000 || e2e_abort "the installed program shows no window"
  check_run "the clock does not run" wait-not 标签3 caption "$(drv get 标签3 caption)" 3000
  e2e_screenshot installed.png
  drv close 20000 || e2e_fail "the window did not close"
  timeout 60 wineserver -w
  check_ini "$ini" 自定提示声= 提示开始=0 提示间隔=0

  # Installing again keeps the settings.
  printf '[系统设置]\r\n自定提示声=\r\n提示开始=12\r\n提示间隔=45\r\n启用自定义=真\r\n' | iconv -f UTF-8 -t GBK >"$ini"
  saved=$(md5sum <"$ini")
  silently "$setup"
  [ "$(md5sum <"$ini")" = "$saved" ] || e2e_fail "installing again changed config.ini"
  cmp -s "$E2E_EXE" "$dir/Tolvane.exe" || e2e_fail "no Tolvane.exe after installing again"

  # A silent uninstall removes the program, its shortcut and entry, and keeps the settings.
  silently "$dir/uninstall.exe"
  [ ! -e "$dir/Tolvane.exe" ] || e2e_fail "Tolvane.exe is left after uninstalling"
  [ ! -e "$dir/uninstall.exe" ] || e2e_fail "uninstall.exe is left after uninstalling"
  [ ! -e "$dir/THIRD-PARTY-NOTICES.txt" ] || e2e_fail "THIRD-PARTY-NOTICES.txt is left after uninstalling"
  [ ! -e "$lnk" ] || e2e_fail "the shortcut is left after uninstalling"
  [ -z "$(uninstall_entry)" ] || e2e_fail "the uninstall entry is left after uninstalling"
  [ "$(md5sum <"$ini" 2>/dev/null)" = "$saved" ] || e2e_fail "a silent uninstall did not keep config.ini"
}

# A Windows path for any Unix path, also outside the prefix's drive Z: mapping of /.
e2e_winpath_of() { timeout 30 winepath -w "$1" 2>/dev/null; }

# Every run starts from a new prefix: nothing of an earlier install is there.
e2e_fresh_prefix() {
  tolvane_e2e_end_session
  rm -rf "$WINEPREFIX"
}
[ "${1:-}" = installer ] && e2e_fresh_prefix
e2e_main "$@"
