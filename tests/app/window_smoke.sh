#!/bin/sh
# Starts virn-tts on a private Xvfb display, waits for its window to be drawn, takes a
# screenshot and checks that the window stands centred at its fixed size.
# usage: window_smoke.sh PATH/TO/virn-tts SCREENSHOT.png
set -u
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shot=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$app_pid" ] && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window_smoke: $*" >&2; exit 1; }

display=""
for n in $(seq 140 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || fail "no free X display number"

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
i=0
until [ -e "/tmp/.X11-unix/X$display" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  sleep 0.1
done

cd "$work" || exit 1
DISPLAY=":$display" VIRN_TTS_URL= VIRN_TTS_KEY= HOME="$work" XDG_RUNTIME_DIR="$work" \
  "$program" >"$work/app.log" 2>&1 &
app_pid=$!

# The window is there once the screen is no longer all black; no window manager, so the
# drawn area is exactly the window.
i=0
while :; do
  i=$((i + 1)); [ $i -gt 60 ] && fail "no window after 30 s: $(cat "$work/app.log")"
  kill -0 "$app_pid" 2>/dev/null || fail "virn-tts exited: $(cat "$work/app.log")"
  if DISPLAY=":$display" import -window root "$shot" 2>/dev/null; then
    box=$(convert "$shot" -trim -format '%w %h %X %Y' info: 2>/dev/null)
    [ "$box" = "649 351 +187 +208" ] && break
  fi
  sleep 0.5
done
kill -0 "$app_pid" 2>/dev/null || fail "virn-tts exited"
echo "window_smoke: window drawn at 649x351+187+208, screenshot $shot"
