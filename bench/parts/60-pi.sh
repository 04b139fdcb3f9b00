#!/usr/bin/env bash
# The Raspberry Pi: instructions per byte of the page read and program byte
# loops of the armhf and the arm64 Pi build (disassembled, when the cross
# tools are there), and a model of the bus time of Read dump, Write and Erase
# of the default chip on a Pi 3, and of a dump of both targets of a
# K9WAG08U1A (read.two_targets.pi3_seconds). docs/pi.md explains the model and its
# assumptions. Then the same model for the Pi 5 (RP1), with published costs.
#
# Access costs (override with a measurement from bench/pi_gpio_timing run
# on a Pi):
#   PI3_STORE_NS  a GPSET0/GPCLR0 store, 7.5 ns: a pin toggles at about
#                 66 MHz from a loop of stores, two stores a period.
#   PI3_LOAD_NS   a GPLEV0 load, 50 ns assumed: a load from the peripheral
#                 bus cannot be posted like a store; it waits for the round
#                 trip through the SoC's bridge (about 20 cycles of the
#                 400 MHz core clock that clocks the Pi 3's peripherals).
#   PI3_CPU_GHZ   1.2; the loops' own instructions are added at one per
#                 cycle, none hidden behind an access.
#   PI3_ECC_CHECK_US_PER_PAGE  the CPU time of read --ecc's bch8 check of a
#                 2048 + 64 page: read.ecc.bch8.check_us_per_page of 35-ecc.sh,
#                 measured on this machine, unless ecc_bench was run on a Pi 3.
#                 read.ecc.bch8.overhead_vs_pi3_percent sets it against the
#                 modelled time of reading the page (scaled by page size).
set -euo pipefail
root=${FERRIK_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
counts_bin="${FERRIK_BENCH_BUILD:-$root/build-bench}/bench/pi_bus_counts"

# loop_figures ARCH TRIPLET PREFIX: the Pi build for ARCH (when its cross
# tools are there) and the instructions per byte of its two byte loops, as
# PREFIX.read.instructions_per_byte and PREFIX.program.instructions_per_byte.
loop_figures() {
    local arch=$1 triplet=$2 prefix=$3 loops=
    local pi="$root/build-$arch-pi"
    if command -v "$triplet-g++" >/dev/null && [ -x "/usr/lib/$triplet/wx/config/gtk3-unicode-3.2" ]; then
        if cmake -S "$root" -B "$pi" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$arch-toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DFERRIK_GPIO_BACKEND=pi -DFERRIK_TESTS=OFF >/dev/null 2>&1 &&
            cmake --build "$pi" --target ferrik -j 2 >/dev/null 2>&1; then
            loops=$("$root/scripts/check-arm-loops" --figures "$pi/ferrik" 2>/dev/null || true)
        fi
    else
        echo "60-pi: no $arch cross tools; $prefix instructions per byte not counted" >&2
    fi
    local name
    for name in "$prefix.read.instructions_per_byte" "$prefix.program.instructions_per_byte"; do
        echo "$name = $(awk -v n="$name" '$1 == n { v = $3 } END { print (v == "" ? "n/a" : v) }' <<<"$loops")"
    done
}

figures=$(loop_figures armhf arm-linux-gnueabihf arm; loop_figures arm64 aarch64-linux-gnu arm64)
echo "$figures"
# The Pi 3 model below runs the armhf loops (Raspberry Pi OS 32-bit); the
# arm64 ones are two instructions shorter.
read_ipb=$(awk '$1 == "arm.read.instructions_per_byte" { print $3 }' <<<"$figures")
program_ipb=$(awk '$1 == "arm.program.instructions_per_byte" { print $3 }' <<<"$figures")

check_us=${PI3_ECC_CHECK_US_PER_PAGE:-$(awk '$1 == "read.ecc.bch8.check_us_per_page" { print $3 }' \
    "${FERRIK_BENCH_FIGURES:-/dev/null}")}

if [ ! -x "$counts_bin" ]; then
    echo "60-pi: $counts_bin missing; no model" >&2
    echo "read.ecc.bch8.overhead_vs_pi3_percent = n/a"
    exit 0
fi
counts=$(env -u FERRIK_SIM_CHIPS -u FERRIK_SIM_IMAGE -u FERRIK_SIM_FAULTS -u FERRIK_SIM_REPORT "$counts_bin")
grep -E '^pi\.bus\.(read|program)\.(loads|stores)_per_byte' <<<"$counts"
grep -E '^pi\.bus\.mark_read\.fixed_(loads|stores)' <<<"$counts"
grep -E '^pi\.two_targets\.' <<<"$counts"

awk -v store="${PI3_STORE_NS:-7.5}" -v load="${PI3_LOAD_NS:-50}" -v ghz="${PI3_CPU_GHZ:-1.2}" \
    -v rip="$read_ipb" -v pip="$program_ipb" -v check="${check_us:-n/a}" '
    { v[$1] = $3 }
    END {
        # The chip: 1 Gbit SLC, typical busy times.
        tR = 25e-6; tPROG = 200e-6; tBERS = 2e-3
        ns = 1e-9
        ri = (rip == "n/a" ? 0 : rip) / ghz; pi = (pip == "n/a" ? 0 : pip) / ghz
        bytes = v["pi.chip.page_bytes"]; pages = v["pi.chip.pages"]; blocks = v["pi.chip.blocks"]
        readByte = (v["pi.bus.read.loads_per_byte"] * load + v["pi.bus.read.stores_per_byte"] * store + ri) * ns
        readFixed = (v["pi.bus.read.fixed_loads"] * load + v["pi.bus.read.fixed_stores"] * store) * ns
        progByte = (v["pi.bus.program.loads_per_byte"] * load + v["pi.bus.program.stores_per_byte"] * store + pi) * ns
        progFixed = (v["pi.bus.program.fixed_loads"] * load + v["pi.bus.program.fixed_stores"] * store) * ns
        eraseFixed = (v["pi.bus.erase.fixed_loads"] * load + v["pi.bus.erase.fixed_stores"] * store) * ns
        markFixed = (v["pi.bus.mark_read.fixed_loads"] * load + v["pi.bus.mark_read.fixed_stores"] * store) * ns
        readPage = bytes * readByte + readFixed + tR
        progPage = bytes * progByte + progFixed + tPROG
        printf "pi3.read.ns_per_byte = %.1f\n", readByte / ns
        printf "pi3.program.ns_per_byte = %.1f\n", progByte / ns
        printf "pi3.read_dump.seconds = %.1f\n", pages * readPage
        printf "pi3.read_dump.kbytes_per_second = %.0f\n", pages * bytes / (pages * readPage) / 1024
        printf "pi3.write.seconds = %.1f\n", pages * progPage
        printf "pi3.erase.seconds = %.2f\n", (blocks + 1) * (eraseFixed + tBERS)
        # Erase reads the mark of each block first: two one-byte column reads of a
        # good block (its first and second page), each a page load of tR.
        printf "erase.mark_reads_seconds_pi3 = %.3f\n", blocks * 2 * (markFixed + tR)
        # A K9WAG08U1A read whole with --ce all: its two dies one after the
        # other, every page a whole read command on its own chip enable.
        twoPage = v["pi.two_targets.read.loads"] * load + v["pi.two_targets.read.stores"] * store
        twoPage = twoPage * ns + v["pi.two_targets.page_bytes"] * ri * ns + tR
        printf "read.two_targets.pi3_seconds = %.0f\n", v["pi.two_targets.pages"] * twoPage
        # The slowest GPLEV0 load that still keeps Read dump under 60 s.
        budget = (60 / pages - tR - readFixed) / bytes
        rest = (v["pi.bus.read.stores_per_byte"] * store + ri) * ns
        printf "pi3.read_dump.max_load_ns_for_60s = %.0f\n", (budget - rest) / v["pi.bus.read.loads_per_byte"] / ns
        # read --ecc checks each page as it is read, between page reads.
        if (check == "n/a" || check == "")
            print "read.ecc.bch8.overhead_vs_pi3_percent = n/a"
        else
            printf "read.ecc.bch8.overhead_vs_pi3_percent = %.2f\n", check * 1e-6 * bytes / (2048 + 64) / readPage * 100
    }' <<<"$counts"

# The Pi 5, experimental: the same commands through RP1's registers, whose
# accesses cross PCIe. Published costs, not measured here (override with
# bench/pi_gpio_timing run on a Pi 5):
#   PI5_STORE_NS  25: a store to a SET or CLR alias; a store loop toggles a
#                 pin at 15-20 MHz.
#   PI5_LOAD_NS   320: a load of the input register waits for its round trip.
#   PI5_STORE_LOAD_NS  1100: published for a store followed by a load; every
#                 load of the read loop follows stores, so
#                 pi5.read_dump.seconds_if_loads_wait_1100ns takes it as
#                 the cost of each load, the worst case.
# The loops' own instructions at 2.4 GHz, a few ns a byte, are left out.
grep -E '^rp1\.(read|program)\.(loads|stores)_per_byte' <<<"$counts"
awk -v store="${PI5_STORE_NS:-25}" -v load="${PI5_LOAD_NS:-320}" -v slow="${PI5_STORE_LOAD_NS:-1100}" '
    { v[$1] = $3 }
    # One command of that kind on RP1: its bytes, its fixed accesses, the
    # chip busy time.
    function page(kind, loadNs, busy,    perByte, fixed) {
        perByte = v["rp1." kind ".loads_per_byte"] * loadNs + v["rp1." kind ".stores_per_byte"] * store
        fixed = v["rp1." kind ".fixed_loads"] * loadNs + v["rp1." kind ".fixed_stores"] * store
        return (v["pi.chip.page_bytes"] * perByte + fixed) * 1e-9 + busy
    }
    END {
        tR = 25e-6; tPROG = 200e-6; tBERS = 2e-3
        pages = v["pi.chip.pages"]; blocks = v["pi.chip.blocks"]
        printf "pi5.read.ns_per_byte = %.1f\n", v["rp1.read.loads_per_byte"] * load + v["rp1.read.stores_per_byte"] * store
        printf "pi5.program.ns_per_byte = %.1f\n", v["rp1.program.stores_per_byte"] * store
        printf "pi5.read_dump.seconds = %.1f\n", pages * page("read", load, tR)
        printf "pi5.read_dump.seconds_if_loads_wait_1100ns = %.1f\n", pages * page("read", slow, tR)
        printf "pi5.write.seconds = %.1f\n", pages * page("program", load, tPROG)
        printf "pi5.erase.seconds = %.2f\n", (blocks + 1) * ((v["rp1.erase.fixed_loads"] * load + v["rp1.erase.fixed_stores"] * store) * 1e-9 + tBERS)
    }' <<<"$counts"
