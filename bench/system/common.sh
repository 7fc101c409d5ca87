# Shared by the end-to-end benchmark scripts (sourced, not run): checks the built tools, makes
# the generated recording once, and times commands in CPU seconds.
# Expects: build, seconds. Sets: marvex, file.
marvex="$build/bin/marvex"
tone="$build/bin/marvex_long_tone"
for tool in "$marvex" "$tone"; do
    [[ -x $tool ]] || { echo "missing $tool: build with -DMARVEX_BENCH=ON first" >&2; exit 1; }
done
file=${MARVEX_BENCH_FILE:-${TMPDIR:-/tmp}/marvex-bench-${seconds}s.wav}
[[ -s $file ]] || "$tone" "$file" "$seconds"

# CPU seconds (user + system) of one command, its output discarded.
cpu_seconds() {
    local report
    report=$(mktemp)
    /usr/bin/time -o "$report" -f '%U %S' "$@" > /dev/null 2> /dev/null || {
        echo "failed: $*" >&2
        rm -f "$report"
        return 1
    }
    awk '{ printf "%.2f", $1 + $2 }' "$report"
    rm -f "$report"
}
