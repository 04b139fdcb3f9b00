# Runs after: 10-build
# The soak, short: the seven jobs of the window clicked 30 times over on the
# small simulated chip (SIM-TINY, 128 pages), with the soak program of the
# shared build; about 20 s. Fails when a cycle did not end clean, or when
# memory keeps growing once the first two cycles have warmed up. The full
# soak, 20 cycles over the whole default chip, is part of bench/run.
#
# The bounds, from measurement: on this chip, with nothing growing, RSS grows
# 23 to 31 kB a cycle and the heap, net of the log pane's 37 new lines, 1.6 to
# 6 kB (2 to 3 kB over 60 cycles). A cycle touches only 512 pages here, so
# these bounds are for what the jobs keep whatever the chip: about 10 kB a
# cycle beyond the noise, such as a dialog never destroyed (tens of kB) or
# files left open by the jobs (4.5 kB each). A single small leak, and growth
# with every page, are for the full soak in bench/run.
soak_rss_bound_kb=256
soak_heap_bound_kb=12

soak_status=0
soak_out=$(bash "$FERRIK_ROOT/bench/soak" --build "$FERRIK_TEST_BUILD" --chip SIM-TINY --cycles 30) || soak_status=$?
printf '%s\n' "$soak_out"
soak_figure() { printf '%s\n' "$soak_out" | awk -v n="$1" '$1 == n { print $3 }'; }
soak_failures=$(soak_figure soak.failures)
soak_rss=$(soak_figure soak.rss_growth_kb_per_cycle)
soak_heap=$(soak_figure soak.heap_growth_net_of_log_kb_per_cycle)
if [ "$soak_status" != 0 ] || [ "$soak_failures" != 0 ]; then
    echo "60-soak: the soak failed (status $soak_status, ${soak_failures:-no} failed cycles)" >&2
    false
fi
if ! awk -v v="$soak_rss" -v b="$soak_rss_bound_kb" 'BEGIN { exit !(v != "" && v <= b) }'; then
    echo "60-soak: RSS grows $soak_rss kB a cycle after warm-up (bound $soak_rss_bound_kb)" >&2
    false
fi
if ! awk -v v="$soak_heap" -v b="$soak_heap_bound_kb" 'BEGIN { exit !(v != "" && v <= b) }'; then
    echo "60-soak: the heap grows $soak_heap kB a cycle beyond the log pane's share (bound $soak_heap_bound_kb)" >&2
    false
fi
