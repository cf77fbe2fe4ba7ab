#!/usr/bin/env bash
# The Windows program in a real window under Wine (run under xvfb-run, 1600 x 900): full screen on
# the desktop (--fullscreen desktop) must cover the whole screen at the origin and end with status 0
# on Escape; in a window (--windowed) it must end with status 0 on Alt+F4; started as from the
# desktop (no console) where a show's shaders are missing, it must say why in a box titled
# "beatshow" and in beatshow.log beside it, and end with status 1. Pictures of the screen are left
# in OUT/ where ffmpeg can take them.
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

# As from the desktop, where nobody reads what it prints: a folder without shaders.
lonely=$out/lonely
rm -rf "$lonely"
mkdir -p "$lonely"
cp "$program" "$lonely/beatshow.exe"
log=$out/lonely.log
(cd "$lonely" && SDL_AUDIODRIVER=dummy "$wine_run" --detached "$lonely/beatshow.exe" --windowed) > "$log" 2>&1 &
pid=$!
await_box() {
  box=""
  for _ in $(seq 1 300); do
    box=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$box" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "the program ended without the box '$1'"
    sleep 0.1
  done
  fail "no box '$1'"
}
await_box PShaderError # the renderer's own, as before
xdotool key --window "$box" Return
await_box beatshow
sleep 1
ffmpeg -loglevel error -y -f x11grab -video_size 1600x900 -i "$DISPLAY" -frames:v 1 "$out/failure.png" 2>/dev/null || true
xdotool key --window "$box" Return
for _ in $(seq 1 500); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.02
done
kill -0 "$pid" 2>/dev/null && fail "still running ten seconds after the box"
wait "$pid"
status=$?
[ "$status" -eq 1 ] || fail "exit status $status after a failed start"
tr -d '\r' < "$lonely/beatshow.log" | grep -q '^PShaderError: cannot read the shader file' ||
  { cat "$lonely/beatshow.log"; fail "beatshow.log does not say why"; }
echo "from the desktop: the box, the reason in beatshow.log, exit status 1"
"$server" -w
exit 0
