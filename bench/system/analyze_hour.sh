#!/usr/bin/env bash
# End-to-end cost of `marvex analyze`: one hour of 44.1 kHz mono (generated once) analysed in
# 512-frame blocks with jsonl records written to /dev/null. Prints the CPU seconds (user +
# system) of the best of RUNS runs and the multiple of real time.
#   bench/system/analyze_hour.sh [BUILD_DIR=build] [SECONDS=3600] [RUNS=3]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-3600}
runs=${3:-3}
source bench/system/common.sh

best=
for ((run = 0; run < runs; ++run)); do
    t=$(cpu_seconds "$marvex" --no-progress analyze "$file" --block 512 --format jsonl -o /dev/null)
    echo "run $((run + 1)): $t s CPU"
    if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
done
awk -v t="$best" -v s="$seconds" \
    'BEGIN { printf "marvex analyze, %d s of 44.1 kHz mono, block 512: %.2f s CPU (%.0fx real time)\n", s, t, s / t }'
