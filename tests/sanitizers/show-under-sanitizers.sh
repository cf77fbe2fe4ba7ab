#!/usr/bin/env bash
# `make test-show-sanitizers`: the whole default show, offline at a small size, played by the
# program built with AddressSanitizer and UndefinedBehaviorSanitizer (leaks on), then with
# ThreadSanitizer and the loader thread pausing at random points (BEATSHOW_LOADER_JITTER). Each run
# must end by the show's "exit" event with status 0 and no sanitizer report. Reports from inside
# the OpenGL driver and SDL, which are not built with the sanitizers, are suppressed by the files
# beside this script.
#
#   tests/sanitizers/show-under-sanitizers.sh [asan] [tsan]
#   SANITIZER_SHOW_FPS (default 10), SANITIZER_SHOW_SIZE (default 160x90), JOBS (default 2)
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/sanitizers
fps=${SANITIZER_SHOW_FPS:-10}
size=${SANITIZER_SHOW_SIZE:-160x90}
jobs=${JOBS:-2}
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(asan tsan)

export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=dummy
status=0
for preset in "${presets[@]}"; do
  build=$root/build-$preset
  (cd "$root" && cmake --preset "$preset" >/dev/null && cmake --build "$build" --target beatshow show -j "$jobs") ||
    { echo "show-under-sanitizers: the $preset build failed"; exit 1; }
  log=$build/show-under-$preset.log
  started=$(date +%s)
  # The GL loader unloads the driver at exit, before the sanitizers look: LeakSanitizer then sees
  # the driver's memory without the globals that still point to it (leaks of "<unknown module>"),
  # and ThreadSanitizer ends the run because a library its suppressions name went away. A dlclose
  # that keeps modules loaded avoids both; the sanitizer's runtime must come before it.
  keep=$build/keep-modules-loaded.so
  printf 'int dlclose(void *handle) { (void)handle; return 0; }\n' |
    cc -shared -fPIC -x c -o "$keep" - || { echo "show-under-sanitizers: cannot build $keep"; exit 1; }
  preload="$(gcc -print-file-name="lib$preset.so"):$keep"
  if [ "$preset" = asan ]; then
    (cd "$build/show" && LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
       LSAN_OPTIONS=suppressions=$here/lsan.supp:print_suppressions=0 \
       UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
       ../beatshow --windowed --offline "$fps" --size "$size") > "$log" 2>&1
  else
    (cd "$build/show" && LD_PRELOAD=$preload TSAN_OPTIONS=halt_on_error=0:exitcode=66:suppressions=$here/tsan.supp \
       BEATSHOW_LOADER_JITTER=20 \
       ../beatshow --windowed --offline "$fps" --size "$size") > "$log" 2>&1
  fi
  result=$?
  reports=$(grep -c -E '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|SUMMARY: [A-Za-z]+Sanitizer)|runtime error:' "$log")
  echo "show-under-sanitizers: $preset: exit $result, $reports reports, $(($(date +%s) - started)) s (log: $log)"
  if [ "$result" -ne 0 ] || [ "$reports" -ne 0 ]; then
    grep -E -A12 '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer)|runtime error:|Sanitizer: library' "$log" | head -40
    status=1
  fi
done
exit $status
