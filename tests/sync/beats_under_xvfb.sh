#!/usr/bin/env bash
# A show written by `beatshow --new DIR --bpm 128` plays in a real X window (under xvfb-run) with
# --log-beats: every frame in which its actors got OnBeat must lie in the first sixteenth of a
# 128 BPM beat, and some of them where no 141 BPM beat is. The music runs on SDL's dummy driver,
# so the times are the music's, whatever the wall clock does.
# Arguments: the program, a scratch folder.
here=$(cd "$(dirname "$0")" && pwd)
set -u
program=$1
scratch=$2
command -v xdotool >/dev/null || { echo "SKIPPED: xdotool missing"; exit 0; }
[ -n "${DISPLAY:-}" ] || { echo "SKIPPED: no display"; exit 0; }

rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
"$program" --new "$scratch/show" --bpm 128 > /dev/null || { echo "--new --bpm 128 failed"; exit 1; }
grep -q '<tempo bpm="128" beatsPerBar="4" firstBeat="0" />' "$scratch/show/epicrealtimetest.xml" ||
  { echo "the new show does not say its tempo"; exit 1; }

cd "$scratch/show" || exit 1
log=beats.log
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$program" --windowed --size 320x180 --log-beats --until 6 > "$log" 2>&1 &
pid=$!
. "$here/../support/program_log.sh"
await_window
await 'beat at [1-9]'
for _ in $(seq 1 900); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still playing after 90 s"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"

# "beat at 0.4688 s (bar 1.2)": the music time, printed to a tenth of a millisecond.
awk '
  /^beat at / {
    t = $3; n++
    at128 = t * 128 / 60; f128 = at128 - int(at128)
    at141 = t * 141 / 60; f141 = at141 - int(at141)
    if (f128 >= 1 / 16 + 0.0002) { print "not on a 128 BPM beat: " $0; bad++ }
    if (f141 >= 1 / 16) off141++
  }
  END {
    printf "%d beat frames, %d of them off the 141 BPM beats\n", n, off141
    if (n < 3) { print "too few beat frames"; exit 1 }
    if (bad > 0 || off141 == 0) exit 1
  }' "$log" || { cat "$log"; exit 1; }
exit 0
