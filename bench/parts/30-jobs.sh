#!/usr/bin/env bash
# Read dump, Write, Verify, then Erase and Blank check over the whole default
# chip in the simulated program, the real window's buttons pressed and its file dialogs answered
# with a dump under /tmp: job.read_dump.seconds, job.write.seconds,
# job.verify.seconds, job.erase.seconds, job.blank.seconds, job.peak_rss_mb, what each job adds to the bus time of
# its pages (job.<job>.overhead_percent, the largest as job.overhead_percent)
# and the parts of it spent on progress and file (job.<job>.progress_percent,
# job.<job>.file_percent). n/a when the bench is not built (Pi backend) or a
# job did not end clean; the reason goes to standard error.
set -euo pipefail
bin="$FERRIK_BENCH_BUILD/bench/job_bench"
names=()
for job in read_dump write verify; do
    names+=("job.$job.seconds" "job.$job.own_seconds" "job.$job.own_cpu_seconds" "job.$job.overhead_percent" "job.$job.progress_percent" "job.$job.file_percent")
done
names+=(job.erase.seconds job.blank.seconds job.peak_rss_mb job.overhead_percent)
not_available() {
    echo "30-jobs: $1" >&2
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
