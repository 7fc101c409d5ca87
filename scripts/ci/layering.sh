#!/usr/bin/env bash
# Fails when a source folder includes a header from a folder above it in the layering table:
# each folder may include its own headers and those of the rows before its own, nothing else.
# Folders on one row sit side by side and include neither each other: the command line and the
# LV2 module both stand on the host library, not on one another. A folder nested in a table
# entry belongs to it (view/tools to view) unless it has an entry of its own (host/cli).
# tests/ and bench/ may include anything.
set -euo pipefail
cd "$(dirname "$0")/../.."

rows=(format elements core effect analysis unit view host host/live "host/cli lv2")
exempt='^(tests|bench|scripts|docs)/'

# The table entry a path belongs to (the longest matching one) and its row: "row entry", or
# "-1 -" for a path in no folder of the table.
place_of() {
  local path=$1 best_row=-1 best=- row entry
  for row in "${!rows[@]}"; do
    for entry in ${rows[$row]}; do
      if [[ $path == "$entry"/* && ${#entry} -gt ${#best} ]]; then
        best_row=$row
        best=$entry
      fi
    done
  done
  echo "$best_row $best"
}

failures=0
while IFS= read -r file; do
  file=${file#./}
  [[ $file =~ $exempt ]] && continue
  read -r row folder < <(place_of "$file")
  if [ "$row" -lt 0 ]; then
    echo "layering: $file is in no folder of the table; add its folder to scripts/ci/layering.sh"
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r included; do
    read -r target_row target < <(place_of "$included")
    # Headers outside the table (system, third-party) are not ours to order.
    [ "$target_row" -lt 0 ] && continue
    if [ "$target_row" -gt "$row" ]; then
      echo "layering: $file ($folder) includes $included ($target, above it)"
      failures=$((failures + 1))
    elif [ "$target_row" -eq "$row" ] && [ "$target" != "$folder" ]; then
      echo "layering: $file ($folder) includes $included ($target, beside it)"
      failures=$((failures + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . \( -path ./.git -o -path './build*' \) -prune -o -type f \
           \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) -print)

if [ "$failures" -gt 0 ]; then
  order=$(printf '%s < ' "${rows[@]}" | sed 's/ < $//; s/\([a-z/]\) \([a-z]\)/\1|\2/g')
  echo "layering: $failures fault(s); the order is $order (| side by side)" >&2
  exit 1
fi
echo "layering: every include points at its own folder or one below it"
