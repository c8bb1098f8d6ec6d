#!/bin/bash
# The installer in a Wine prefix of its own, made fresh for the test: a silent install as
# the prefix's ordinary user (its uninstaller signed and time-stamped inside it), the
# installed program started from its Start-menu shortcut, an update and an uninstall that
# leave the running program alone (but not for a copy running from another folder), one
# whose file cannot be written, an install at once after an uninstall, a silent uninstall.
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

# A silent run, without waiting for the rest of the Wine session, that must end with an
# exit code: <code> <what> <program> [argument]. 3: the installed program is running;
# 2: aborted (NSIS's own).
ends_with() {
  local want=$1 what=$2 code=0
  shift 2
  timeout 180 wine "$1" /S "${@:2}" >>"$E2E_RUN_DIR/setup.log" 2>&1 || code=$?
  [ "$code" = "$want" ] || e2e_fail "$(basename "$1") /S ${*:2}: exit code $code $what, not $want"
}

# Runs the entry's QuietUninstallString as winget and scripts do, the whole command line
# as written there; returns its exit code.
quiet_uninstall() {
  local command
  command=$(uninstall_entry | sed -n 's/^QuietUninstallString=//p')
  [ -n "$command" ] || { e2e_fail "the uninstall entry has no QuietUninstallString"; return 99; }
  # A batch file: cmd reads the line as Windows does, waits for the program and passes
  # its exit code on.
  printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$command" >"$E2E_RUN_DIR/quiet-uninstall.bat"
  timeout 180 wine cmd /c "$(e2e_winpath_of "$E2E_RUN_DIR/quiet-uninstall.bat")" >>"$E2E_RUN_DIR/setup.log" 2>&1
}

# Waits for the uninstaller's copy of itself (it runs from the temporary folder).
uninstaller_copy_ended() {
  local deadline=$((SECONDS + 120))
  while tolvane_e2e_processes | grep -q 'Au_\.exe\|Un_[A-Z]\.exe'; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "the uninstaller's copy does not end"; return 1; }
    sleep 0.5
  done
}

# The installed files, the uninstall entry and the shortcut, to see that nothing changed.
install_state() { md5sum "$dir"/*.exe "$dir"/*.txt "$lnk" 2>&1; uninstall_entry; }

# A throwaway code-signing certificate and a local time-stamp server, for the uninstaller
# that make_setup.sh signs inside the installer.
signing_setup() {
  local keys=$E2E_RUN_DIR/keys
  mkdir -p "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Tolvane test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null &&
    openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signer.pfx" -passout pass:throwaway ||
    e2e_abort "cannot make a signing certificate"
  python3 "$here/../release/tsa_responder.py" "$keys/tsa" >"$keys/tsa.url" &
  e2e_on_exit "kill $!"
  for _ in $(seq 100); do [ -s "$keys/tsa.url" ] && break; sleep 0.1; done
  export TOLVANE_SIGN_PFX=$keys/signer.pfx TOLVANE_SIGN_PASSWORD=throwaway
  TOLVANE_SIGN_TIMESTAMP_URL=$(cat "$keys/tsa.url") || e2e_abort "the time-stamp server did not start"
  export TOLVANE_SIGN_TIMESTAMP_URL
}

test_installer() {
  local setup=$E2E_RUN_DIR/setup.exe update=$E2E_RUN_DIR/update.exe other=$E2E_RUN_DIR/other.exe newer=$E2E_RUN_DIR/newer.exe
  local dir menu lnk entry ini saved want size want_size before report homepage code deadline temp
  # The build's own program goes in for the prefix's processor (x64 in a 64-bit prefix, x86
  # in a 32-bit one); the other slot holds a file that is no program, which must not land.
  echo "not for this processor" >"$other"
  signing_setup
  if [ "$WINEARCH" = win64 ]; then
    "$here/../../packaging/windows/make_setup.sh" "$other" "$E2E_EXE" "$setup"
  else
    "$here/../../packaging/windows/make_setup.sh" "$E2E_EXE" "$other" "$setup"
  fi || e2e_abort "cannot build the installer"
  # An update: another program in both slots.
  { cat "$E2E_EXE"; echo update; } >"$newer"
  "$here/../../packaging/windows/make_setup.sh" "$newer" "$newer" "$update" || e2e_abort "cannot build the update"
  homepage=$("$here/../../packaging/project.sh" homepage)
  dir=$(folder_of LOCALAPPDATA)/Programs/Tolvane
  temp=$(folder_of TEMP)
  menu=$(folder_of APPDATA)/Microsoft/Windows/Start\ Menu/Programs
  lnk=$menu/Tolvane\ 定时关机.lnk
  ini=$dir/config.ini
  [ -n "$dir" ] && [ ! -e "$dir" ] || e2e_abort "the fresh prefix already has $dir"
  grep -aq '<dpiAwareness[^>]*>PerMonitorV2' "$setup" || e2e_fail "the installer's manifest is not PerMonitorV2-aware"

  silently "$setup" || e2e_abort "the silent install failed"
  cmp -s "$E2E_EXE" "$dir/Tolvane.exe" || e2e_fail "no Tolvane.exe of this processor in $dir"
  [ -f "$dir/uninstall.exe" ] || e2e_fail "no uninstall.exe in $dir"
  cmp -s <(printf '\xef\xbb\xbf'; sed 's/$/\r/' "$here/../../THIRD-PARTY-NOTICES.txt") "$dir/THIRD-PARTY-NOTICES.txt" ||
    e2e_fail "no THIRD-PARTY-NOTICES.txt (UTF-8, CR LF) in $dir"
  [ -f "$lnk" ] || e2e_fail "no Start-menu shortcut $lnk"
  head -c 3 "$dir/LICENSE.txt" 2>/dev/null | cmp -s - <(printf '\xef\xbb\xbf') || e2e_fail "no LICENSE.txt (UTF-8) in $dir"
  # Signed inside the installer, time-stamped: valid after the certificate has expired.
  report=$(osslsigncode verify -CAfile "$E2E_RUN_DIR/keys/cert.pem" -TSA-CAfile "$E2E_RUN_DIR/keys/tsa/tsa.pem" \
    -time $(($(date +%s) + 3 * 86400)) -in "$dir/uninstall.exe" 2>&1) &&
    grep -q "Timestamp Server Signature verification: ok" <<<"$report" ||
    e2e_fail "the installed uninstall.exe carries no valid time-stamped signature: $report"
  entry=$(uninstall_entry)
  for want in "DisplayName=Tolvane 定时关机" "DisplayVersion=$("$here/../../packaging/project.sh" version)" \
              "Publisher=The Tolvane authors" "DisplayIcon=$(e2e_winpath_of "$dir")\\Tolvane.exe,0" \
              "URLInfoAbout=$homepage" "HelpLink=$homepage/issues" "InstallDate=$(date +%Y%m%d)" \
              "UninstallString=\"$(e2e_winpath_of "$dir")\\uninstall.exe\" _?=$(e2e_winpath_of "$dir")"; do
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

  # While it runs (it may be counting down to a shutdown), an update and an uninstall,
  # silent as an update manager runs them, change nothing, end nothing and say so by
  # their exit code. Run plainly, the uninstaller goes on from a copy of itself, whose
  # exit code its caller never sees: that copy is waited for.
  before=$(install_state)
  ends_with 3 "with the program running" "$update"
  code=0
  quiet_uninstall || code=$?
  [ "$code" = 3 ] || e2e_fail "the quiet uninstall command ends with exit code $code with the program running, not 3"
  timeout 60 wine "$dir/uninstall.exe" /S >>"$E2E_RUN_DIR/setup.log" 2>&1
  uninstaller_copy_ended
  [ "$(install_state)" = "$before" ] || e2e_fail "with the program running, the installed files or entry changed"
  drv wait-window 1000 || e2e_abort "the running program was ended"
  drv close 20000 || e2e_fail "the window did not close"
  timeout 60 wineserver -w
  check_ini "$ini" 自定提示声= 提示开始=0 提示间隔=0

  # A file that cannot be written (here held by another program: the driver's witness,
  # running as Tolvane.exe but without the program's window) ends the install before
  # anything else changes.
  mv "$dir/Tolvane.exe" "$dir/Tolvane.exe.saved"
  cp "$E2E_DRIVER" "$dir/Tolvane.exe"
  before=$(install_state)
  e2e_witness_start "$dir/Tolvane.exe"
  ends_with 2 "with Tolvane.exe held" "$update"
  [ "$(install_state)" = "$before" ] || e2e_fail "an install whose file could not be written changed something"
  e2e_new_session
  mv -f "$dir/Tolvane.exe.saved" "$dir/Tolvane.exe"

  # A copy running from another folder holds up neither an install nor an uninstall, and
  # an install at once after an uninstall is whole: the uninstaller, which ends only after
  # handing its own removal over, removes nothing of it. Installing again keeps the settings.
  write_ini "$ini" 自定提示声= 提示开始=12 提示间隔=45 启用自定义=真
  saved=$(md5sum <"$ini")
  e2e_start
  ends_with 0 "with a copy running from another folder" "$setup"
  before=$(ls -A "$temp")
  code=0
  quiet_uninstall || code=$?
  [ "$code" = 0 ] || e2e_fail "the quiet uninstall command ends with exit code $code with a copy running elsewhere"
  ends_with 0 "at once after an uninstall" "$setup"
  drv close 20000 || e2e_fail "the window of the copy did not close"
  timeout 120 wineserver -w
  [ -f "$dir/uninstall.exe" ] && [ -n "$(uninstall_entry)" ] || e2e_fail "an install after an uninstall lacks uninstall.exe or its entry"
  [ "$(ls -A "$temp")" = "$before" ] || e2e_fail "the uninstall left in the temporary folder: $(ls -A "$temp")"
  # A late copy of an earlier uninstaller (its uninstall.exe written at another time)
  # leaves this install's uninstall.exe alone.
  cp "$dir/uninstall.exe" "$E2E_RUN_DIR/late-copy.exe"
  timeout 60 wine "$E2E_RUN_DIR/late-copy.exe" /S /REMOVEUNINSTALLER=1 /WRITTEN=1 "_?=$(e2e_winpath_of "$dir")" >>"$E2E_RUN_DIR/setup.log" 2>&1
  [ -f "$dir/uninstall.exe" ] || e2e_fail "a late copy of an earlier uninstaller removed the new uninstall.exe"
  [ "$(md5sum <"$ini")" = "$saved" ] || e2e_fail "installing again changed config.ini"
  cmp -s "$E2E_EXE" "$dir/Tolvane.exe" || e2e_fail "no Tolvane.exe after installing again"

  # The quiet uninstall command removes the program, its shortcut and entry, and keeps
  # the settings; uninstall.exe goes once it has ended.
  code=0
  quiet_uninstall || code=$?
  [ "$code" = 0 ] || e2e_fail "the quiet uninstall command ends with exit code $code, not 0"
  deadline=$((SECONDS + 60))
  while [ -e "$dir/uninstall.exe" ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
  [ "$(ls -A "$dir")" = config.ini ] || e2e_fail "uninstalling leaves in $dir: $(ls -A "$dir" | paste -sd' ')"
  [ ! -e "$dir/Tolvane.exe" ] || e2e_fail "Tolvane.exe is left after uninstalling"
  [ ! -e "$dir/uninstall.exe" ] || e2e_fail "uninstall.exe is left after uninstalling"
  [ ! -e "$dir/THIRD-PARTY-NOTICES.txt" ] || e2e_fail "THIRD-PARTY-NOTICES.txt is left after uninstalling"
  [ ! -e "$dir/LICENSE.txt" ] || e2e_fail "LICENSE.txt is left after uninstalling"
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
if [ "${1:-}" = installer ]; then
  # The installer is a 32-bit program, whichever build it carries. Without Wine's 32-bit
  # side, a 64-bit prefix tests the same script built as a 64-bit installer.
  if ! tolvane_wine_runs_32bit; then
    [ "$WINEARCH" = win64 ] || { echo "NOT RUN: the installer needs Wine's 32-bit side (wine32:i386)"; exit 77; }
    echo "NOTE: no Wine 32-bit side (wine32:i386): testing the installer built for amd64"
    export TOLVANE_SETUP_TARGET=amd64-unicode
  fi
  e2e_fresh_prefix
fi
e2e_main "$@"
