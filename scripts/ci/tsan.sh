#!/usr/bin/env bash
# CI: the concurrency tests under ThreadSanitizer: the render-notification list, parameter reads
# during writes, and renders on one thread while control threads read parameters and listener
# and notification calls arrive. Only the test programs that hold them are built, and they
# run whole (a few seconds), so a concurrency test added to either is covered without a change
# here. The host library's hand-over of prepared units to a rendering thread runs too.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh
build_dir=${BUILD_DIR:-build-tsan}
cmake -S . -B "$build_dir" -DMARVEX_TSAN=ON -DMARVEX_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARVEX_FOLDERS="format;elements;core;effect;analysis;unit;host;reliability" "$@" \
  > "$build_dir.configure.log" 2>&1 || { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" --target marvex_core_tests marvex_reliability_tests \
  marvex_reliability_tuner_tests marvex_host_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
"$build_dir"/bin/marvex_core_tests
"$build_dir"/bin/marvex_reliability_tests
"$build_dir"/bin/marvex_reliability_tuner_tests
"$build_dir"/bin/marvex_host_tests --gtest_filter='PreparedUnitSwap.*'
