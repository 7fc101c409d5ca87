#!/usr/bin/env bash
# CI: every libFuzzer target for a fixed number of runs (FUZZ_RUNS overrides them all) from its
# committed seed corpus, with a fixed seed so a run is repeatable (tests/fuzz/README.md says how
# to fuzz for longer). New
# inputs go to a scratch directory; the committed corpus is only read. Any crash, leak or broken
# invariant fails the step and leaves the input in $build_dir/fuzz-artifacts.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh fuzz
build_dir=${BUILD_DIR:-build-fuzz}
# Runs per target: the targets that initialise the tuner and render for every input are slower.
declare -A runs=([state_fuzzer]=4000 [selector_fuzzer]=2000)
targets=(state_fuzzer selector_fuzzer)
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -DMARVEX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  > "$build_dir.configure.log" 2>&1 || { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" --target "${targets[@]}"
mkdir -p "$build_dir/fuzz-artifacts"
total=0
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  log="$build_dir/fuzz-artifacts/$t.log"
  status=0
  "$build_dir/bin/$t" -runs="${FUZZ_RUNS:-${runs[$t]}}" -seed=1 -max_len=4096 -timeout=10 \
    -rss_limit_mb=1024 \
    -artifact_prefix="$build_dir/fuzz-artifacts/$t-" -print_final_stats=1 \
    "$scratch" "tests/fuzz/corpus/$t" > "$log" 2>&1 || status=$?
  rm -rf "$scratch"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz.sh: $t failed (status $status); input in $build_dir/fuzz-artifacts" >&2
    exit 1
  fi
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$((total + ${executed:-0}))
  echo "$t: ${executed:-?} executions, $(grep -c . <(ls "tests/fuzz/corpus/$t")) seeds, clean"
done
echo "fuzz.sh: $total executions in all, no failures"
