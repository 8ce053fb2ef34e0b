#!/bin/sh
# The end-to-end listening test, heard: the window plays the server's reply through the real
# player into a PulseAudio null sink of its own, whose monitor is recorded; the recording
# must hold sound, not silence.
# usage: end_to_end_sound.sh PATH/TO/test_end_to_end
set -u
test_program=$1
work=$(mktemp -d)
pulse_pid=""
rec_pid=""
cleanup() {
  [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
  [ -n "$rec_pid" ] && wait "$rec_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && wait "$pulse_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "end_to_end_sound: $*" >&2; exit 1; }

# A private PulseAudio: its own runtime folder, so nothing of the machine's is touched.
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --system=no --load="module-null-sink sink_name=virn_e2e_sink" \
  --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
pulse_pid=$!
i=0
until pactl info >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -gt 100 ] && fail "PulseAudio did not start: $(cat "$work/pulse.log")"
  kill -0 "$pulse_pid" 2>/dev/null || fail "PulseAudio exited: $(cat "$work/pulse.log")"
  sleep 0.1
done
pactl set-default-sink virn_e2e_sink || fail "no null sink"

parec -d virn_e2e_sink.monitor --file-format=wav "$work/recorded.wav" &
rec_pid=$!
sleep 0.3

QT_QPA_PLATFORM=offscreen VIRN_E2E_REAL_SOUND=1 timeout 180 "$test_program" \
  listen_and_save_speak_through_the_server || fail "the end-to-end test failed"
sleep 0.3
kill "$rec_pid"; wait "$rec_pid" 2>/dev/null; rec_pid=""

rms=$(sox "$work/recorded.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
[ -n "$rms" ] || fail "nothing was recorded"
echo "end_to_end_sound: recorded RMS amplitude $rms"
awk -v r="$rms" 'BEGIN { exit !(r > 0.001) }' || fail "the recording is silent (RMS $rms)"
