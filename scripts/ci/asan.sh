#!/usr/bin/env bash
# CI: the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, with
# LeakSanitizer on (ASan's default on Linux, forced here so the environment cannot turn it off).
# A leaking canary program proves first that leak detection works on this machine, so a silent
# LeakSanitizer (it cannot run under ptrace, for one) cannot pass for a clean suite. Valgrind's
# memcheck is not used: it serialises threads, and the lock-free list tests alone ran past ten
# minutes under it.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}report_objects=1"

canary=$(mktemp -d)
trap 'rm -rf "$canary"' EXIT
printf '#include <stdlib.h>\nvoid* volatile kept;\nint main(void) { kept = malloc(77); kept = 0; return 0; }\n' \
  > "$canary/leak.c"
${CC:-cc} -fsanitize=address -g "$canary/leak.c" -o "$canary/leak"
if "$canary/leak" > "$canary/out" 2>&1 || ! grep -q 'LeakSanitizer: detected memory leaks' "$canary/out"; then
  cat "$canary/out"
  echo "asan.sh: LeakSanitizer does not detect leaks here; the suite's result would mean nothing" >&2
  exit 1
fi
BUILD_DIR=${BUILD_DIR:-build-asan} bash scripts/test.sh -DMARVEX_SANITIZE=ON -DMARVEX_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug "$@"
