# The Pi builds of ferrik for 32-bit (armhf) and 64-bit (arm64) Raspberry Pi
# OS, each packaged as a .deb with the README's own commands, the package
# checked and the byte loops checked in the machine code. The Pi build is the
# /dev/gpiomem or /dev/mem backend; the package checks include lintian and
# desktop-file-validate; the loops are the page read's and the program's.
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
}

pi_stage() {
    local started=$SECONDS
    pi_cpu_now
    local cpu_started=$pi_cpu
    # lintian and desktop-file-validate judge the packages as Debian would.
    pi_install lintian desktop-file-utils crossbuild-essential-armhf libwxgtk3.2-dev:armhf \
        crossbuild-essential-arm64 libwxgtk3.2-dev:arm64
    pi_side_by_side armhf pi_build armhf -- arm64 pi_build arm64
    pi_took "Pi builds, packages and loop checks" "$started" "$cpu_started"
}

if [ "${FERRIK_SKIP_PI:-${FERRIK_SKIP_ARMHF:-0}}" != 1 ]; then
    pi_stage
fi
