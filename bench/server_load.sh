#!/bin/sh
# Load on virn-tts-server from a second process over loopback: wrk, 4 connections, 30 s, the
# window's request with a 20-character text. Prints requests per second, p50 and p99
# latency, errors, the server's peak memory, and the engine's own time per request from the
# same run, so that the server's overhead per request shows.
#   bench/server_load.sh BUILD_DIR [SECONDS]
set -eu
build=${1:?usage: server_load.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
server="$build/bin/virn-tts-server"
[ -x "$server" ] || { echo "server_load: no $server; build the virn-tts-server target" >&2; exit 1; }
command -v wrk >/dev/null || { echo "server_load: wrk is not installed" >&2; exit 1; }

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

VIRN_BENCH_KEY=$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
export VIRN_BENCH_KEY
VIRN_SERVER_KEYS=$VIRN_BENCH_KEY "$server" --listen 127.0.0.1:0 --queue 8 \
  >"$work/out" 2>"$work/log" &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "server_load: the server did not start" >&2; cat "$work/log" >&2; exit 1; }

url="http://127.0.0.1:$port/v1/tts"
# One request first, so that the engine's start-up is not in the figures.
wrk -t1 -c1 -d1s -s "$here/server_post.lua" "$url" >/dev/null

# Count, non-200 count, mean engine time and mean server time (headers read to response
# written) of the POST lines logged after line $1.
summarise_log() {
  tail -n +"$(($1 + 1))" "$work/log" | awk '
    / POST \/v1\/tts / {
      n++
      if ($5 != 200) bad++
      total += $7 + 0
      if (match($0, /engine=[0-9.]+ms/)) engine += substr($0, RSTART + 7, RLENGTH - 9) + 0
    }
    END { if (n) printf "%d %d %.2f %.2f\n", n, bad + 0, engine / n, total / n; else print "0 0 0 0" }'
}

# Alone: one connection, so the latency is engine plus server, without queueing.
start=$(wc -l <"$work/log")
wrk -t1 -c1 -d10s --timeout 10s --latency -s "$here/server_post.lua" "$url" >"$work/wrk1"
set -- $(summarise_log "$start")
alone_engine=$3
alone_server=$4
alone_mean=$(sed -n 's/^ *Latency *\([0-9.]*\)\(ms\|s\|us\).*/\1 \2/p' "$work/wrk1" |
  awk '{ v = $1; if ($2 == "s") v *= 1000; if ($2 == "us") v /= 1000; print v }')

# The load: four connections for the whole run.
start=$(wc -l <"$work/log")
wrk -t2 -c4 -d"${seconds}s" --timeout 10s --latency -s "$here/server_post.lua" "$url" >"$work/wrk"
peak_kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
set -- $(summarise_log "$start")
load_requests=$1 load_bad=$2 load_engine=$3
kill -TERM "$pid"
wait "$pid" || true
pid=""

cat "$work/wrk"
echo
rps=$(awk '$1 == "Requests/sec:" { print $2 }' "$work/wrk")
p50=$(awk '$1 == "50%" { print $2 }' "$work/wrk")
p99=$(awk '$1 == "99%" { print $2 }' "$work/wrk")
non2xx=$(awk '/Non-2xx/ { print $NF }' "$work/wrk")
socket=$(grep 'Socket errors' "$work/wrk" || true)
awk -v rps="$rps" -v p50="$p50" -v p99="$p99" -v non2xx="${non2xx:-0}" -v socket="$socket" \
    -v peak_kb="$peak_kb" -v requests="$load_requests" -v bad="$load_bad" \
    -v engine="$load_engine" -v alone_engine="$alone_engine" -v alone_mean="$alone_mean" \
    -v alone_server="$alone_server" \
    -v seconds="$seconds" 'BEGIN {
  printf "load                     4 connections, %s s, 20-character text\n", seconds
  printf "requests per second      %s\n", rps
  printf "latency p50 / p99        %s / %s\n", p50, p99
  printf "errors                   %d non-2xx, %s\n", non2xx, socket == "" ? "no socket errors" : socket
  printf "server log               %d requests, %d not 200\n", requests, bad
  printf "peak memory (VmHWM)      %.1f MiB\n", peak_kb / 1024
  printf "engine per request       %.2f ms under load, %.2f ms alone\n", engine, alone_engine
  if (rps > 0) printf "time per reply, load     %.2f ms (1000 / rps): %.2f ms beyond the engine\n", 1000 / rps, 1000 / rps - engine
  printf "latency alone            %.2f ms: %.2f ms beyond the engine\n", alone_mean, alone_mean - alone_engine
  printf "server side alone        %.2f ms from headers read to reply written (whole ms)\n", alone_server
}'
