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

# Waits up to 20 s for the program's window and sets $window to it.
await_window() {
  window=""
  for _ in $(seq 1 200); do
    window=$(xdotool search --name '^default$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  fail "no window appeared"
}

# Presses Escape in $window; the program must exit with status 0 within ten seconds.
escape_ends_cleanly() {
  xdotool key --window "$window" Escape
  for _ in $(seq 1 500); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  kill -0 "$pid" 2>/dev/null && fail "still running ten seconds after Escape"
  wait "$pid"
  local status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
}
