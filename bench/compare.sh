#!/usr/bin/env bash
# Marvex beside aubio's command-line pitch tracker on the same generated recording (one hour of
# 44.1 kHz mono by default): `aubiopitch` with methods yin and yinfft at hop 512, and
# `marvex analyze` with 512-frame blocks. Prints the CPU seconds (user + system, best of RUNS)
# of each and how many times faster Marvex is. A benchmark, not a test: CI does not run it.
# Needs Debian's aubio-tools (apt-get install aubio-tools) and a build with benchmarks.
#   bench/compare.sh [BUILD_DIR=build] [SECONDS=3600] [RUNS=1]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-3600}
runs=${3:-1}
command -v aubiopitch > /dev/null || { echo "aubiopitch not found: apt-get install aubio-tools" >&2; exit 1; }
source bench/system/common.sh
best_of() {
    local best= t
    for ((run = 0; run < runs; ++run)); do
        t=$(cpu_seconds "$@")
        if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    echo "$best"
}

echo "input: $file ($seconds s, 44.1 kHz mono)"
marvex_s=$(best_of "$marvex" --no-progress analyze "$file" --block 512 --format jsonl -o /dev/null)
yin_s=$(best_of aubiopitch -i "$file" -p yin -H 512)
yinfft_s=$(best_of aubiopitch -i "$file" -p yinfft -H 512)
awk -v m="$marvex_s" -v y="$yin_s" -v f="$yinfft_s" 'BEGIN {
    printf "%-34s %8.2f s CPU\n", "marvex analyze --block 512", m
    printf "%-34s %8.2f s CPU   marvex %.1fx faster\n", "aubiopitch -p yin -H 512", y, (m > 0 ? y / m : 0)
    printf "%-34s %8.2f s CPU   marvex %.1fx faster\n", "aubiopitch -p yinfft -H 512", f, (m > 0 ? f / m : 0)
}'
