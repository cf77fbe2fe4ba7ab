#!/usr/bin/env bash
# The live loop end to end in a real X window: transport keys sent by xdotool, then a shader and
# the scene edited while the show plays. Each step must be answered by its log line; a broken
# shader must leave the show running on the last good one; Escape must still end it cleanly.
# Arguments: the program, a show directory that this test may edit.
here=$(cd "$(dirname "$0")" && pwd)
set -u
program=$1
show=$2
command -v xdotool >/dev/null || { echo "SKIPPED: xdotool missing"; exit 0; }
[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no display"; exit 0; }

cd "$show" || exit 1
log=live.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" --windowed --size 320x180 > "$log" 2>&1 &
pid=$!
. "$here/../support/program_log.sh"

await_window
await "Triggering Event: activate"

# Right: on to the next bar line; Home: back to the start; Space twice: pause and resume.
mark=$(lines); xdotool key --window "$window" Right; await "seek from .* s to 1.7" "$mark"
mark=$(lines); xdotool key --window "$window" Home; await "seek from .* s to 0.0" "$mark"
mark=$(lines); xdotool key --window "$window" space; sleep 0.5; xdotool key --window "$window" space
await "seek from" "$mark"

# A shader that does not compile: the last good one stays and the show goes on.
cp lighting_shader.psh lighting_shader.good
mark=$(lines); printf 'this is not GLSL\n' >> lighting_shader.psh
await "shader lighting_shader.psh does not compile; the last good one stays" "$mark"
mark=$(lines); cp lighting_shader.good lighting_shader.psh
await "shader lighting_shader.psh built again" "$mark"

# The scene edited: loaded again at the time the show is at, not from the start.
mark=$(lines); sed -i 's/eventTime="0.1"/eventTime="0.2"/' epicrealtimetest.xml
await "scene loaded again at" "$mark"
tail -n +"$((mark + 1))" "$log" | grep -q "scene loaded again at 0 s" && fail "the reload went back to the start"

escape_ends_cleanly
grep -q '^ri dtor$' "$log" || fail "no orderly shutdown in the log"
echo "live loop: keys, shader and scene reloads answered"
exit 0
