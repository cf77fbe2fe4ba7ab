#!/usr/bin/env bash
# Runs the program full screen in a real X window (under xvfb-run) and ends it with Escape sent by
# xdotool: the window must be 1920 x 1080 at the origin and the program must exit 0 within ten
# seconds of the key. The key is seen at the start of the next frame, and a full-screen frame on a
# software rasterizer takes a good part of a second; a machine busy with other builds and tests
# stretches that several times, so a tighter bound fails without a fault.
# Arguments: the program, a show directory.
here=$(cd "$(dirname "$0")" && pwd)
set -u
program=$1
show=$2
command -v xdotool >/dev/null || { echo "SKIPPED: xdotool missing"; exit 0; }
[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no display"; exit 0; }

cd "$show" || exit 1
log=escape.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" > "$log" 2>&1 &
pid=$!
. "$here/../support/program_log.sh"
await_window
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
echo "$geometry" | grep -q 'Position: 0,0' || fail "window not at the origin"
echo "$geometry" | grep -q 'Geometry: 1920x1080' || fail "window not 1920 x 1080"
sleep 1
start=$(date +%s%N)
escape_ends_cleanly
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
echo "exit status 0, ${elapsed} ms after Escape"
grep -q '^ri dtor$' "$log" || fail "no orderly shutdown in the log"
exit 0
