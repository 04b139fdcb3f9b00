# Shared by the start and test scripts: install what is missing, as root or
# through sudo.
set -euo pipefail

FERRIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_missing PACKAGE... : apt-get install only those not yet installed.
install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# The window styles its fields through GTK itself, in a narrow face that fits
# them (ui/FerrikFrame.cpp).
BUILD_PACKAGES=(cmake make g++ pkgconf libwxgtk3.2-dev libgtk-3-dev fonts-paratype)
TEST_PACKAGES=(libgtest-dev xvfb xauth xfonts-base libx11-dev valgrind)
# libFuzzer comes with clang's runtime libraries, a package of its own.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

jobs_count() { nproc 2>/dev/null || echo 2; }
