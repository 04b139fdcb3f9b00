#!/usr/bin/env bash
# ferrik-cli over the whole default chip in the simulated build (bench/cli_bench):
# cli.read_dump.seconds, cli.write.seconds, cli.verify.seconds, what each adds
# to the bus time of its pages (cli.<job>.own_seconds, .overhead_percent,
# .file_percent) and cli.rss_beyond_chip_mb, its peak memory less the
# simulated chip's content.
#
# Then both front ends' own time in a read dump against what the bus takes on
# a Pi 3: cli.read_dump.overhead_vs_pi3_percent and
# job.read_dump.overhead_vs_pi3_percent, the CPU time the job's thread spends
# outside its chip commands (measured here: <front end>.read_dump.own_cpu_seconds)
# in percent of pi3.read_dump.seconds, the modelled bus time of the same dump
# on a Pi 3 (bench/parts/60-pi.sh). CPU time, because on a Pi the job's
# thread has a core of its own, while here other work may hold the processor
# between two page commands. They take job.read_dump.own_cpu_seconds and
# pi3.read_dump.seconds from the figures the earlier parts printed
# (FERRIK_BENCH_FIGURES), or run those parts.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin="$FERRIK_BENCH_BUILD/bench/cli_bench"
names=()
for job in read_dump write verify; do
    names+=("cli.$job.seconds" "cli.$job.own_seconds" "cli.$job.own_cpu_seconds" "cli.$job.overhead_percent" "cli.$job.file_percent")
done
names+=(cli.rss_beyond_chip_mb)
not_available() {
    echo "70-cli: $1" >&2
    for n in "${names[@]}" cli.read_dump.overhead_vs_pi3_percent job.read_dump.overhead_vs_pi3_percent; do
        echo "$n = n/a"
    done
    exit 0
}
[ -x "$bin" ] || not_available "$bin is missing (it is built with the simulated backend only)"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! out=$(env -u FERRIK_SIM_CHIPS -u FERRIK_SIM_IMAGE -u FERRIK_SIM_FAULTS -u FERRIK_SIM_REPORT "$bin" 2>"$log"); then
    cat "$log" >&2
    not_available "the benchmark failed"
fi
printf '%s\n' "$out"

# A figure printed by an earlier part, or by running that part now.
earlier() {
    local name=$1 part=$2 value=""
    if [ -n "${FERRIK_BENCH_FIGURES:-}" ] && [ -f "$FERRIK_BENCH_FIGURES" ]; then
        value=$(awk -v n="$name" '$1 == n { v = $3 } END { print v }' "$FERRIK_BENCH_FIGURES")
    fi
    if [ -z "$value" ]; then
        value=$(bash "$here/$part" 2>/dev/null | awk -v n="$name" '$1 == n { v = $3 } END { print v }')
    fi
    echo "${value:-n/a}"
}
pi3=$(earlier pi3.read_dump.seconds 60-pi.sh)
window_own=$(earlier job.read_dump.own_cpu_seconds 30-jobs.sh)
cli_own=$(awk '$1 == "cli.read_dump.own_cpu_seconds" { print $3 }' <<<"$out")
share() {
    awk -v own="$1" -v bus="$2" 'BEGIN {
        if (own == "n/a" || own == "" || bus == "n/a" || bus == "" || bus + 0 <= 0 || own + 0 < 0) print "n/a"
        else printf "%.3f\n", 100 * own / bus
    }'
}
echo "cli.read_dump.overhead_vs_pi3_percent = $(share "$cli_own" "$pi3")"
echo "job.read_dump.overhead_vs_pi3_percent = $(share "$window_own" "$pi3")"
