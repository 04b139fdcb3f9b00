# The Pi builds of ferrik for 32-bit (armhf) and 64-bit (arm64) Raspberry Pi
# OS, each packaged as a .deb with the README's own commands, the package
# checked, the byte loops checked in the machine code and the failure path
# without /dev/mem run. The Pi build is the /dev/gpiomem or /dev/mem backend;
# the package checks include lintian and desktop-file-validate; the loops are
# the page read's and the program's; the failure path runs the programs under
# user-mode emulation.
# The simulated builds' tests under emulation are the stage 52-pi-emulated,
# beside this one. Set FERRIK_SKIP_PI=1 to leave both out.
source "$FERRIK_ROOT/scripts/pi-lib.sh"

# pi_readme_commands ARCH: the commands that make a package, as the README
# gives them under "### The package" (for arm64; the word changed for
# armhf), so that what a user types is what is tested.
pi_readme_commands() {
    awk '/^### The package/ { part = 1 } part && /^```sh/ { block = 1; next } block && /^```/ { exit } block' \
        "$FERRIK_ROOT/README.md" | sed -e 's/ *#.*$//' -e "s/arm64/$1/g"
}

# pi_build ARCH: the Pi build and its package, made with the README's
# commands as they stand, and their checks.
pi_build() {
    local arch=$1
    local dir="$FERRIK_ROOT/build-$arch-pi" commands log
    echo "-- $arch: Pi build and package with the README's commands, checks"
    commands=$(pi_readme_commands "$arch")
    if [ "$(grep -c "^cmake .*build-$arch-pi" <<<"$commands")" -lt 2 ]; then
        echo "-- README.md gives no package commands under \"### The package\""
        return 1
    fi
    rm -f "$dir"/ferrik_*_"$arch".deb
    log=$(mktemp)
    # Both cores, without a -j in the commands a user copies.
    if ! (cd "$FERRIK_ROOT" && CMAKE_BUILD_PARALLEL_LEVEL=2 bash -euo pipefail -c "$commands") >"$log" 2>&1; then
        tail -n 40 "$log"
        rm -f "$log"
        echo "-- $arch: the README's package commands failed:"
        printf '   %s\n' "$commands"
        return 1
    fi
    rm -f "$log"
    "$FERRIK_ROOT/scripts/check-pi-package" "$dir"/ferrik_*_"$arch".deb "$FERRIK_ROOT"
    "$FERRIK_ROOT/scripts/check-arm-loops" "$dir/ferrik"
    pi_failure_path "$arch"
}

# pi_failure_path ARCH: the package's own programs, started under user-mode
# emulation as a user without rights on /dev/mem (nobody, when this runs as
# root): ferrik must print its message and exit 255 before any window
# exists; ferrik-cli answers --help and a usage error without opening
# /dev/mem at all, and a command that needs the chip ends as the window
# does. This machine has no /dev/gpiomem and no device tree, as a Pi
# without Raspberry Pi OS's kernel has neither the first nor, to an
# unprivileged user, /dev/mem.
pi_failure_path() {
    local arch=$1 emulator=(qemu-arm -L / -cpu cortex-a7) probe_dir as_nobody=()
    [ "$arch" = arm64 ] && emulator=(qemu-aarch64 -L / -cpu cortex-a53)
    [ "$(id -u)" -eq 0 ] && as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    probe_dir=$(mktemp -d)
    chmod 755 "$probe_dir"
    cp "$FERRIK_ROOT/build-$arch-pi/ferrik" "$FERRIK_ROOT/build-$arch-pi/cli/ferrik-cli" "$probe_dir/"
    chmod 755 "$probe_dir/ferrik" "$probe_dir/ferrik-cli"
    # pi_probe STATUS WORDS PROGRAM ARGS...: fails unless PROGRAM ends with
    # STATUS and prints WORDS (with = first: exactly WORDS).
    pi_probe() {
        local want_status=$1 want_out=$2 program=$3 out status
        shift 3
        set +e
        out=$(cd "$probe_dir" && env -u DISPLAY -u WAYLAND_DISPLAY "${as_nobody[@]}" "${emulator[@]}" \
            "$probe_dir/$program" "$@" 2>&1)
        status=$?
        set -e
        if [ "$status" -ne "$want_status" ] || { [ "${want_out:0:1}" = = ] && [ "$out" != "${want_out:1}" ]; } ||
            [[ "$out" != *"${want_out#=}"* ]]; then
            echo "$arch Pi build, $program $*: expected status $want_status and \"${want_out#=}\", got $status and \"$out\""
            return 1
        fi
    }
    local status=0
    pi_probe 255 "=can't open /dev/mem " ferrik || status=1
    pi_probe 0 "Exit status:" ferrik-cli --help || status=1
    pi_probe 0 "Usage: ferrik-cli read FILE" ferrik-cli read --help || status=1
    pi_probe 2 "read needs FILE" ferrik-cli read || status=1
    pi_probe 255 "can't open /dev/mem " ferrik-cli read x.bin --page 2048 --spare 64 --row-max 65535 || status=1
    rm -rf "$probe_dir"
    [ "$status" = 0 ] || return 1
    echo "$arch Pi build without /dev/mem: ferrik says so and ends with 255 before any window;" \
        "ferrik-cli answers help and usage errors without it, and a chip job ends with 255: passed"
}

pi_stage() {
    local started=$SECONDS
    pi_cpu_now
    local cpu_started=$pi_cpu
    # lintian and desktop-file-validate judge the packages as Debian would.
    pi_install lintian desktop-file-utils qemu-user crossbuild-essential-armhf libwxgtk3.2-dev:armhf \
        crossbuild-essential-arm64 libwxgtk3.2-dev:arm64
    side_by_side armhf pi_build armhf -- arm64 pi_build arm64
    pi_took "Pi builds, packages and their checks" "$started" "$cpu_started"
}

if [ "${FERRIK_SKIP_PI:-${FERRIK_SKIP_ARMHF:-0}}" != 1 ]; then
    pi_stage
fi
