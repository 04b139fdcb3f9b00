# The soak: the seven jobs of the window clicked 20 times over on the default
# simulated chip, in a Release build of its own: about 7 minutes on the 2-core
# machine, build included (20 s a cycle, the whole chip read, blank-checked,
# written and verified each time). Fails when a cycle did not end clean, or
# when memory keeps growing once the first two cycles have warmed up.
#
# The bounds, from measurement (docs/README.md, "Soak"): with nothing growing,
# RSS grows about 18 kB a cycle and the heap 9 kB, of which the log pane's
# 37 new lines take 8.6 kB; net of the log pane the heap stays within 1 kB.
# A record of every chip operation that the simulated chip once kept cost
# 4,000 kB of RSS and 7,400 kB of heap a cycle, 16 bytes for each of the
# 300,000 operations. A cycle touches 262,144 pages (read, blank check, write,
# verify): the heap bound is one byte per page touched, the RSS bound four,
# both far above the noise of malloc's arenas and the toolkit's caches.
soak_rss_bound_kb=1024
soak_heap_bound_kb=256

soak_status=0
soak_out=$(bash "$FERRIK_ROOT/bench/soak") || soak_status=$?
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
