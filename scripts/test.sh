#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds Marvex and runs its tests.
# Extra arguments go to CMake: BUILD_DIR=build-asan scripts/test.sh -DMARVEX_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh "$@"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "${JOBS:-$(nproc)}"
