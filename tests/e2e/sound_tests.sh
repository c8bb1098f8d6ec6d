#!/bin/bash
# The reminder sounds, heard: a private PulseAudio null sink is recorded while a
# countdown runs out, and the bursts of sound in the recording are measured. The action
# is standby, which under Wine returns at once, so the program then simply closes.
#   sound_tests.sh <case> <Tolvane.exe> <tolvane_driver.exe>
set -u
here=$(dirname "$0")
# shellcheck source=e2e_session.sh
source "$here/e2e_session.sh"
# shellcheck source=audio.sh
source "$here/audio.sh"

readonly CLIP_MIN=0.80 CLIP_MAX=1.05  # the built-in clip: about 0.93 s above the threshold
readonly TOLERANCE=0.30               # onsets, in seconds

# The bursts of the recording must start at the given offsets from the first one (in
# seconds), each one clip long. An offset marked "?" is the clip of the target second:
# the program ends right after the action and stops every sound as it ends, so that clip
# is cut short, or not heard at all when the program is quicker than the sound output.
# Sets BURSTS (start length peak per line).
check_onsets() {
  local what=$1
  shift
  BURSTS=$(sound_bursts)
  local got
  got=$(awk -v want="$*" -v tol=$TOLERANCE -v lo=$CLIP_MIN -v hi=$CLIP_MAX '
    { start[NR] = $1; len[NR] = $2 }
    END {
      n = split(want, w, " ")
      cut = w[n] ~ /\?$/
      heard = NR
      # The two copies of the target second may reach the sink apart, the later one cut
      # short by the end of the program: a last short burst is that copy.
      if (cut && heard == n + 1 && len[heard] < lo) heard = n
      if (heard != n && !(cut && heard == n - 1)) { print "heard " NR " sounds, expected " n; exit }
      # The first sound of a program opens the wave device, which under load can take up
      # to a second longer here; the others are timed from the second sound.
      for (i = 1; i <= heard; i++) {
        off = start[i] - start[2]
        want_off = w[i] - w[2]
        early = (i == 1) ? 1.3 : tol
        if (off < want_off - tol || off > want_off + early) print "sound " i " at " off " s from the second, expected " want_off
        if (!(cut && i == n) && (len[i] < lo || len[i] > hi)) print "sound " i " lasts " len[i] " s, not one clip"
      }
    }' <<<"$BURSTS")
  [ -z "$got" ] || e2e_fail "$what: $got; bursts (start length peak): $(paste -sd, <<<"$BURSTS")"
}

# Two play requests at once: group i of the streams opened (1-based) holds twice as many
# as group j, a single reminder. (How loud two copies sound together depends on their
# phases, so the recording cannot tell; and Wine opens extra streams for the first sound
# of a program, so the first group is not counted on.)
check_two_at_once() {
  local what=$1 i=$2 j=$3 groups g
  groups=$(stream_groups)
  read -ra g <<<"$groups"
  # Under load Wine may open one stream of a group a little late, which splits it: the
  # pair may then show in a later group.
  local k found=0
  if [ "${#g[@]}" -ge "$j" ]; then
    for ((k = i; k <= ${#g[@]}; k++)); do
      [ "${g[k - 1]}" -eq $((2 * g[j - 1])) ] && found=1
    done
  fi
  [ "$found" -eq 1 ] ||
    e2e_fail "$what: streams opened together, group by group: $groups; expected group $i to hold two requests"
}

countdown_to_standby() {
  check_run "cannot click 单选框3" click 单选框3
  check_run "cannot click 单选框6" click 单选框6
  check_run "cannot set the countdown" set-picker 日期框2 "$1"
  check_run "cannot click 按钮1" click 按钮1
  check_wait 按钮2 enabled 1 5000
}

# Default reminders: the built-in clip at 30, 20, 10, 5, 4, 3, 2, 1 and 0 (twice: the
# periodic reminder and the final prompt) seconds remaining. The first brings a window hidden in the tray back, and from 5 seconds
# on the window stays on top.
test_reminders_default() {
  e2e_audio_start
  e2e_start
  e2e_record_start reminders-default
  e2e_streams_start reminders-default
  countdown_to_standby 00:00:35
  check_run "cannot minimise" minimize
  check_wait window visible 0 5000
  check_wait window visible 1 15000 || echo "  (the reminder at 30 s should show the window)" >&2
  check window iconic 0
  check_wait window topmost 1 30000 || echo "  (from 5 s remaining the window stays on top)" >&2
  e2e_wait_exit 30
  e2e_record_stop
  check_onsets "default reminders" 0 10 20 25 26 27 28 29 30?
  check_two_at_once "default reminders at 0 s" 9 2
}

# Custom reminders from the settings file, every 5 s from 1 minute on, with no sound file
# chosen: the built-in clip at 10, 5 (twice: the periodic and the final prompt together,
# playing over each other, so no longer than one clip), 4, 3, 2, 1 and 0 seconds
# remaining.
test_reminders_custom() {
  printf '[系统设置]\r\n提示开始=1\r\n提示间隔=5\r\n启用自定义=真\r\n' | iconv -f UTF-8 -t GBK >"$E2E_RUN_DIR/config.ini"
  e2e_audio_start
  e2e_start
  check_run "the settings were not loaded" expect 选择框4.checked=1 编辑框2.text=1 编辑框3.text=5 按钮4.enabled=0
  e2e_record_start reminders-custom
  e2e_streams_start reminders-custom
  countdown_to_standby 00:00:13
  e2e_wait_exit 30
  e2e_record_stop
  check_onsets "custom reminders" 0 5 6 7 8 9 10?
  check_two_at_once "custom reminders at 5 s" 2 3
  check_two_at_once "custom reminders at 0 s" 7 3
}

# Every kind of WAVE file a user may choose, written by sox: the play button plays each
# once for about its length. Formats the wave device refuses are played converted, the
# compressed ones through the system's codecs. A GSM 6.10 buffer lasts over 9 s, longer
# than a PCM device ever keeps one: the long file must still play to its end.
#   name         sox options of the file written
readonly WAVE_FORMATS=(
  "u8           1.5  -r 22050 -c 1 -b 8 -e unsigned-integer -t wavpcm"
  "s16          1.5  -r 22050 -c 1 -b 16 -e signed-integer -t wavpcm"
  "s24          1.5  -r 22050 -c 1 -b 24 -e signed-integer -t wavpcm"
  "s32          1.5  -r 22050 -c 1 -b 32 -e signed-integer -t wavpcm"
  "f32          1.5  -r 22050 -c 1 -b 32 -e floating-point -t wavpcm"
  "f64          1.5  -r 22050 -c 1 -b 64 -e floating-point -t wavpcm"
  "ext24-stereo 1.5  -r 22050 -c 2 -b 24 -e signed-integer -t wav"
  "ext-f32      1.5  -r 22050 -c 2 -b 32 -e floating-point -t wav"
  "ima-adpcm    1.5  -r 22050 -c 1 -b 4 -e ima-adpcm -t wav"
  "mu-law       1.5  -r 8000 -c 1 -b 8 -e mu-law -t wav"
  "6-channels   1.5  -r 22050 -c 6 -b 16 -e signed-integer -t wav"
  "96khz        1.5  -r 96000 -c 1 -b 16 -e signed-integer -t wav"
  "gsm          20   -r 8000 -c 1 -e gsm-full-rate -t wav"
)

# The RMS level of the recording over the middle second of the burst starting at $1 s.
middle_rms() {
  sox "$E2E_RECORDING.wav" -n trim "$(awk -v s="$1" 'BEGIN { print s + 0.25 }')" 1 stat 2>&1 |
    awk '/^RMS +amplitude/ { print $3 }'
}

# Succeeds when the bursts on stdin (start length peak) are one sound of $1 seconds,
# judged from the first onset to the last end.
sound_span() {
  awk -v want="$1" 'NR == 1 { first = $1 } { heard += $2; end = $1 + $2 }
    END { span = end - first
          exit !(NR >= 1 && span >= want * 0.99 - 0.15 && span <= want * 1.01 + 0.15 && span - heard <= 0.2) }'
}

# Waits until the recording holds one finished sound of $1 seconds, or 10 s longer.
wait_sound_end() {
  local deadline=$((SECONDS + ${1%.*} + 10))
  until sound_bursts --complete | sound_span "$1"; do
    [ $SECONDS -lt $deadline ] || return 0  # the check that follows says what was heard
    sleep 0.2
  done
}

test_wave_formats() {
  local ini=$E2E_RUN_DIR/config.ini row name seconds options wav bursts rms
  e2e_audio_start
  for row in "${WAVE_FORMATS[@]}"; do
    read -r name seconds options <<<"$row"
    wav=$E2E_RUN_DIR/$name.wav
    # shellcheck disable=SC2086 # the options are words
    sox -q -n $options "$wav" synth "$seconds" sine 440 vol 0.4 || { e2e_fail "$name: sox cannot write it"; continue; }
    printf '[系统设置]\r\n自定提示声=%s\r\n启用自定义=真\r\n' "$(e2e_winpath "$wav")" | iconv -f UTF-8 -t GBK >"$ini"
    e2e_start
    check_run "$name: the sound file was not loaded" expect 选择框4.checked=1 按钮4.enabled=1
    e2e_record_start "wave-$name"
    check_run "$name: cannot click 按钮4" click 按钮4
    wait_sound_end "$seconds"
    e2e_record_stop
    bursts=$(sound_bursts)
    # Heard once, as long as the file: from the first onset to the end of sound within
    # 0.15 s and 1 %, with no more than 0.2 s of silence inside (Wine may drop some tens
    # of milliseconds of a long sound under load, which splits it). A sine at 0.4 of
    # full scale has an RMS level of 0.28; samples taken in the wrong format would be
    # noise or silence. (The peak is not checked: Wine ends 8-bit sound with a few
    # milliseconds of full scale.)
    if sound_span "$seconds" <<<"$bursts"; then
      rms=$(middle_rms "$(awk 'NR == 1 { print $1 }' <<<"$bursts")")
      awk -v r="$rms" 'BEGIN { exit !(r >= 0.25 && r <= 0.31) }' ||
        e2e_fail "$name: the tone's RMS level is ${rms:-unknown}, expected 0.28"
    else
      e2e_fail "$name: heard $(paste -sd, <<<"$bursts") (start length peak), expected the $seconds s tone once"
    fi
    e2e_close
  done
}

# A sound that cannot play never stops the schedule. The sound file is previewed twice
# with the play button, then a short standby countdown runs with a reminder every
# 2 s: whatever the sound device does with the file, the standby is requested at
# the target and the program ends with code 0. Several rounds in one test, as a
# fault that comes and goes would.
#   $1  the sound file  $2  rounds
schedule_survives_sound() {
  local file=$1 rounds=$2 round log calls
  e2e_audio_start
  for ((round = 1; round <= rounds; round++)); do
    printf '[系统设置]\r\n自定提示声=%s\r\n提示开始=1\r\n提示间隔=2\r\n启用自定义=真\r\n' "$(e2e_winpath "$file")" |
      iconv -f UTF-8 -t GBK >"$E2E_RUN_DIR/config.ini"
    log=power-$round.log
    e2e_start --relay "$log"
    check_run "round $round: the sound file was not loaded" expect 选择框4.checked=1 按钮4.enabled=1
    check_run "round $round: cannot open the reminder panel" click 选择框3
    check_run "round $round: cannot click 按钮4" click 按钮4
    sleep 1
    check_run "round $round: cannot click 按钮4 again" click 按钮4
    countdown_to_standby 00:00:12
    e2e_wait_exit 40 || { e2e_fail "round $round: the program did not end well"; continue; }
    calls=$(relay_calls "$E2E_RUN_DIR/$log" SetSuspendState 8 | paste -sd' ')
    [ "$calls" = "0,1,0" ] || e2e_fail "round $round: SetSuspendState calls (${calls:-none}), expected one with (0,1,0)"
  done
}

# A MIDI file where the system has no MIDI synthesizer (Wine's MIDI mapper refuses to
# open).
test_sound_failure_midi() { schedule_survives_sound /usr/share/planetblupi/music/music000.mid 5; }

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
  schedule_survives_sound "$wav" 3
}


e2e_main "$@"
