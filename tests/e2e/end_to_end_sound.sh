#!/bin/sh
# The end-to-end listening test, heard: the window plays the server's reply through the real
# player into a PulseAudio null sink of its own, whose monitor is recorded; the recording
# must hold sound, not silence.
# usage: end_to_end_sound.sh PATH/TO/test_end_to_end
set -u
test_program=$1
work=$(mktemp -d)
fail() { echo "end_to_end_sound: $*" >&2; exit 1; }
. "$(dirname "$0")/../support/null_sink.sh"
trap 'null_sink_cleanup; rm -rf "$work"' EXIT

start_null_sink virn_e2e_sink
start_recording virn_e2e_sink "$work/recorded.wav"
QT_QPA_PLATFORM=offscreen VIRN_E2E_REAL_SOUND=1 timeout 180 "$test_program" \
  listen_and_save_speak_through_the_server || fail "the end-to-end test failed"
stop_recording
check_not_silent "$work/recorded.wav" 0.001
