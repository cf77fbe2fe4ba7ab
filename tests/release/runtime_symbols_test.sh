#!/usr/bin/env bash
# The runtime check of a Linux release: it refuses a program that calls a function glibc got
# after 2.35 (arc4random, 2.36) and names it, and passes this build's program.
# Arguments: scripts/check-runtime-symbols, the program, a scratch folder.
set -u
check=$1
program=$2
scratch=$3
mkdir -p "$scratch"
cat >"$scratch/newer.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
int main(void) { printf("%u\n", arc4random()); return 0; }
C
if ! cc -o "$scratch/newer" "$scratch/newer.c" 2>/dev/null; then
  echo "SKIPPED: this C library has no arc4random (older than glibc 2.36)"
  exit 0
fi
out=$("$check" "$scratch/newer")
status=$?
echo "$out"
[ $status -eq 1 ] || { echo "FAILED: a program that needs GLIBC_2.36 passed"; exit 1; }
echo "$out" | grep -q 'newer needs GLIBC_2.36, newer than Ubuntu 22.04.*arc4random' ||
  { echo "FAILED: the line does not name the version and the function"; exit 1; }
out=$("$check" "$program")
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "FAILED: the program needs a newer runtime than Ubuntu 22.04's"; exit 1; }
exit 0
