# shellcheck shell=bash
# Sound for the end-to-end tests: what the program hands the sound devices, from Wine's
# relay trace; and a private PulseAudio server with a null sink (pulse_server.sh), to
# which the prefix sends Wine's sound (wine_env.sh), with recordings of its monitor.
# Sourced after e2e_session.sh; everything started here ends with the test.
#
#   sound_calls <trace>           the sounds handed over, from a trace of e2e_start --relay
#   e2e_audio_start               start the server
#   e2e_record_start <name>       record the sink into <run dir>/<name>.raw from now on
#   e2e_record_stop               end the recording; also saved as <name>.wav
#   sound_bursts [--complete]     the recording's sounds by their onsets: start, length,
#                                 peak, pitch
#   make_tone <file> [seconds] [sox options]   the test tone as a sound file
#   e2e_hear <name> <n> <s> <command...>       record <name> while the command runs and
#                                 until n bursts are heard, for s seconds at most
#   check_heard <what> <sound>... the recording holds these sounds and no others

E2E_RECORDER_PID=
E2E_RECORDING=

# One line per sound handed over, in order: Wine's clock at the open call, then
#   wave <open result> <buffers written> <reset after> <closed after>
#   midi <open result> <buffers queued> <restarted after> -
# counting only the buffers the call took (it returned 0),
# with the times after the open in seconds, "-" for a call that never came. A WAVE sound
# has a thread of its own, whose opens before its first write (a format refused, then
# the converted one) are one sound; the result is its last open's, in hexadecimal, "?"
# until it returns. A sound that played to its end is closed with no reset before.
sound_calls() {
  awk '
    /^[0-9.]+:[0-9a-f]+:(Call|Ret) +winmm\.[A-Za-z]+\(/ {
      split($0, f, ":"); t = f[1]
      call = $0 ~ /:Call /
      fn = $0; sub(/^[^.]*\.[^.]*\./, "", fn); sub(/\(.*/, "", fn)
      key = fn ~ /^waveOut/ ? "w" f[2] : "midi"
      if (call && fn == "waveOutOpen" && !(key in cur && !writes[cur[key]] && !(cur[key] in closed))) {
        cur[key] = ++n; at[n] = t; kind[n] = "wave"
      } else if (call && fn == "midiStreamOpen") {
        cur[key] = ++n; at[n] = t; kind[n] = "midi"
      }
      if (!(key in cur)) next
      s = cur[key]
      if (!call && fn ~ /Open$/) {
        r = $0; sub(/.*retval=0*/, "", r); sub(/ .*/, "", r); result[s] = r == "" ? 0 : r
      }
      if (!call && (fn == "waveOutWrite" || fn == "midiStreamOut") && $0 ~ /retval=0+ /) writes[s]++
      if (call && fn ~ /^(waveOutReset|midiStreamRestart)$/ && !(s in reset)) reset[s] = sprintf("%.3f", t - at[s])
      if (call && fn == "waveOutClose" && !(s in closed)) closed[s] = sprintf("%.3f", t - at[s])
    }
    END {
      for (i = 1; i <= n; i++)
        print at[i], kind[i], (i in result) ? result[i] : "?", writes[i] + 0, (i in reset) ? reset[i] : "-", (i in closed) ? closed[i] : "-"
    }
  ' "$1"
}

e2e_audio_start() {
  local tool out
  for tool in parec sox python3; do
    command -v "$tool" >/dev/null || e2e_abort "$tool is missing (packages pulseaudio-utils, sox, python3)"
  done
  out=$("$(dirname "${BASH_SOURCE[0]}")/pulse_server.sh" "$TOLVANE_E2E_DIR/pulse/$E2E_TEST") || e2e_abort "no PulseAudio server"
  eval "$(grep -E '^PULSE_SERVER(_PID)?=[^ ;]*$' <<<"$out")"
  export PULSE_SERVER
  e2e_on_exit "kill $PULSE_SERVER_PID 2>/dev/null"
}

e2e_record_start() {
  E2E_RECORDING=$E2E_RUN_DIR/$1
  parec -d tolvane_e2e.monitor --format=s16le --rate=44100 --channels=1 --latency-msec=20 \
    >"$E2E_RECORDING.raw" 2>"$E2E_RECORDING.log" </dev/null &
  E2E_RECORDER_PID=$!
  e2e_on_exit "kill $E2E_RECORDER_PID 2>/dev/null; wait $E2E_RECORDER_PID 2>/dev/null"
  local deadline=$((SECONDS + 20))
  # The recording has begun once the server lists it and its first samples have come.
  until pactl list short source-outputs | grep -q . && [ -s "$E2E_RECORDING.raw" ]; do
    kill -0 "$E2E_RECORDER_PID" 2>/dev/null && [ $SECONDS -lt $deadline ] || e2e_abort "the recording did not start"
    sleep 0.05
  done
}

e2e_record_stop() {
  kill -INT "$E2E_RECORDER_PID" 2>/dev/null
  wait "$E2E_RECORDER_PID" 2>/dev/null
  sox -q -t raw -r 44100 -e signed -b 16 -c 1 "$E2E_RECORDING.raw" "$E2E_RECORDING.wav" ||
    e2e_fail "cannot convert the recording"
}

sound_bursts() { python3 "$(dirname "${BASH_SOURCE[0]}")/sound_bursts.py" "$@" "$E2E_RECORDING.raw"; }

# The test tone: a sine of TONE_HZ at TONE_PEAK of full scale, told apart from the
# built-in clip, and from noise or silence, by its pitch and peak. By default 1.5 s,
# longer than the built-in clip, at 22050 Hz, 16-bit mono.
readonly TONE_HZ=440 TONE_PEAK=0.4
make_tone() {
  local file=$1 seconds=${2:-1.5}
  shift $(($# < 2 ? $# : 2))
  [ $# -gt 0 ] || set -- -r 22050 -c 1 -b 16
  sox -q -n "$@" "$file" synth "$seconds" sine $TONE_HZ vol $TONE_PEAK || e2e_abort "cannot make $file"
}

e2e_hear() {
  local name=$1 want=$2 seconds=$3 deadline status=0
  shift 3
  e2e_record_start "$name"
  "$@"
  deadline=$((SECONDS + seconds))
  until [ "$(sound_bursts --complete | wc -l)" -ge "$want" ]; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "$want sound(s) expected, heard: $(sound_bursts | paste -sd,)"; status=1; break; }
    sleep 0.2
  done
  e2e_record_stop
  return $status
}

# The recording holds these sounds and no others. Each is "<at> <seconds> <peak> <pitch>":
# its onset that many seconds after the first sound's (0.4 s either way: a tick of the
# wrong second is a whole second off; "-": any), its length (0.1 s shorter to 0.6 s
# longer: on a loaded machine Wine's output runs dry for a few hundredths of a second now
# and then, which only draws a sound out; its pitch and a shorter length still tell a
# wrong rate or a cut), peak (within 0.08 of full scale) and pitch (within 3 %, over 0.1 s or more of
# sound; "-": any). "~<at> <seconds>" is two copies started together, which may cancel
# each other out in part or whole: whatever is heard during them is taken.
check_heard() {
  local what=$1 bursts got
  shift
  bursts=$(sound_bursts)
  got=$(awk -v want="$(printf '%s\n' "$@")" '
    function off(x, w, low, high) { return w != "-" && (x < w - low || x > w + high) }
    NF { start[++n] = $1; len[n] = $2; peak[n] = $3; hz[n] = $4 }
    END {
      m = split(want, wanted, "\n")
      for (i = 1; i <= n; i++) {
        at = start[i] - start[1]
        for (j = 1; j <= m; j++) {
          split(wanted[j], w, " ")
          together = sub(/^~/, "", w[1])
          if (together ? at >= w[1] - 0.4 && at < w[1] + w[2] + 0.05 : w[1] == "-" ? !heard[j] : !off(at, w[1], 0.4, 0.4)) break
        }
        if (j > m) { print "a sound at " at " s"; continue }
        if (together) continue
        if (len[i] >= 0.1 && off(hz[i], w[4], w[4] * 0.03, w[4] * 0.03)) print "the sound at " at " s at " hz[i] " Hz, not " w[4]
        if (heard[j]++) print "a second sound at " at " s"
        if (off(len[i], w[2], 0.1, 0.6) || off(peak[i], w[3], 0.08, 0.08)) print "the sound at " at " s: " len[i] " s, peak " peak[i]
      }
      for (j = 1; j <= m; j++) if (wanted[j] !~ /^~/ && !heard[j]) print "nothing at " wanted[j]
    }' <<<"$bursts" | paste -sd';')
  [ -z "$got" ] || e2e_fail "$what: $got; expected $*; heard (start length peak pitch): $(paste -sd, <<<"$bursts")"
}
