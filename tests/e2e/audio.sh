# shellcheck shell=bash
# Sound for the end-to-end tests: a private PulseAudio server whose only sink is a null
# sink, and recordings of that sink's monitor. The prefix sends Wine's sound to PulseAudio
# (wine_env.sh), and PULSE_SERVER points the programs started afterwards at this server.
# Sourced after e2e_session.sh; everything started here ends with the test.
#
#   e2e_audio_start               start the server
#   e2e_record_start <name>       record the sink into <run dir>/<name>.raw from now on
#   e2e_record_stop               end the recording; also saved as <name>.wav
#   sound_bursts [--complete]     the recording's bursts: start, length, peak
#   e2e_wait_bursts <n> [s]       wait until the recording holds n finished bursts
#   e2e_streams_start <name>      note when playback streams are opened from now on
#   stream_groups                 how many streams were opened together, group by group

E2E_AUDIO_DIR=
E2E_RECORDER_PID=
E2E_RECORDING=

e2e_audio_start() {
  local tool
  for tool in pulseaudio pactl pacat parec sox python3; do
    command -v "$tool" >/dev/null || e2e_abort "$tool is missing (packages pulseaudio, pulseaudio-utils, sox, python3)"
  done
  E2E_AUDIO_DIR=$TOLVANE_E2E_DIR/pulse/$E2E_TEST
  rm -rf "$E2E_AUDIO_DIR"
  mkdir -p "$E2E_AUDIO_DIR/runtime" "$E2E_AUDIO_DIR/home"
  chmod 700 "$E2E_AUDIO_DIR/runtime"
  # A server of our own, whoever runs the tests (as root it warns and runs): no session
  # bus, no cookie (clients connect anonymously through the one socket), no exit when
  # idle, and nothing loaded but the socket and the sink.
  HOME=$E2E_AUDIO_DIR/home XDG_RUNTIME_DIR=$E2E_AUDIO_DIR/runtime \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=yes --use-pid-file=no \
    --log-target="file:$E2E_AUDIO_DIR/server.log" \
    -L "module-native-protocol-unix socket=$E2E_AUDIO_DIR/native auth-anonymous=1" \
    -L "module-null-sink sink_name=tolvane_e2e rate=44100 channels=1" </dev/null >/dev/null 2>&1 &
  local server=$!
  e2e_on_exit "kill $server 2>/dev/null; wait $server 2>/dev/null"
  export PULSE_SERVER=unix:$E2E_AUDIO_DIR/native
  local deadline=$((SECONDS + 20))
  until timeout 5 pactl info >/dev/null 2>&1; do
    kill -0 "$server" 2>/dev/null && [ $SECONDS -lt $deadline ] ||
      e2e_abort "PulseAudio did not start, see $E2E_AUDIO_DIR/server.log"
    sleep 0.1
  done
  # A silent stream keeps the sink running between sounds, so that the monitor delivers
  # every second of the test and the recording keeps real time.
  pacat --playback -d tolvane_e2e --format=s16le --rate=44100 --channels=1 --latency-msec=50 /dev/zero \
    </dev/null >/dev/null 2>&1 &
  e2e_on_exit "kill $! 2>/dev/null; wait $! 2>/dev/null"
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

# Notes the time of every new playback stream from now on (the silent one is older): one
# line "seconds new" per stream in <run dir>/<name>.streams.
e2e_streams_start() {
  E2E_STREAMS=$E2E_RUN_DIR/$1.streams
  : >"$E2E_STREAMS"
  LC_ALL=C stdbuf -oL pactl subscribe </dev/null 2>/dev/null | while read -r line; do
    case $line in *"'new' on sink-input"*) echo "$(date +%s.%N) new" >>"$E2E_STREAMS" ;; esac
  done &
  # pactl itself ends with the server.
  e2e_on_exit "kill $! 2>/dev/null"
}

# The number of streams opened together, for each group of streams opened less than
# 0.3 s apart, in order: "1 2 1" is one stream, then two at once, then one.
stream_groups() {
  awk '{ if (NR > 1 && $1 - last > 0.3) { printf "%d ", n; n = 0 } n++; last = $1 } END { if (n) printf "%d", n }' "$E2E_STREAMS"
}

sound_bursts() { python3 "$(dirname "${BASH_SOURCE[0]}")/sound_bursts.py" "$@" "$E2E_RECORDING.raw"; }

e2e_wait_bursts() {
  local want=$1 deadline=$((SECONDS + ${2:-10}))
  until [ "$(sound_bursts --complete | wc -l)" -ge "$want" ]; do
    [ $SECONDS -lt $deadline ] || { e2e_fail "$want sound(s) expected, heard: $(sound_bursts | paste -sd,)"; return 1; }
    sleep 0.2
  done
}
