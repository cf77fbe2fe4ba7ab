#!/usr/bin/env bash
# scripts/build-windows-deps when Debian's sources cannot be had (a mirror that does not answer):
# it stops with status 1 and one line that says so, and leaves the cache as it was, with nothing
# half-built beside it.
# Arguments: scripts/build-windows-deps, a scratch folder.
set -u
script=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/cache/root"
echo "the libraries of an older recipe" >"$scratch/cache/root/VERSIONS"
echo "older" >"$scratch/cache/root/.recipe"
BEATSHOW_WINDOWS_DEPS=$scratch/cache/root BEATSHOW_DEBIAN_MIRROR=http://127.0.0.1:9/debian \
  timeout 120 "$script" >"$scratch/out" 2>"$scratch/err"
status=$?
cat "$scratch/err"
[ $status -eq 1 ] || { echo "FAILED: exit status $status, not 1"; exit 1; }
[ ! -s "$scratch/out" ] || { echo "FAILED: it printed a folder: $(cat "$scratch/out")"; exit 1; }
failures=$(grep -vcE "^build-windows-deps: (reading Debian's source index|building )" "$scratch/err")
[ "$failures" -eq 1 ] || { echo "FAILED: $failures lines say what went wrong, not one"; exit 1; }
grep -q "^build-windows-deps: cannot read Debian's source index from http://127.0.0.1:9/debian" "$scratch/err" ||
  grep -q "^build-windows-deps: needs " "$scratch/err" || { echo "FAILED: the line does not say what is missing"; exit 1; }
[ "$(cat "$scratch/cache/root/VERSIONS")" = "the libraries of an older recipe" ] ||
  { echo "FAILED: the cache changed"; exit 1; }
leftovers=$(find "$scratch/cache" -mindepth 1 -maxdepth 1 ! -name root ! -name .lock)
[ -z "$leftovers" ] || { echo "FAILED: left behind: $leftovers"; exit 1; }
echo "one line, the cache as it was"
exit 0
