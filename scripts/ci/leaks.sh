#!/usr/bin/env bash
# CI: the whole test suite with LeakSanitizer, on the AddressSanitizer build of the CI's ASan step
# (built here when it is missing). Valgrind's memcheck is not used: it serialises threads, and the
# lock-free notification-list tests alone ran past ten minutes under it.
# A leaking canary program proves first that leak detection works on this machine, so a silent
# LeakSanitizer (it cannot run under ptrace, for one) cannot pass for a clean suite.
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${BUILD_DIR:-build-asan}
if [ ! -f "$build_dir/CTestTestfile.cmake" ]; then
  BUILD_DIR=$build_dir bash scripts/build.sh -DMARVEX_SANITIZE=ON -DMARVEX_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug
fi
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="report_objects=1 ${LSAN_OPTIONS:-}"

canary=$(mktemp -d)
trap 'rm -rf "$canary"' EXIT
printf '#include <stdlib.h>\nvoid* volatile kept;\nint main(void) { kept = malloc(77); kept = 0; return 0; }\n' \
  > "$canary/leak.c"
${CC:-cc} -fsanitize=address -g "$canary/leak.c" -o "$canary/leak"
if "$canary/leak" > "$canary/out" 2>&1 || ! grep -q 'LeakSanitizer: detected memory leaks' "$canary/out"; then
  cat "$canary/out"
  echo "leaks.sh: LeakSanitizer does not detect leaks here; the suite's result would mean nothing" >&2
  exit 1
fi
ctest --test-dir "$build_dir" --output-on-failure -j "${JOBS:-$(nproc)}" -E '^format_check$'
