#!/bin/bash
# A private PulseAudio server for the sound tests, whose only sink is the null sink
# "tolvane_e2e", and a silent stream that keeps the sink running between sounds, so its
# monitor delivers every second and a recording keeps real time. Used by the Wine shell
# tests (audio.sh) and the Linux Python tests alike.
#
#   pulse_server.sh <dir>
#
# Everything lives in <dir>: the socket, the server's log, its home and runtime folders.
# Once the server answers, prints what its clients need and the processes to end when
# done (the silent stream ends with the server):
#   PULSE_SERVER=unix:<dir>/native
#   PULSE_SERVER_PID=<pid>
set -u
dir=${1:?usage: pulse_server.sh <dir>}
for tool in pulseaudio pactl pacat; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (packages pulseaudio, pulseaudio-utils)" >&2; exit 1; }
done
rm -rf "$dir"
mkdir -p "$dir/runtime" "$dir/home" && chmod 700 "$dir/runtime" || exit 1
dir=$(cd "$dir" && pwd)

# A server of our own, whoever runs the tests (as root it warns and runs): no session
# bus, no cookie (clients connect anonymously through the one socket), no exit when idle,
# and nothing loaded but the socket and the sink. Its output goes nowhere near ours, so a
# caller reading ours is not kept waiting for the server to end.
HOME=$dir/home XDG_RUNTIME_DIR=$dir/runtime \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=yes --use-pid-file=no \
  --log-target="file:$dir/server.log" \
  -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
  -L "module-null-sink sink_name=tolvane_e2e rate=44100 channels=1" </dev/null >/dev/null 2>&1 &
server=$!
export PULSE_SERVER=unix:$dir/native
deadline=$((SECONDS + 20))
until timeout 5 pactl info >/dev/null 2>&1; do
  if ! kill -0 "$server" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
    kill "$server" 2>/dev/null
    echo "PulseAudio did not start, see $dir/server.log" >&2
    exit 1
  fi
  sleep 0.1
done
pacat --playback -d tolvane_e2e --format=s16le --rate=44100 --channels=1 --latency-msec=50 /dev/zero \
  </dev/null >/dev/null 2>&1 &
echo "PULSE_SERVER=$PULSE_SERVER"
echo "PULSE_SERVER_PID=$server"
