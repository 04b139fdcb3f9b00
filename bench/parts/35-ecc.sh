#!/usr/bin/env bash
# The ECC of image ecc on dumps (bench/ecc_bench): image.ecc.hamming.check_mb_per_s
# and image.ecc.bch8.check_mb_per_s, megabytes (10^6 bytes, spare areas
# included) of clean 2048 + 64 pages checked a second on one core, and
# image.ecc.bch8.correct_ms_per_step, the milliseconds to find and mend
# 8 flipped bits in one 512-byte step; read.ecc.bch8.check_us_per_page, the
# CPU time of read --ecc's check of one clean page (60-pi.sh sets it against
# a Pi 3's read of the page).
set -euo pipefail
bin="$FERRIK_BENCH_BUILD/bench/ecc_bench"
if [ ! -x "$bin" ]; then
    echo "35-ecc: $bin is missing" >&2
    for n in image.ecc.hamming.check_mb_per_s image.ecc.bch8.check_mb_per_s image.ecc.bch8.correct_ms_per_step \
        read.ecc.bch8.check_us_per_page; do
        echo "$n = n/a"
    done
    exit 0
fi
"$bin"
