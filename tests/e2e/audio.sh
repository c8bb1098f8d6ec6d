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
#   sound_bursts [--complete]     the recording's sounds by their onsets: start, length, peak
#   e2e_wait_bursts <n> [s]       wait until the recording holds n finished bursts

E2E_RECORDER_PID=
E2E_RECORDING=

# One line per sound handed over, in order: Wine's clock at the open call, then
#   wave <open result> <buffers written> <reset after> <closed after>
#   midi <open result> <buffers queued> <restarted after> -
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
      if (call && (fn == "waveOutWrite" || fn == "midiStreamOut")) writes[s]++
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

e2e_wait_bursts() {
  local want=$1 deadline=$((SECONDS + ${2:-10}))
  until [ "$(sound_bursts --complete | wc -l)" -ge "$want" ]; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "$want sound(s) expected, heard: $(sound_bursts | paste -sd,)"; return 1; }
    sleep 0.2
  done
}
