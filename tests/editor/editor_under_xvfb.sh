#!/usr/bin/env bash
# The editor end to end in a real X window: a new show opened with --edit, the ring picked in the
# outliner (by its filter), a key added with K at the playhead, an event's name typed into the "Add
# and record" panel and the event added, the scene saved with Ctrl+S. The saved file must hold the
# new key and the typed event, byte for byte, and the old file must be kept; the screen is kept as
# a picture.
# Arguments: the program, a scratch folder for the show, a folder for the screenshot.
here=$(cd "$(dirname "$0")" && pwd)
set -u
. "$here/xvfb_session.sh" "$0" "$@"
program=$1
show=$2
shots=$3

rm -rf "$show"
mkdir -p "$shots"
"$program" --new "$show" > /dev/null || { echo "--new failed"; exit 1; }
cd "$show" || exit 1
cp epicrealtimetest.xml original.xml
log=editor.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" --edit --size 1280x720 . > "$log" 2>&1 &
pid=$!
# Whatever happens, the program does not outlive the test (nor its display).
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null' EXIT
. "$here/../support/program_log.sh"
snapshot() {
  if command -v import >/dev/null; then
    import -window root "$shots/$1" 2>/dev/null
  elif command -v ffmpeg >/dev/null; then
    ffmpeg -loglevel error -y -f x11grab -video_size 1280x720 -i "$DISPLAY" -frames:v 1 "$shots/$1"
  fi
}

await_window
await "Triggering Event: activate"
xdotool windowmove "$window" 0 0
sleep 1

# Pause, then pick the ring in the outliner (the second of the two objects). A frame takes most of
# a second on a software rasterizer: each step waits for a few, since a pick counts when the
# button comes up over the same row.
xdotool key --window "$window" space
sleep 1
xdotool mousemove --window "$window" 60 144
sleep 1.5
xdotool mousedown --window "$window" 1
sleep 1.5
xdotool mouseup --window "$window" 1
sleep 1.5
# K keys the ring's position at the playhead: a new binding, made on its first key.
mark=$(lines)
xdotool key --window "$window" k
await "editor: key ring::Position at" "$mark"
# Ctrl+S saves while a text field has the keyboard (the "event" field of "Add and record", just
# clicked): once saved, the field has taken the keyboard and typing reaches it.
xdotool mousemove --window "$window" 1090 240 click 1
sleep 1
mark=$(lines)
xdotool key --window "$window" ctrl+s
await "editor: saved epicrealtimetest.xml" "$mark"
cmp -s original.xml epicrealtimetest.xml.bak || fail "the previous scene was not kept as epicrealtimetest.xml.bak"
cp epicrealtimetest.xml keyed.xml
# Typing: Ctrl+A selects the field's old name, the new one replaces it, and the event is added
# at the playhead. The chord and the first letters come quicker than a frame on a software
# rasterizer: the editor must still see Ctrl+A whole before the letters.
xdotool key --window "$window" ctrl+a
xdotool type --window "$window" --delay 80 "fadeout"
sleep 1.5
mark=$(lines)
xdotool mousemove --window "$window" 1075 286 click 1
await "editor: event [a-z]* at" "$mark"
tail -n +"$((mark + 1))" "$log" | grep -q "editor: event fadeout at" || fail "the typed name did not reach the field"
mark=$(lines)
xdotool key --window "$window" ctrl+s
await "editor: saved epicrealtimetest.xml" "$mark"
sleep 0.5
snapshot editor.png

# The backup is the file as it was just before the last save.
cmp -s keyed.xml epicrealtimetest.xml.bak || fail "the previous save was not kept as epicrealtimetest.xml.bak"
grep -q "<ring::Position>" epicrealtimetest.xml || fail "no key for the ring's position in the saved scene"
# The typed name, in the file's own style, after the events before it in time.
[ "$(grep -cx '      <fadeout eventTime="[0-9.]*" />' epicrealtimetest.xml)" -eq 2 ] ||
  fail "no second fadeout event (its name typed into the event field) in the saved scene"
diff original.xml epicrealtimetest.xml | grep '^[<>]' | grep -v 'ring::Position\|<key v0=\|<fadeout eventTime=' &&
  fail "the save changed more than the new key and the new event"
"$program" --check . > check.log 2>&1 || { cat check.log; fail "the saved scene does not check clean"; }

escape_ends_cleanly
pid=""
echo "editor: key added with K, an event named by typing, saved with Ctrl+S, the old file kept"
exit 0
