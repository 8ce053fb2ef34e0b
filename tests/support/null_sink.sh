# Sourced by the sound tests: a private PulseAudio with one null sink whose monitor is
# recorded. The caller sets $work (a scratch folder it removes), defines fail(), and calls
# null_sink_cleanup from its EXIT trap.
pulse_pid=""
rec_pid=""

null_sink_cleanup() {
  [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
  [ -n "$rec_pid" ] && wait "$rec_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && wait "$pulse_pid" 2>/dev/null
}

# start_null_sink NAME: PulseAudio in a runtime folder of its own, so nothing of the
# machine's is touched, with the sink NAME as its default.
start_null_sink() {
  export XDG_RUNTIME_DIR="$work/runtime" HOME="$work"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset PULSE_SERVER
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --system=no --load="module-null-sink sink_name=$1" \
    --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
  pulse_pid=$!
  i=0
  until pactl info >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "PulseAudio did not start: $(cat "$work/pulse.log")"
    kill -0 "$pulse_pid" 2>/dev/null || fail "PulseAudio exited: $(cat "$work/pulse.log")"
    sleep 0.1
  done
  pactl set-default-sink "$1" || fail "no null sink"
}

# start_recording NAME FILE / stop_recording: the sink's monitor as a WAV file.
start_recording() {
  parec -d "$1.monitor" --file-format=wav "$2" &
  rec_pid=$!
  sleep 0.3
}

stop_recording() {
  sleep 0.3
  kill "$rec_pid"; wait "$rec_pid" 2>/dev/null; rec_pid=""
}

# check_not_silent FILE LIMIT: fails unless the recording's RMS amplitude is above LIMIT.
check_not_silent() {
  rms=$(sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
  [ -n "$rms" ] || fail "nothing was recorded"
  echo "recorded RMS amplitude $rms"
  awk -v r="$rms" -v limit="$2" 'BEGIN { exit !(r > limit) }' ||
    fail "the recording is silent (RMS $rms)"
}
