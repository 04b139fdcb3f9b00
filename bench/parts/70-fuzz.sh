#!/usr/bin/env bash
# The long fuzz run (bench/fuzz: ten minutes a target) when FERRIK_BENCH_FUZZ=1;
# it would make every bench run twenty minutes longer, so its figures are n/a
# otherwise. FERRIK_BENCH_FUZZ_SECONDS changes the time a target.
set -euo pipefail
root=${FERRIK_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
names=(fuzz.chip_file.execs fuzz.chip_file.seconds fuzz.field_parse.execs fuzz.field_parse.seconds)
not_available() {
    echo "70-fuzz: $1" >&2
    for n in "${names[@]}"; do echo "$n = n/a"; done
    exit 0
}
[ "${FERRIK_BENCH_FUZZ:-0}" = 1 ] || not_available "left out; FERRIK_BENCH_FUZZ=1 runs it, or bench/fuzz alone"
if ! out=$("$root/bench/fuzz" --seconds "${FERRIK_BENCH_FUZZ_SECONDS:-600}"); then
    not_available "a target failed (see above); its input is kept under build-fuzz/long/"
fi
printf '%s\n' "$out"
