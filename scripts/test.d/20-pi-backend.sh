# The Raspberry Pi backend built for this machine, only to check its failure
# path: started without rights on /dev/mem it must print its message and exit
# 255 before any window exists. Never run this build as root on a PC: it would
# map physical memory.
# Unoptimised and without debug information: the quickest build to make, and
# the failure path is the same at any level.
pi_build="$FERRIK_ROOT/build-pi-probe"
cmake -S "$FERRIK_ROOT" -B "$pi_build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DFERRIK_TESTS=OFF \
    -DFERRIK_GPIO_BACKEND=pi >/dev/null
cmake --build "$pi_build" --target ferrik -j "$(jobs_count)" >/dev/null

probe_dir=$(mktemp -d)
chmod 755 "$probe_dir"
cp "$pi_build/ferrik" "$probe_dir/ferrik"
chmod 755 "$probe_dir/ferrik"
if [ "$(id -u)" -eq 0 ]; then
    probe_run=(setpriv --reuid=65534 --regid=65534 --clear-groups "$probe_dir/ferrik")
else
    probe_run=("$probe_dir/ferrik")
fi
set +e
probe_out=$(cd "$probe_dir" && env -u DISPLAY -u WAYLAND_DISPLAY "${probe_run[@]}" 2>&1)
probe_status=$?
set -e
rm -rf "$probe_dir"
if [ "$probe_out" = "can't open /dev/mem " ] && [ "$probe_status" -eq 255 ]; then
    echo "Pi backend without /dev/mem: message and status 255, no window: passed"
else
    echo "Pi backend without /dev/mem: expected \"can't open /dev/mem \" and 255, got \"$probe_out\" and $probe_status"
    exit 1
fi
