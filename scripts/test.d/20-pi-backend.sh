# The Raspberry Pi backend built for this machine, only to check its failure
# path: started without rights on /dev/mem it must print its message and exit
# 255 before any window exists; ferrik-cli answers --help and a usage error
# without opening /dev/mem at all, and a command that needs the chip ends as
# the window does. Never run this build as root on a PC: it would map physical
# memory.
# Unoptimised and without debug information: the quickest build to make, and
# the failure path is the same at any level.
pi_build="$FERRIK_ROOT/build-pi-probe"
cmake -S "$FERRIK_ROOT" -B "$pi_build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DFERRIK_TESTS=OFF \
    -DFERRIK_GPIO_BACKEND=pi >/dev/null
cmake --build "$pi_build" --target ferrik ferrik-cli -j "$(jobs_count)" >/dev/null

probe_dir=$(mktemp -d)
chmod 755 "$probe_dir"
cp "$pi_build/ferrik" "$pi_build/cli/ferrik-cli" "$probe_dir/"
chmod 755 "$probe_dir/ferrik" "$probe_dir/ferrik-cli"
if [ "$(id -u)" -eq 0 ]; then
    as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    as_nobody=()
fi
probe_run=("${as_nobody[@]}" "$probe_dir/ferrik")
set +e
probe_out=$(cd "$probe_dir" && env -u DISPLAY -u WAYLAND_DISPLAY "${probe_run[@]}" 2>&1)
probe_status=$?
set -e
if [ "$probe_out" = "can't open /dev/mem " ] && [ "$probe_status" -eq 255 ]; then
    echo "Pi backend without /dev/mem: message and status 255, no window: passed"
else
    echo "Pi backend without /dev/mem: expected \"can't open /dev/mem \" and 255, got \"$probe_out\" and $probe_status"
    rm -rf "$probe_dir"
    exit 1
fi

# ferrik-cli: help and usage errors without /dev/mem; a command that needs the
# chip gets as far as the window does.
cli_probe() {
    local want_status=$1 want_out=$2
    shift 2
    set +e
    local out
    out=$(cd "$probe_dir" && env -u DISPLAY -u WAYLAND_DISPLAY "${as_nobody[@]}" "$probe_dir/ferrik-cli" "$@" 2>&1)
    local status=$?
    set -e
    if [ "$status" -ne "$want_status" ] || [[ "$out" != *"$want_out"* ]]; then
        echo "Pi backend ferrik-cli $*: expected status $want_status and \"$want_out\", got $status and \"$out\""
        rm -rf "$probe_dir"
        exit 1
    fi
}
cli_probe 0 "Exit status:" --help
cli_probe 0 "Usage: ferrik-cli read FILE" read --help
cli_probe 2 "read needs FILE" read
cli_probe 255 "can't open /dev/mem " read x.bin --page 2048 --spare 64 --row-max 65535
rm -rf "$probe_dir"
echo "Pi backend ferrik-cli: help and usage errors without /dev/mem, status 255 without it for a chip job: passed"
