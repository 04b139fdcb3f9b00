# The chip file reader and the fields' parse rule under libFuzzer: every saved
# crash once, then half a minute per target from a copy of the corpus, so
# that the repository's corpus stays as committed, the two targets side by
# side. Any crash, leak or UB fails the run.
install_missing "${FUZZ_PACKAGES[@]}"
fuzz_build="$FERRIK_ROOT/build-fuzz"
cmake -S "$FERRIK_ROOT/tests/fuzz" -B "$fuzz_build" -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$fuzz_build" -j "$(jobs_count)" >/dev/null

fuzz_work=$(mktemp -d)
# run_fuzz TARGET LOG ARGS... : the target with ARGS; on failure its log's
# end and where its crashing input went.
run_fuzz() {
    local target=$1 log=$2
    shift 2
    if ! "$fuzz_build/fuzz_$target" -artifact_prefix="$fuzz_work/$target/" "$@" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$target failed; its input is in $fuzz_work/$target/"
        exit 1
    fi
}
# fuzz_target TARGET : its saved crashes, then its half minute from the
# corpus: a quick look around what the corpus reaches. The long search for
# new faults is bench/fuzz's, ten minutes a target.
fuzz_target() {
    local target=$1
    mkdir -p "$fuzz_work/$target/corpus"
    local regressions=("$FERRIK_ROOT/tests/fuzz/regressions/$target"/*)
    [ -e "${regressions[0]}" ] || regressions=()
    if [ "${#regressions[@]}" -gt 0 ]; then
        run_fuzz "$target" "$fuzz_work/$target/regressions.log" -timeout=10 "${regressions[@]}"
    fi
    cp "$FERRIK_ROOT/tests/fuzz/corpus/$target"/* "$fuzz_work/$target/corpus/"
    run_fuzz "$target" "$fuzz_work/$target/fuzz.log" -max_total_time=30 -timeout=10 "$fuzz_work/$target/corpus"
    echo "fuzz_$target: ${#regressions[@]} saved crashes passed; $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$fuzz_work/$target/fuzz.log")"
}
# Each target is one process on one core: the two run side by side.
fuzz_pids=()
for target in chip_file field_parse; do
    fuzz_target "$target" >"$fuzz_work/$target.out" 2>&1 &
    fuzz_pids+=($!)
done
fuzz_status=0
for pid in "${fuzz_pids[@]}"; do
    wait "$pid" || fuzz_status=1
done
cat "$fuzz_work"/*.out
[ "$fuzz_status" = 0 ] || exit 1
rm -rf "$fuzz_work"
