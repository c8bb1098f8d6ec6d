#!/bin/bash
# A private PulseAudio server for the sound tests (the Wine shell tests and the Linux
# Python tests), whose only sink is the null sink "tolvane_e2e", with a silent stream
# that keeps the sink running between sounds, so a recording keeps real time.
#   pulse_server.sh <dir>
# Its socket, log and folders live in <dir>. Once it answers, prints PULSE_SERVER=... for
# its clients and PULSE_SERVER_PID=..., the process to end (the stream ends with it).
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
# and nothing loaded but the socket and the sink. Not on our output, which the caller
# reads to its end.
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
