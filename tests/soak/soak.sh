#!/usr/bin/env bash
# The default show windowed under Xvfb in real time, started over at its end (--repeat), for
# SOAK_MINUTES (default 10). The resident memory is sampled every 10 s; at the end Escape is
# pressed and the program must exit cleanly. Passes when, after the first pass through the show,
# the resident memory stays within 5 % of where that pass left it, and no frame outside loading,
# seeking and the show's first 5 s (the driver compiles shaders on first use) takes more than 4
# times the median frame.
#
#   tests/soak/soak.sh BEATSHOW SHOW_DIR OUT_DIR      (OUT_DIR gets memory.csv, frames.txt, run.log)
set -uo pipefail

program=$(realpath "$1")
show=$2
out=$(mkdir -p "$3" && realpath "$3")
minutes=${SOAK_MINUTES:-10}
seconds=$((minutes * 60))
size=${SOAK_SIZE:-640x360}

if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "soak: xvfb-run is missing (scripts/install-deps)"; exit 1; }
  exec xvfb-run -a -s "-screen 0 1280x720x24" "$0" "$@"
fi

cd "$show" || exit 1
SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$program" --windowed --size "$size" --repeat --no-watch \
  --frame-log "$out/frames.txt" > "$out/run.log" 2>&1 &
pid=$!
echo "seconds rss_kb" > "$out/memory.csv"
start=$(date +%s)
while kill -0 "$pid" 2>/dev/null; do
  now=$(($(date +%s) - start))
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
  [ -n "$rss" ] && echo "$now $rss" >> "$out/memory.csv"
  [ "$now" -ge "$seconds" ] && break
  sleep 10
done
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid"
  echo "soak: FAILED: the program ended by itself after $(($(date +%s) - start)) s (exit $?); see $out/run.log"
  exit 1
fi
window=$(xdotool search --pid "$pid" 2>/dev/null | head -1)
if [ -n "$window" ]; then
  xdotool windowactivate --sync "$window" key Escape 2>/dev/null || xdotool key --window "$window" Escape
else
  xdotool key Escape
fi
for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 1; done
if kill -0 "$pid" 2>/dev/null; then
  kill -9 "$pid"
  echo "soak: FAILED: Escape did not end the program within 30 s"
  exit 1
fi
wait "$pid"
status=$?

# The first pass ends at the first seek the repeat made.
python3 - "$out" "$status" <<'PY'
import sys, statistics
out, status = sys.argv[1], int(sys.argv[2])
frames = [l.split() for l in open(out + "/frames.txt")]
first_repeat = next((float(f[0]) for f in frames if f[2] == "seek"), None)
# The first seconds of the show count with its loading: the OpenGL driver compiles each shader
# for its state on first use (Mesa's llvmpipe takes a few hundred milliseconds for that).
first_shown = next((float(f[0]) for f in frames if f[2] == "show"), 0.0)
warm_up = 5.0
shown = [float(f[1]) for f in frames if f[2] == "show" and float(f[0]) >= first_shown + warm_up]
median = statistics.median(shown)
longest = max(shown)
memory = [tuple(map(int, l.split())) for l in open(out + "/memory.csv").readlines()[1:]]
ok = status == 0
print(f"soak: exit status {status}")
print(f"soak: {len(frames)} frames, {len(shown)} of the show after its first {warm_up:.0f} s: median {median:.2f} ms, longest {longest:.2f} ms "
      f"(limit {4 * median:.2f})")
ok = ok and longest <= 4 * median
if first_repeat is None:
    print("soak: the show never started over (SOAK_MINUTES shorter than the show?)")
    ok = False
else:
    after = [kb for s, kb in memory if s >= first_repeat]
    if after:
        base = after[0]
        low, high = min(after), max(after)
        print(f"soak: first pass ended at {first_repeat:.0f} s; resident memory after it {base} kB, "
              f"then {low} to {high} kB ({(high - base) / base * 100:+.1f} %, {(low - base) / base * 100:+.1f} %)")
        ok = ok and high <= base * 1.05 and low >= base * 0.95
print("soak: memory curve (s, kB):", " ".join(f"{s}:{kb}" for s, kb in memory))
print("soak: " + ("passed" if ok else "FAILED"))
sys.exit(0 if ok else 1)
PY
