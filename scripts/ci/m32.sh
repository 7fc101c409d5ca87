#!/usr/bin/env bash
# CI: the 32-bit x86 build of the plug-in (format to unit) and its tests. Record sizes are
# pinned by static_asserts, so building is half the check; the suites, the bit-exact analysis
# tests among them, are the other half.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh m32
build_dir=${BUILD_DIR:-build-m32}
BUILD_DIR=$build_dir bash scripts/build.sh -DMARVEX_M32=ON "$@"
# ELF class byte: 1 for 32-bit objects.
[ "$(od -An -tu1 -j4 -N1 "$build_dir"/format/libmarvex_platform.so | tr -d ' ')" = 1 ] ||
  { echo "m32.sh: the platform library is not a 32-bit object" >&2; exit 1; }
# Left out: the formatting check, which is not about the target.
ctest --test-dir "$build_dir" --output-on-failure -j "${JOBS:-$(nproc)}" -E '^format_check$'
