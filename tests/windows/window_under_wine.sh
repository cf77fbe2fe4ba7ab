#!/usr/bin/env bash
# The Windows program in a real window under Wine (run under xvfb-run, 1600 x 900): full screen on
# the desktop (--fullscreen desktop) must cover the whole screen at the origin and end with status 0
# on Escape; in a window (--windowed) it must end with status 0 on Alt+F4. A picture of the screen
# while the show plays is left in OUT/desktop.png where ffmpeg can take one.
# Arguments: the program (.exe), a show directory, tests/windows/wine-run, OUT.
here=$(cd "$(dirname "$0")" && pwd)
set -u
program=$1
show=$2
wine_run=$3
out=$4
command -v xdotool >/dev/null || { echo "SKIPPED: xdotool missing"; exit 0; }
[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no display"; exit 0; }
mkdir -p "$out"
cd "$show" || exit 1
server=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
. "$here/../support/program_log.sh"
log=$out/desktop.log

SDL_AUDIODRIVER=dummy "$wine_run" "$program" --fullscreen desktop > "$log" 2>&1 &
pid=$!
await_window
await "renderer: "
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
echo "$geometry" | grep -q 'Position: 0,0' || fail "the window is not at the origin"
echo "$geometry" | grep -q 'Geometry: 1600x900' || fail "the window does not cover the 1600 x 900 desktop"
sleep 3
ffmpeg -loglevel error -y -f x11grab -video_size 1600x900 -i "$DISPLAY" -frames:v 1 "$out/desktop.png" 2>/dev/null || true
escape_ends_cleanly
echo "--fullscreen desktop: 1600 x 900 at the origin, exit status 0 after Escape"

log=$out/windowed.log
SDL_AUDIODRIVER=dummy "$wine_run" "$program" --windowed --size 480x270 > "$log" 2>&1 &
pid=$!
await_window
await "renderer: "
sleep 1
xdotool key --window "$window" alt+F4
for _ in $(seq 1 500); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.02
done
kill -0 "$pid" 2>/dev/null && fail "still running ten seconds after Alt+F4"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Alt+F4"
echo "--windowed: exit status 0 after Alt+F4"
"$server" -w
exit 0
