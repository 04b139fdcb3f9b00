#!/usr/bin/env bash
# Erase and Blank check over the whole default chip in the simulated program,
# the real window's buttons pressed in turn: job.erase.seconds,
# job.blank.seconds. n/a when the bench is not built (Pi backend) or a job did
# not end clean; the reason goes to standard error.
set -euo pipefail
bin="$FERRIK_BENCH_BUILD/bench/erase_blank_bench"
names=(job.erase.seconds job.blank.seconds)
not_available() {
    echo "40-erase: $1" >&2
    for n in "${names[@]}"; do echo "$n = n/a"; done
    exit 0
}
[ -x "$bin" ] || not_available "$bin is missing (it is built with the simulated backend only)"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# The program's default chip on CE0, with no faults and no image file.
run=(env -u FERRIK_SIM_CHIPS -u FERRIK_SIM_IMAGE -u FERRIK_SIM_FAULTS -u FERRIK_SIM_REPORT
     GSETTINGS_BACKEND=memory "$bin")
if [ -z "${DISPLAY:-}" ]; then
    run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
if ! out=$("${run[@]}" 2>"$log"); then
    cat "$log" >&2
    not_available "the benchmark failed"
fi
printf '%s\n' "$out"
