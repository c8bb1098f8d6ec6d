#!/bin/bash
# The reminder sounds, as the program hands them to the sound devices (Wine's relay
# trace of the wave and MIDI calls, with their times), and once heard from a private
# PulseAudio null sink, so the road to the speaker stays proven. The action is standby,
# which under Wine returns at once, so the program then simply closes.
#   sound_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
here=$(dirname "$0")
# shellcheck source=e2e_session.sh
source "$here/e2e_session.sh"
# shellcheck source=audio.sh
source "$here/audio.sh"

readonly CLIP_BUFFERS=2  # the built-in clip's 20468 bytes fill two of the player's buffers

# The WAVE sounds of the trace $2 start at the given offsets in seconds from the first
# one, each handed over whole ($3 buffers): a second twice over is two sounds together,
# and no others. Sounds the program ends early (those of the last two seconds) may be
# cut short; every other one plays to its end.
#   check_reminders <what> <trace> <buffers> <offset>...
check_reminders() {
  local what=$1 trace=$2 buffers=$3 calls got
  shift 3
  calls=$(sound_calls "$trace")
  got=$(awk -v want="$*" -v buffers="$buffers" '
    $2 == "wave" { at[++n] = $1; result[n] = $3; writes[n] = $4; reset[n] = $5 }
    END {
      m = split(want, w, " ")
      if (n != m) { print n " sounds, expected " m; exit }
      for (i = 1; i <= n; i++) {
        off = at[i] - at[1]
        # A tick of the wrong second is a whole second off.
        if (off < w[i] - 0.4 || off > w[i] + 0.4) print "sound " i " at " off " s, expected " w[i]
        if (result[i] != 0 || writes[i] != buffers) print "sound " i ": open result " result[i] ", " writes[i] " buffers"
        if (w[i] < w[m] - 1.5 && reset[i] != "-") print "sound " i " cut short after " reset[i] " s"
      }
    }' <<<"$calls" | paste -sd';')
  [ -z "$got" ] || e2e_fail "$what: $got; sounds (start kind result buffers reset closed): $(paste -sd, <<<"$calls")"
}

# Default reminders: the built-in clip at 30, 20, 10, 5, 4, 3, 2, 1 and 0 (twice: the
# periodic reminder and the final prompt) seconds remaining. The first brings a window
# hidden in the tray back, and from 5 seconds on the window stays on top.
test_reminders_default() {
  e2e_audio_start
  e2e_start --relay sound.log
  e2e_countdown 00:00:35 单选框3
  check_run "cannot minimise" minimize
  check_wait window visible 0 5000
  check_wait window visible 1 15000 || echo "  (the reminder at 30 s should show the window)" >&2
  check window iconic 0
  check_wait window topmost 1 30000 || echo "  (from 5 s remaining the window stays on top)" >&2
  e2e_wait_exit 30
  check_reminders "default reminders" "$E2E_RUN_DIR/sound.log" $CLIP_BUFFERS 0 10 20 25 26 27 28 29 30 30
}

# Custom reminders from the settings file, every 5 s from 1 minute on, with a sound file
# chosen: the file, not the built-in clip, at 10, 5 (twice: the periodic and the final
# prompt together), 4, 3, 2, 1 and 0 (twice) seconds remaining; heard as the file is. The
# file is the test tone of 0.5 s (22050 bytes, two of the player's buffers), so that
# sounds a second apart are heard apart.
test_reminders_custom() {
  local wav=$E2E_RUN_DIR/tone.wav
  make_tone "$wav" 0.5
  write_ini "$E2E_RUN_DIR/config.ini" "自定提示声=$(e2e_winpath "$wav")" 提示开始=1 提示间隔=5 启用自定义=真
  e2e_audio_start
  e2e_start --relay sound.log
  check_run "the settings were not loaded" expect 选择框4.checked=1 编辑框2.text=1 编辑框3.text=5 按钮4.enabled=1
  e2e_record_start reminders
  e2e_countdown 00:00:13 单选框3
  e2e_wait_exit 30
  e2e_record_stop
  check_reminders "custom reminders" "$E2E_RUN_DIR/sound.log" 2 0 5 5 6 7 8 9 10 10
  local tone="0.5 $TONE_PEAK $TONE_HZ"
  check_heard "custom reminders" "0 $tone" "~5 0.5" "6 $tone" "7 $tone" "8 $tone" "9 $tone" "~10 0.5"
}

# Heard: a chosen WAVE file played with the play button, then the built-in clip of the
# default reminder at 10 s remaining (the default schedule keeps the built-in clip when a
# file is chosen): each as long and as loud as it is, the file at its pitch.
test_sound_heard() {
  local wav=$E2E_RUN_DIR/tone.wav
  make_tone "$wav"
  write_ini "$E2E_RUN_DIR/config.ini" "自定提示声=$(e2e_winpath "$wav")" 启用自定义=假
  e2e_audio_start
  e2e_start
  check_run "the sound file was not loaded" expect 按钮4.enabled=1
  e2e_hear heard 2 30 play_then_count_down
  e2e_wait_exit 30
  check_heard "heard" "0 1.5 $TONE_PEAK $TONE_HZ" "- 0.9 0.48 -"
}
play_then_count_down() {
  check_run "cannot click 按钮4" click 按钮4
  e2e_countdown 00:00:13 单选框3
}

# WAVE files the device takes in ways only it shows, written by sox: the play button
# hands each over in the given number of buffers, and the device plays it to its end, as
# long as the file. The device refuses 64-bit samples, which are then handed over as
# 16-bit; compressed files go through the system's codecs as they are. A GSM 6.10 buffer
# lasts over 9 s, longer than a PCM device ever keeps one: the long file must still play
# to its end, not be reset as a dead device is. Each is heard whole as the test tone (a
# GSM buffer ending inside a 65-byte block would turn the rest to noise).
#   name      seconds buffers  sox options of the file written
readonly WAVE_FORMATS=(
  "f64        1.5     5        -r 22050 -c 1 -b 64 -e floating-point -t wavpcm"
  "ima-adpcm  1.5     2        -r 22050 -c 1 -b 4 -e ima-adpcm -t wav"
  "gsm        20      3        -r 8000 -c 1 -e gsm-full-rate -t wav"
)

test_wave_formats() {
  local ini=$E2E_RUN_DIR/config.ini row name seconds buffers options wav calls
  e2e_audio_start
  for row in "${WAVE_FORMATS[@]}"; do
    read -r name seconds buffers options <<<"$row"
    wav=$E2E_RUN_DIR/$name.wav
    # shellcheck disable=SC2086 # the options are words
    make_tone "$wav" "$seconds" $options
    write_ini "$ini" "自定提示声=$(e2e_winpath "$wav")" 启用自定义=真
    e2e_start --relay "$name.log"
    check_run "$name: the sound file was not loaded" expect 选择框4.checked=1 按钮4.enabled=1
    e2e_hear "$name" 1 $((${seconds%.*} + 15)) play_until_closed "$name"
    calls=$(sound_calls "$E2E_RUN_DIR/$name.log")
    awk -v want="$seconds" -v buffers="$buffers" 'NR == 1 && $2 == "wave" && $3 == 0 && $4 == buffers && $5 == "-" &&
                            $6 >= want - 0.05 && $6 <= want * 1.2 + 1 { ok = 1 } END { exit !(ok && NR == 1) }' <<<"$calls" ||
      e2e_fail "$name: sounds (start kind result buffers reset closed): $(paste -sd, <<<"$calls"), expected one of $buffers buffers played for $seconds s"
    check_heard "$name" "0 $seconds $TONE_PEAK $TONE_HZ"
    e2e_close
  done
}
# The play button, then until the sound is closed, or 15 s after it should have been.
play_until_closed() {
  local deadline=$((SECONDS + ${seconds%.*} + 15))
  check_run "$1: cannot click 按钮4" click 按钮4
  until calls=$(sound_calls "$E2E_RUN_DIR/$1.log"); [ -n "$calls" ] && [ "$(awk 'NR == 1 { print $6 }' <<<"$calls")" != - ]; do
    [ $SECONDS -lt $deadline ] || break
    sleep 0.2
  done
}

# A sound that cannot play never stops the schedule. The sound file is previewed twice
# with the play button, then a short standby countdown runs with a reminder every
# 2 s: whatever the sound device does with the file, the standby is requested at
# the target and the program ends with code 0.
#   $1  the sound file
schedule_survives_sound() {
  local calls
  e2e_audio_start
  write_ini "$E2E_RUN_DIR/config.ini" "自定提示声=$(e2e_winpath "$1")" 提示开始=1 提示间隔=2 启用自定义=真
  e2e_start --relay power.log
  check_run "the sound file was not loaded" expect 选择框4.checked=1 按钮4.enabled=1
  check_run "cannot open the reminder panel" click 选择框3
  check_run "cannot click 按钮4" click 按钮4
  sleep 1
  check_run "cannot click 按钮4 again" click 按钮4
  e2e_countdown 00:00:12 单选框3
  e2e_wait_exit 40 || { e2e_fail "the program did not end well"; return; }
  calls=$(relay_calls "$E2E_RUN_DIR/power.log" SetSuspendState 8 | paste -sd' ')
  [ "$calls" = "0,1,0" ] || e2e_fail "SetSuspendState calls (${calls:-none}), expected one with (0,1,0)"
}

# A MIDI file where the system has no MIDI synthesizer (Wine's MIDI mapper refuses to
# open).
test_sound_failure_midi() { schedule_survives_sound /usr/share/planetblupi/music/music000.mid; }

# A WAVE file in a format no device takes and the program cannot convert (an unknown
# format tag): every preview and reminder opens the device and fails.
test_sound_failure_wave() {
  local wav=$E2E_RUN_DIR/unknown-format.wav
  python3 - "$wav" <<'PY'
import struct, sys
samples = bytes(22050)
fmt = struct.pack("<HHIIHH", 0x4A4A, 1, 22050, 44100, 2, 16)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(samples)) + samples
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
  schedule_survives_sound "$wav"
}


e2e_main "$@"
