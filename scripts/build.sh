#!/usr/bin/env bash
# Configures and builds Marvex. BUILD_DIR (default build) and extra CMake arguments may be given:
#   BUILD_DIR=build-asan scripts/build.sh -DMARVEX_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" "$@" > "$build_dir.configure.log" 2>&1 || { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"
