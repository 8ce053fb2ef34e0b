#!/bin/sh
# Plays a WAV with the window's player into a PulseAudio null sink of our own and checks
# that its monitor recorded sound, not silence.
# usage: sound_playback.sh PATH/TO/play_wav
set -u
player=$1
work=$(mktemp -d)
fail() { echo "sound_playback: $*" >&2; exit 1; }
. "$(dirname "$0")/../support/null_sink.sh"
trap 'null_sink_cleanup; rm -rf "$work"' EXIT

start_null_sink virn_sink
sox -n -r 16000 -c 1 -b 16 "$work/tone.wav" synth 1.5 sine 440 vol 0.5 || fail "sox"
start_recording virn_sink "$work/recorded.wav"
QT_QPA_PLATFORM=offscreen timeout 30 "$player" "$work/tone.wav" || fail "the player failed"
stop_recording
check_not_silent "$work/recorded.wav" 0.01
