#!/usr/bin/env bash
# Nothing of the user's is lost in a real X window: the show's "exit" reached by a seek pauses
# the editor; with unsaved changes Escape and the window's close ask first (and Escape answers
# "Cancel"); SIGTERM ends the editor with the unsaved changes kept as epicrealtimetest.xml.recover
# beside the scene, which stays as it was.
# Arguments: the program, the window-closing helper, a scratch folder, a folder for screenshots.
here=$(cd "$(dirname "$0")" && pwd)
set -u
. "$here/xvfb_session.sh" "$0" "$@"
program=$1
close_window=$2
work=$3
shots=$4
[ -x "$close_window" ] || { echo "no $close_window (it needs libx11-dev)"; exit 1; }

rm -rf "$work"
mkdir -p "$shots"
"$program" --new "$work/show" > /dev/null || { echo "--new failed"; exit 1; }
cd "$work/show" || exit 1
cp epicrealtimetest.xml "$work/original.xml"
log=$work/editor.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" --edit --size 1280x720 . > "$log" 2>&1 &
pid=$!
. "$here/../support/program_log.sh"
snapshot() {
  ffmpeg -loglevel error -y -f x11grab -video_size 1280x720 -i "$DISPLAY" -frames:v 1 "$shots/$1" 2>/dev/null
}
# Presses a key and waits for a log line it leads to.
press() {
  local mark
  mark=$(lines)
  xdotool key --window "$window" "$1"
  await "$2" "$mark"
}
alive() { kill -0 "$pid" 2>/dev/null || fail "$1"; }

await_window
await "Triggering Event: activate"
xdotool windowmove "$window" 0 0
sleep 1

# A click in the timeline's ruler at 13 s seeks past the show's exit (11.5 s): the replay passes
# it, and the editor pauses instead of ending.
mark=$(lines)
xdotool mousemove --window "$window" 667 515 click 1
await "editor: the show's exit was reached; paused at 1[2-4]" "$mark"
sleep 2
alive "the editor ended at the show's exit"

# An unsaved change: the ring picked in the outliner, its position keyed with K.
xdotool mousemove --window "$window" 60 144
sleep 1.5
xdotool mousedown --window "$window" 1
sleep 1.5
xdotool mouseup --window "$window" 1
sleep 1.5
press k "editor: key ring::Position at"

# Escape asks first; Escape again is its "Cancel".
press Escape "editor: asks: Unsaved changes"
sleep 1
snapshot asks.png
press Escape "editor: Unsaved changes: Cancel"
sleep 2
alive "the editor ended on Escape with unsaved changes"

# The window's close button (WM_DELETE_WINDOW) asks too.
mark=$(lines)
"$close_window" "$window" || fail "close_window could not reach the window"
await "editor: asks: Unsaved changes" "$mark"
press Escape "editor: Unsaved changes: Cancel"
sleep 2
alive "the editor ended when its window was closed with unsaved changes"

# SIGTERM: no one to ask; the changes go beside the scene and the scene stays as it was.
kill -TERM "$pid"
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 30 s after SIGTERM"
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "exit status $status after SIGTERM (128 + 15 expected)"
grep -q "editor: SIGTERM: the unsaved changes are kept in epicrealtimetest.xml.recover" "$log" ||
  fail "no line about the kept changes"
cmp -s "$work/original.xml" epicrealtimetest.xml || fail "the scene file changed without a save"
[ -f epicrealtimetest.xml.recover ] || fail "no epicrealtimetest.xml.recover"
grep -q "<ring::Position>" epicrealtimetest.xml.recover || fail "the recovery copy lacks the unsaved key"
diff "$work/original.xml" epicrealtimetest.xml.recover | grep '^[<>]' | grep -v 'ring::Position\|<key v0=' &&
  fail "the recovery copy differs from the scene by more than the unsaved key"
echo "editor: paused at the show's exit, asked before quitting, kept the unsaved changes on SIGTERM"
exit 0
