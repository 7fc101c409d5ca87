#!/usr/bin/env bash
# Applies clang-format to every C++ source of the project.
set -euo pipefail
cd "$(dirname "$0")/.."
find analysis unit effect core elements format view host lv2 tests bench -type f \
  \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' -o -name '*.c' \) 2>/dev/null \
  | xargs -r clang-format -i
