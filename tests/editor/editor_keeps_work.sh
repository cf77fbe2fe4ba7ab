#!/usr/bin/env bash
# Nothing of the user's is lost in a real X window. The scene is a link to a file elsewhere
# (mode 0640), as a show kept under version control beside others might be.
# - The show's "exit" reached by a seek pauses the editor instead of ending it.
# - With unsaved changes, Escape and the window's close ask first (Escape answers "Cancel").
# - A change made on disk meanwhile is not read over them: asked, "Keep mine", then saved: through
#   the link, with the file's mode kept, and the changed file kept as epicrealtimetest.xml.bak.
# - A read-only scene is saved only when the user agrees, and stays read-only.
# - Another change on disk, "Load the file's"; Ctrl+Z brings the editor's version back.
# - SIGTERM ends the editor with the unsaved changes kept as epicrealtimetest.xml.recover beside
#   the scene, which stays as it was.
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
mkdir -p "$shots" "$work/store"
"$program" --new "$work/show" > /dev/null || { echo "--new failed"; exit 1; }
cd "$work/show" || exit 1
target=$work/store/scene.xml
mv epicrealtimetest.xml "$target"
chmod 0640 "$target"
ln -s ../store/scene.xml epicrealtimetest.xml
cp "$target" "$work/original.xml"
log=$work/editor.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" --edit --size 1280x720 . > "$log" 2>&1 &
pid=$!
# Whatever happens, the program does not outlive the test (nor its display).
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null' EXIT
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
still_linked() {
  [ -L epicrealtimetest.xml ] && [ "$(readlink epicrealtimetest.xml)" = ../store/scene.xml ] ||
    fail "the scene is no longer the link it was"
}

await_window
await "Triggering Event: activate"
xdotool windowmove "$window" 0 0
sleep 1

# A click in the timeline's ruler at 13 s seeks past the show's exit (11.5 s): the replay passes
# it, and the editor pauses instead of ending.
mark=$(lines)
xdotool mousemove --window "$window" 667 570 click 1
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

# A change on disk (the ring made larger) while the key is unsaved: asked, the editor's kept.
mark=$(lines)
sed -i 's/<Scale x="0.025" y="0.025" z="0.025" \/>/<Scale x="0.03" y="0.03" z="0.03" \/>/' "$target"
cp "$target" "$work/theirs.xml"
await "editor: asks: Changed on disk: epicrealtimetest.xml changed on disk while" "$mark"
sleep 1
snapshot changed-on-disk.png
press k "editor: Changed on disk: Keep mine"
press ctrl+s "editor: saved epicrealtimetest.xml"
still_linked
grep -q "<ring::Position>" "$target" || fail "the save did not reach the link's target"
[ "$(stat -c %a "$target")" = 640 ] || fail "the scene's mode is $(stat -c %a "$target") after the save, not 640"
cmp -s "$work/theirs.xml" epicrealtimetest.xml.bak || fail "the backup is not the file as it was just before the save"
cp "$target" "$work/mine.xml"

# Read-only: undone key, Ctrl+S asks; "Save anyway" saves and it stays read-only.
chmod 0444 "$target"
press ctrl+z "editor: undone: Key ring::Position"
press ctrl+s "editor: asks: Read-only file: epicrealtimetest.xml is read-only"
cmp -s "$work/mine.xml" "$target" || fail "the read-only scene changed before the user agreed"
press r "editor: saved epicrealtimetest.xml"
still_linked
[ "$(stat -c %a "$target")" = 444 ] || fail "the read-only scene's mode is $(stat -c %a "$target") after the save"
grep -q "<ring::Position>" "$target" && fail "the agreed save of the read-only scene did not write the undo"
cp "$target" "$work/saved.xml"

# The key again (unsaved), another change on disk: "Load the file's", then Ctrl+Z gets the
# editor's version back.
press ctrl+y "editor: redone: Key ring::Position"
mark=$(lines)
chmod 0644 "$target"
sed -i 's/<Scale x="0.025" y="0.025" z="0.025" \/>/<Scale x="0.02" y="0.02" z="0.02" \/>/' "$target"
cmp -s "$work/saved.xml" "$target" && fail "the test's own change on disk changed nothing"
cp "$target" "$work/theirs2.xml"
await "editor: asks: Changed on disk" "$mark"
press l "editor: loaded epicrealtimetest.xml from disk"
press ctrl+z "editor: undone: Load epicrealtimetest.xml from disk"

# SIGTERM: no one to ask; the changes go beside the scene and the scene stays as it was.
kill -TERM "$pid"
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 30 s after SIGTERM"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 143 ] || fail "exit status $status after SIGTERM (128 + 15 expected)"
grep -q "editor: SIGTERM: the unsaved changes are kept in epicrealtimetest.xml.recover" "$log" ||
  fail "no line about the kept changes"
cmp -s "$work/theirs2.xml" "$target" || fail "the scene file changed without a save"
still_linked
[ -f epicrealtimetest.xml.recover ] || fail "no epicrealtimetest.xml.recover"
# The editor's version: the ring's key, and the Scale as it was when last saved.
cmp -s "$work/mine.xml" epicrealtimetest.xml.recover || fail "the recovery copy is not the editor's version"
echo "editor: paused at the show's exit, asked before quitting and before replacing changes on disk," \
  "saved through a link and a read-only file, kept the unsaved changes on SIGTERM"
exit 0
