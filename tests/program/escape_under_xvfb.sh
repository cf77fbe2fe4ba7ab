#!/usr/bin/env bash
# Runs the program full screen in a real X window (under xvfb-run) and ends it with Escape sent by
# xdotool: the window must be 1920 x 1080 at the origin and the program must exit 0 within ten
# seconds of the key. The key is seen at the start of the next frame, and a full-screen frame on a
# software rasterizer takes a good part of a second; a machine busy with other builds and tests
# stretches that several times, so a tighter bound fails without a fault.
# Arguments: the program, a show directory.
set -u
program=$1
show=$2
command -v xdotool >/dev/null || { echo "SKIPPED: xdotool missing"; exit 0; }
[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no display"; exit 0; }

cd "$show" || exit 1
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" > escape.log 2>&1 &
pid=$!
window=""
for _ in $(seq 1 200); do
  window=$(xdotool search --name '^default$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no window appeared"; kill "$pid"; cat escape.log; exit 1; }
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
echo "$geometry" | grep -q 'Position: 0,0' || { echo "window not at the origin"; kill "$pid"; exit 1; }
echo "$geometry" | grep -q 'Geometry: 1920x1080' || { echo "window not 1920 x 1080"; kill "$pid"; exit 1; }
sleep 1
start=$(date +%s%N)
xdotool key --window "$window" Escape
for _ in $(seq 1 500); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.02
done
if kill -0 "$pid" 2>/dev/null; then
  echo "still running ten seconds after Escape"
  kill "$pid"
  exit 1
fi
wait "$pid"
status=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
echo "exit status $status, ${elapsed} ms after Escape"
[ "$status" -eq 0 ] || { cat escape.log; exit 1; }
grep -q '^ri dtor$' escape.log || { echo "no orderly shutdown in the log"; cat escape.log; exit 1; }
exit 0
