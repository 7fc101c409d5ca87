#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds Marvex and runs the main job:
# `marvex` with no arguments tunes its built-in performance. Arguments go to `marvex`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh > build.log 2>&1 || { tail -n 50 build.log; exit 1; }
exec build/bin/marvex "$@"
