#!/bin/sh
# Plays a WAV with the window's player into a PulseAudio null sink of our own and checks
# that its monitor recorded sound, not silence.
# usage: sound_playback.sh PATH/TO/play_wav
set -u
player=$1
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
fail() { echo "sound_playback: $*" >&2; exit 1; }

export XDG_RUNTIME_DIR="$work/runtime" HOME="$work"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --system=no --load="module-null-sink sink_name=virn_sink" \
  --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
pulse_pid=$!
i=0
until pactl info >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -gt 100 ] && fail "PulseAudio did not start: $(cat "$work/pulse.log")"
  kill -0 "$pulse_pid" 2>/dev/null || fail "PulseAudio exited: $(cat "$work/pulse.log")"
  sleep 0.1
done
pactl set-default-sink virn_sink || fail "no null sink"

sox -n -r 16000 -c 1 -b 16 "$work/tone.wav" synth 1.5 sine 440 vol 0.5 || fail "sox"
parec -d virn_sink.monitor --file-format=wav "$work/recorded.wav" &
rec_pid=$!
sleep 0.3

QT_QPA_PLATFORM=offscreen timeout 30 "$player" "$work/tone.wav" || fail "the player failed"
sleep 0.3
kill "$rec_pid"; wait "$rec_pid" 2>/dev/null; rec_pid=""

rms=$(sox "$work/recorded.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
[ -n "$rms" ] || fail "nothing was recorded"
echo "sound_playback: recorded RMS amplitude $rms"
awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "the recording is silent (RMS $rms)"
