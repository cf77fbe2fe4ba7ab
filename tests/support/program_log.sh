# Sourced by the scripts that drive the real program in a window: waiting on its log.
# They set $pid (the program) and $log (its output) before calling these.

# Stops the program, shows its log and fails the test with the message.
fail() {
  echo "$1"
  kill "$pid" 2>/dev/null
  cat "$log"
  exit 1
}

# Waits up to 60 s for a line matching the pattern to appear in the log (after line $2, default 0).
await() {
  for _ in $(seq 1 600); do
    tail -n +"$((${2:-0} + 1))" "$log" | grep -q -- "$1" && return 0
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for '$1'"
    sleep 0.1
  done
  fail "no '$1' in the log"
}

# The number of lines the log has so far.
lines() { wc -l < "$log"; }
