# shellcheck shell=bash
# The environment in which Tolvane.exe runs under Wine: a private prefix under the
# build tree, a private X display, CJK fonts mapped for the window's font faces and a
# Chinese (code page 936) locale. Wine draws its own desktop of the screen's size, so
# window frames, focus and clicks do not depend on a window manager. Sourced by the
# end-to-end tests and by run_program.sh.
#
#   tolvane_e2e_prefix     create or refresh the prefix (fast when it is up to date)
#   tolvane_e2e_display    make DISPLAY usable, starting a private Xvfb when needed
#   tolvane_e2e_end_session  end every Wine process of the prefix
#   tolvane_e2e_cleanup    the same, and end our Xvfb
#   tolvane_wine_runs_32bit  whether Wine's 32-bit side is installed (Debian's wine32)
#
# Settings (environment):
#   TOLVANE_E2E_DIR        work directory; default <source>/build/mingw/e2e
#   TOLVANE_E2E_LOCALE     locale Wine runs in; default zh_CN.UTF-8 (built privately
#                          with localedef when the system lacks it); "C" for code page 1252
#                          (keep one locale per TOLVANE_E2E_DIR: Wine rewrites the
#                          prefix's font links when the code page changes)
#   TOLVANE_E2E_DISPLAY    "private" (default for tests): always start an Xvfb;
#                          "auto": use $DISPLAY when it answers, else start an Xvfb
#   TOLVANE_E2E_SCREEN     Xvfb screen and Wine desktop size; default 1024x768
#   TOLVANE_E2E_XVFB_SCREEN  a larger Xvfb screen for a test that enlarges Wine's desktop
#                          for itself (the prefix keeps TOLVANE_E2E_SCREEN)
#   TOLVANE_E2E_WINEDEBUG  Wine's debug channels for the programs; default -all
#                          ("+heap" checks the heap, reporting into each run's program.log)
#   TOLVANE_E2E_WINEARCH   win64 (default) or win32: a prefix of Wine's 32-bit side only,
#                          as a 32-bit Windows is (one architecture per TOLVANE_E2E_DIR)
#   TOLVANE_E2E_WINVER     the Windows version Wine reports (winecfg -v), e.g. winxp, or
#                          winxp64 in a win64 prefix; default Wine's own
#
# Executing the file runs the setup: `wine_env.sh setup` or `wine_env.sh cleanup`.

TOLVANE_E2E_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
: "${TOLVANE_E2E_DIR:=$TOLVANE_E2E_SRC/build/mingw/e2e}"
: "${TOLVANE_E2E_LOCALE:=zh_CN.UTF-8}"
: "${TOLVANE_E2E_DISPLAY:=private}"
: "${TOLVANE_E2E_SCREEN:=1024x768}"
mkdir -p "$TOLVANE_E2E_DIR"
TOLVANE_E2E_DIR=$(cd "$TOLVANE_E2E_DIR" && pwd)
export TOLVANE_E2E_DIR

: "${TOLVANE_E2E_WINEARCH:=win64}"
: "${TOLVANE_E2E_WINVER:=}"
export WINEPREFIX="$TOLVANE_E2E_DIR/prefix"
export WINEARCH=$TOLVANE_E2E_WINEARCH
export WINEDEBUG=${TOLVANE_E2E_WINEDEBUG:--all}
# No Mono or Gecko install prompts, no menu entries or file associations in $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# With WINEDEBUG=+relay, Wine traces only these calls: the power requests and what
# surrounds them, and where sound is handed to the devices.
TOLVANE_E2E_RELAY="AdjustTokenPrivileges;ExitWindowsEx;SetSuspendState;SetSystemPowerState;SetThreadExecutionState"
TOLVANE_E2E_RELAY+=";waveOutOpen;waveOutWrite;waveOutReset;waveOutClose;midiStreamOpen;midiStreamOut;midiStreamRestart"

# The clock's text in the window definition, shown until the first tick: screenshots wait
# for the real time.
TOLVANE_E2E_CLOCK_PLACEHOLDER="2013年03月13日 00:00:00"

tolvane_e2e_log() { echo "e2e: $*" >&2; }

# Debian's wine starts 32-bit programs only with the loader of its wine32:i386 package.
tolvane_wine_runs_32bit() { [ -x /usr/lib/wine/wine ]; }

# Wine takes its code page from the Unix locale, which must exist. Build it into the
# work directory when the system has not generated it.
tolvane_e2e_locale() {
  local want=$TOLVANE_E2E_LOCALE
  if [ "$want" = C ] || [ "$want" = POSIX ]; then
    # Still UTF-8 on the Unix side: Wine converts command-line arguments with it.
    export LC_ALL=C.UTF-8
    return 0
  fi
  if [ -z "$(LC_ALL=$want locale 2>&1 >/dev/null)" ]; then  # no complaint: the system has it
    export LC_ALL=$want
    return 0
  fi
  local dir="$TOLVANE_E2E_DIR/locale"
  if [ ! -d "$dir/$want" ]; then
    mkdir -p "$dir"
    # Exit status 1 only means warnings; the locale is there when its files are.
    localedef -i "${want%%.*}" -f "${want#*.}" "$dir/$want" >/dev/null 2>&1 || true
    [ -f "$dir/$want/LC_CTYPE" ] ||
      { tolvane_e2e_log "cannot build locale $want (is the 'locales' package installed?)"; return 1; }
  fi
  export LOCPATH="$dir"
  { export LC_ALL=$want; } 2>/dev/null  # bash itself would warn: it does not see LOCPATH
}

# Prefix settings, as a registry file. Sound goes to PulseAudio (the tests that listen
# start a private server). Font faces the window asks for that Wine does
# not have are substituted by WenQuanYi Zen Hei, which has both the Chinese glyphs and
# Latin letters and digits; the faces Wine draws its own texts with link to it, so
# message boxes and dialogs show Chinese too.
tolvane_e2e_registry() {
  local size=$TOLVANE_E2E_SCREEN zen="WenQuanYi Zen Hei" face
  cat <<EOF
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]
"Audio"="pulse"

[HKEY_CURRENT_USER\\Software\\Wine\\Debug]
"RelayInclude"="$TOLVANE_E2E_RELAY"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$size"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]
"WenQuanYi Zen Hei & WenQuanYi Zen Hei Mono & WenQuanYi Zen Hei Sharp (TrueType)"="wqy-zenhei.ttc"
"WenQuanYi Micro Hei & WenQuanYi Micro Hei Mono (TrueType)"="wqy-microhei.ttc"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
EOF
  for face in 黑体 SimHei 宋体 SimSun 新宋体 NSimSun 微软雅黑 "Microsoft YaHei" 楷体 KaiTi 仿宋 FangSong; do
    echo "\"$face\"=\"$zen\""
  done
  echo
  echo "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]"
  for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" Arial; do
    echo "\"$face\"=hex(7):$(printf 'wqy-zenhei.ttc,%s\0\0' "$zen" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//;s/,$//')"
  done
}

tolvane_e2e_prefix() {
  tolvane_e2e_locale || return 1
  local stamp="$WINEPREFIX/.tolvane-e2e" want
  want=$({ wine --version; tolvane_e2e_registry; echo "$LC_ALL $WINEARCH $TOLVANE_E2E_WINVER"; } | md5sum | cut -d' ' -f1)
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && return 0
  tolvane_e2e_log "setting up the Wine prefix $WINEPREFIX"
  # A prefix of the other architecture cannot be turned into this one.
  if [ -f "$WINEPREFIX/system.reg" ] && ! grep -q "^#arch=$WINEARCH\$" "$WINEPREFIX/system.reg"; then
    rm -rf "$WINEPREFIX"
  fi
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" reg="$TOLVANE_E2E_DIR/prefix.reg" f
  # wineboot must not see a display: it would pop up its progress window.
  (unset DISPLAY; timeout 300 wineboot -i >"$TOLVANE_E2E_DIR/wineboot.log" 2>&1 && timeout 120 wineserver -w) ||
    { tolvane_e2e_log "wineboot failed, see $TOLVANE_E2E_DIR/wineboot.log"; return 1; }
  mkdir -p "$fonts"
  for f in /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc /usr/share/fonts/truetype/wqy/wqy-microhei.ttc; do
    [ -f "$f" ] || { tolvane_e2e_log "missing $f (packages fonts-wqy-zenhei, fonts-wqy-microhei)"; return 1; }
    cp -f "$f" "$fonts/"
  done
  # Wine's own fonts (Marlett draws the caption buttons and the spin arrows) are not
  # picked up from Debian's data directory; the prefix's font folder always is.
  cp -f /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || tolvane_e2e_log "no Wine fonts (package fonts-wine)"
  tolvane_e2e_registry | iconv -f UTF-8 -t UTF-16 >"$reg"
  (unset DISPLAY; timeout 120 wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" && timeout 120 wineserver -w) ||
    { tolvane_e2e_log "regedit failed"; return 1; }
  if [ -n "$TOLVANE_E2E_WINVER" ]; then
    (unset DISPLAY; timeout 120 winecfg -v "$TOLVANE_E2E_WINVER" && timeout 120 wineserver -w) ||
      { tolvane_e2e_log "winecfg -v $TOLVANE_E2E_WINVER failed"; return 1; }
  fi
  echo "$want" >"$stamp"
}

# A display for Wine. A private Xvfb is started on a free display number (Xvfb picks it
# and reports it through -displayfd) and ended by tolvane_e2e_cleanup.
tolvane_e2e_display() {
  if [ "$TOLVANE_E2E_DISPLAY" = auto ] && [ -n "${DISPLAY:-}" ] && timeout 10 xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local numfile pid deadline
  numfile=$(mktemp "$TOLVANE_E2E_DIR/xvfb.XXXXXX")
  Xvfb -displayfd 3 -screen 0 "${TOLVANE_E2E_XVFB_SCREEN:-$TOLVANE_E2E_SCREEN}x24" -nolisten tcp -noreset \
    3>"$numfile" >"$TOLVANE_E2E_DIR/xvfb.log" 2>&1 </dev/null &
  pid=$!
  deadline=$((SECONDS + 20))
  while ! grep -q '[0-9]' "$numfile" 2>/dev/null; do
    if ! kill -0 "$pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
      tolvane_e2e_log "Xvfb did not start, see $TOLVANE_E2E_DIR/xvfb.log"
      kill "$pid" 2>/dev/null; rm -f "$numfile"
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(tr -dc 0-9 <"$numfile")"
  rm -f "$numfile"
  TOLVANE_E2E_XVFB_PID=$pid
}

# The Wine processes of this prefix (its programs and its server): pid and command line.
tolvane_e2e_processes() {
  local dir pid exe
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    exe=$(readlink "$dir/exe" 2>/dev/null) || continue
    case ${exe##*/} in wine*) ;; *) continue ;; esac
    { tr '\0' '\n' <"$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
    echo "$pid $({ tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null)"
  done
}

# Ends every Wine process of the prefix; a server that does not answer, and programs
# that outlive it, are killed.
tolvane_e2e_end_session() {
  timeout 15 wineserver -k >/dev/null 2>&1 || true
  timeout 15 wineserver -w >/dev/null 2>&1 || true
  local pids
  pids=$(tolvane_e2e_processes | cut -d' ' -f1)
  if [ -n "$pids" ]; then
    tolvane_e2e_log "killing what is left of the Wine session: $(paste -sd' ' <<<"$pids")"
    # shellcheck disable=SC2086
    kill -9 $pids 2>/dev/null || true
    sleep 0.5
  fi
  return 0
}

# Safe in an EXIT trap of a script running with set -e: nothing here fails.
tolvane_e2e_cleanup() {
  tolvane_e2e_end_session
  if [ -n "${TOLVANE_E2E_XVFB_PID:-}" ]; then
    kill "$TOLVANE_E2E_XVFB_PID" 2>/dev/null || true
    wait "$TOLVANE_E2E_XVFB_PID" 2>/dev/null || true
    unset TOLVANE_E2E_XVFB_PID
  fi
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-setup}" in
    setup) tolvane_e2e_prefix ;;
    cleanup)
      # Also ends a display that run_program.sh --keep left running.
      pidfile="$TOLVANE_E2E_DIR/xvfb.pid"
      if [ -f "$pidfile" ] && grep -q Xvfb "/proc/$(cat "$pidfile")/cmdline" 2>/dev/null; then
        TOLVANE_E2E_XVFB_PID=$(cat "$pidfile")
      fi
      rm -f "$pidfile"
      tolvane_e2e_locale && tolvane_e2e_cleanup ;;
    *) echo "usage: $0 [setup|cleanup]" >&2; exit 2 ;;
  esac
fi
