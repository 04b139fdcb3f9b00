#!/usr/bin/env bash
# The bus: register accesses per byte of a page burst (counted by the
# simulated GPIO block), the bus code's own instructions per byte (callgrind,
# register block in plain memory) and the wall time of reading the whole
# default chip through the simulated block and chip.
set -euo pipefail
dir="$FERRIK_BENCH_BUILD/bench"
sim="$dir/bus_sim_bench"
memory="$dir/bus_memory_bench"

sim_out=""
if [ -x "$sim" ]; then
    sim_out=$(env -u FERRIK_SIM_CHIPS -u FERRIK_SIM_IMAGE -u FERRIK_SIM_FAULTS -u FERRIK_SIM_REPORT "$sim")
fi
figure() { # name: the value from the simulated bench, or n/a
    local v
    v=$(printf '%s\n' "$sim_out" | awk -v n="$1" '$1 == n { print $3 }')
    echo "${v:-n/a}"
}

# Instructions of one command with a burst of $2 bytes.
instructions() {
    local out
    out=$(mktemp)
    valgrind --tool=callgrind --callgrind-out-file="$out" "$memory" "$1" "$2" >/dev/null 2>&1
    awk '/^(summary|totals):/ { print $2; exit }' "$out"
    rm -f "$out"
}

per_byte() { # read|program accesses_per_byte
    if ! command -v valgrind >/dev/null || [ ! -x "$memory" ] || [ "$2" = "n/a" ]; then
        echo "n/a"
        return
    fi
    local short=1000 long=9000 a b
    a=$(instructions "$1" $short)
    b=$(instructions "$1" $long)
    awk -v a="$a" -v b="$b" -v n=$((long - short)) -v r="$2" 'BEGIN { printf "%.1f\n", (b - a) / n - r }'
}

read_accesses=$(figure bus.read.accesses_per_byte)
program_accesses=$(figure bus.program.accesses_per_byte)
echo "bus.read.accesses_per_byte = $read_accesses"
echo "bus.program.accesses_per_byte = $program_accesses"
echo "bus.read.instructions_per_byte = $(per_byte read "$read_accesses")"
echo "bus.program.instructions_per_byte = $(per_byte program "$program_accesses")"
echo "sim.read_whole_chip.seconds = $(figure sim.read_whole_chip.seconds)"
