#!/bin/bash
# Libraries planted beside the program are never loaded: a winmm.dll and an uxtheme.dll
# that leave a marker file when loaded lie next to Tolvane.exe, and Wine is told to
# prefer such native copies, as Windows' own search order would. The program starts,
# plays its reminder preview (the real sound library, heard) and closes; no marker
# appears. The same libraries loaded on purpose by the driver do leave their markers.
#   security_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
here=$(dirname "$0")
# shellcheck source=e2e_session.sh
source "$here/e2e_session.sh"
# shellcheck source=audio.sh
source "$here/audio.sh"

test_planted_dlls() {
  local planted name wav=$E2E_RUN_DIR/tone.wav
  planted=$(dirname "$E2E_DRIVER")/planted
  for name in winmm uxtheme; do
    cp "$planted/$name.dll" "$E2E_RUN_DIR/" || e2e_abort "no planted $name.dll in $planted"
  done
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm,uxtheme=n,b"
  make_tone "$wav"
  write_ini "$E2E_RUN_DIR/config.ini" "自定提示声=$(e2e_winpath "$wav")" 启用自定义=真
  e2e_audio_start
  e2e_start
  check_run "the sound file was not loaded" expect 按钮4.enabled=1
  e2e_hear preview 1 10 check_run "cannot click 按钮4" click 按钮4 && check_heard "the preview" "0 1.5 $TONE_PEAK $TONE_HZ"
  e2e_close
  # The marker takes the name the loader used, in whatever case.
  markers() { find "$E2E_RUN_DIR" -maxdepth 1 -iname '*.dll.loaded' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | sort | paste -sd' '; }
  [ -z "$(markers)" ] || e2e_fail "planted libraries were loaded into the program: $(markers)"
  for name in winmm uxtheme; do
    drv load-library "$(e2e_winpath "$E2E_RUN_DIR/$name.dll")" || e2e_fail "the driver cannot load the planted $name.dll"
  done
  [ "$(markers)" = "uxtheme.dll.loaded winmm.dll.loaded" ] ||
    e2e_fail "the planted libraries loaded on purpose left the markers \"$(markers)\""
}

e2e_main "$@"
