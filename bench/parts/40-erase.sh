#!/usr/bin/env bash
# Erase and Blank check over the whole default chip in the simulated program:
# job.erase.seconds, job.blank.seconds.
set -euo pipefail
bin="$FERRIK_BENCH_BUILD/bench/erase_blank_bench"
if [ ! -x "$bin" ]; then
    echo "40-erase: $bin is missing (built only with the simulated backend)" >&2
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# The program's default chip on CE0, with no faults and no image file.
run=(env -u FERRIK_SIM_CHIPS -u FERRIK_SIM_IMAGE -u FERRIK_SIM_FAULTS -u FERRIK_SIM_REPORT
     GSETTINGS_BACKEND=memory "$bin")
if [ -z "${DISPLAY:-}" ]; then
    run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
if ! "${run[@]}" 2>"$log"; then
    cat "$log" >&2
    exit 1
fi
