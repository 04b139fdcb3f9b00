# Runs after: 50-pi
# The virtual Pi stage: the arm64 Pi build of ferrik-cli on a real kernel.
# Debian 12's own arm64 kernel boots on QEMU's raspi3b machine (a Pi 3 with
# the BCM2835 GPIO block: GPFSEL, GPSET, GPCLR, GPLEV) with its
# bcm2837-rpi-3-b device tree and a busybox initramfs holding ferrik-cli and
# its libraries. Two boots:
#  1. with iomem=relaxed: --help touches no register; ferrik-cli finds the
#     block from /proc/device-tree/soc/ranges and maps it through /dev/mem;
#     while it runs, GPFSEL0-2 hold exactly the functions of the pin table;
#     `check` with the empty socket ends with its faults and status 1, in
#     time; after it, every bus pin is a low output.
#  2. without it: the kernel refuses the mapping, and ferrik-cli says what to
#     do, with status 255.
# The kernel, its device tree and watchdog module and busybox are fetched
# with apt-get download and unpacked under build-virtual-pi/, never
# installed. The machine ends through the watchdog: poweroff does not end
# QEMU's raspi3b, a watchdog reset with -no-reboot does.
# FERRIK_SKIP_PI=1 or FERRIK_SKIP_VIRTUAL_PI=1 leave the stage out.

vpi_dir="$FERRIK_ROOT/build-virtual-pi"

# vpi_fetch: the kernel image, device tree and watchdog module of Debian's
# arm64 kernel package, and busybox, under $vpi_dir/root (once).
vpi_fetch() {
    [ -f "$vpi_dir/root/vmlinuz" ] && return 0
    local kernel
    kernel=$(apt-cache depends linux-image-arm64:arm64 | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
    kernel=${kernel%:arm64}
    [ -n "$kernel" ] || { echo "no kernel package behind linux-image-arm64:arm64"; return 1; }
    rm -rf "$vpi_dir/deb" "$vpi_dir/root"
    mkdir -p "$vpi_dir/deb" "$vpi_dir/root/unpacked"
    (cd "$vpi_dir/deb" && apt-get download -q "$kernel:arm64" busybox-static:arm64 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    dpkg-deb --fsys-tarfile "$vpi_dir"/deb/linux-image-*.deb |
        tar -x -C "$vpi_dir/root/unpacked" --wildcards './boot/vmlinuz-*' '*/broadcom/bcm2837-rpi-3-b.dtb' \
            '*/bcm2835_wdt.ko*'
    dpkg-deb -x "$vpi_dir"/deb/busybox-static_*.deb "$vpi_dir/root/unpacked"
    local u="$vpi_dir/root/unpacked"
    cp "$u"/boot/vmlinuz-* "$vpi_dir/root/vmlinuz.part"
    find "$u" -name bcm2837-rpi-3-b.dtb -exec cp {} "$vpi_dir/root/pi3.dtb" \;
    [ -f "$vpi_dir/root/pi3.dtb" ] || { echo "the kernel package has no bcm2837-rpi-3-b.dtb"; return 1; }
    local wdt
    wdt=$(find "$u" -name 'bcm2835_wdt.ko*' | head -n 1)
    case $wdt in
        *.xz) xz -dc "$wdt" >"$vpi_dir/root/bcm2835_wdt.ko" ;;
        *) cp "$wdt" "$vpi_dir/root/bcm2835_wdt.ko" ;;
    esac
    cp "$u/bin/busybox" "$vpi_dir/root/busybox"
    rm -rf "$u" "$vpi_dir/deb"
    mv "$vpi_dir/root/vmlinuz.part" "$vpi_dir/root/vmlinuz"
}

# vpi_initramfs CLI: the initramfs with busybox, the watchdog module, CLI
# and the libraries it needs, and the guest's script.
vpi_initramfs() {
    local cli=$1 ir="$vpi_dir/initramfs"
    rm -rf "$ir"
    mkdir -p "$ir"/{bin,lib,proc,sys,dev,tmp}
    cp "$vpi_dir/root/busybox" "$ir/bin/"
    cp "$vpi_dir/root/bcm2835_wdt.ko" "$ir/lib/"
    cp "$cli" "$ir/bin/ferrik-cli"
    # The libraries it needs, and theirs, from the cross toolchain's.
    local wanted=(ld-linux-aarch64.so.1) lib
    vpi_needed() { aarch64-linux-gnu-readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
    mapfile -t -O 1 wanted < <(vpi_needed "$cli")
    wanted[0]=ld-linux-aarch64.so.1
    while [ "${#wanted[@]}" -gt 0 ]; do
        lib=${wanted[0]}
        wanted=("${wanted[@]:1}")
        [ -e "$ir/lib/$lib" ] && continue
        cp -L "$(aarch64-linux-gnu-gcc -print-file-name="$lib")" "$ir/lib/$lib"
        mapfile -t -O "${#wanted[@]}" wanted < <(vpi_needed "$ir/lib/$lib")
    done
    cat >"$ir/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
insmod /lib/bcm2835_wdt.ko
fsel() { echo "$(devmem 0x3F200000 32) $(devmem 0x3F200004 32) $(devmem 0x3F200008 32)"; }
echo "VPI ranges $(hexdump -v -e '1/1 "%02x"' /proc/device-tree/soc/ranges)"
cd /tmp
before=$(fsel)
ferrik-cli --help >/dev/null 2>&1
echo "VPI help $? $before / $(fsel)"
# Frozen in the middle of its work, ferrik-cli shows the pins as start-up
# left them: the first command's wait for R/B# lasts most of a second here.
# Where the kernel refuses the mapping it ends at once and the pins never
# change: the sampling ends with it, not after its 200 tries.
ferrik-cli check >check.out 2>&1 &
pid=$!
tries=0
while [ "$(fsel)" = "$before" ] && [ $tries -lt 200 ] && kill -0 $pid 2>/dev/null; do tries=$((tries + 1)); done
sleep 0.2
kill -STOP $pid
echo "VPI running $(fsel)"
kill -CONT $pid
timeout 120 sh -c "while kill -0 $pid 2>/dev/null; do sleep 0.1; done"
wait $pid
status=$?
sed 's/^/VPI out /' check.out
echo "VPI check $status"
echo "VPI parked $(fsel) $(devmem 0x3F200034 32)"
echo "VPI end"
reboot -f
EOF
    chmod 755 "$ir/init"
    (cd "$ir" && find . | cpio -o -H newc --quiet | gzip -1) >"$vpi_dir/initramfs.cpio.gz"
}

# vpi_boot APPEND: boots the machine with that kernel command line (added
# to the console's), prints the guest's VPI lines.
vpi_boot() {
    timeout 300 qemu-system-aarch64 -M raspi3b -kernel "$vpi_dir/root/vmlinuz" -dtb "$vpi_dir/root/pi3.dtb" \
        -initrd "$vpi_dir/initramfs.cpio.gz" -append "console=ttyAMA0 rdinit=/init maxcpus=1 quiet $1" \
        -nographic -serial stdio -monitor none -no-reboot </dev/null 2>&1 | tr -d '\r' | sed -n 's/^VPI //p'
}

# The BCM2835 function fields of GPIO 2-27 with the bus started: every pin
# of the pin table an output, R/B# (GPIO 10) an input; the fields of GPIO 0,
# 1, 28 and 29 are left as they were. Parked, R/B# is an output too.
vpi_expect() {
    local before0=$1 before2=$2 rb_field=$3
    printf '0x%08X 0x%08X 0x%08X' $(((before0 & 0x3F) | 0x09249240)) $((0x09249248 | rb_field)) \
        $(((before2 & 0x3F000000) | 0x00249249))
}

vpi_fail() {
    echo "virtual Pi: $1"
    echo "$2" | sed 's/^/  guest: /'
    exit 1
}

vpi_stage() {
    local started=$SECONDS
    install_missing qemu-system-arm cpio
    vpi_fetch
    local build="$FERRIK_ROOT/build-arm64-pi"
    cmake -S "$FERRIK_ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$FERRIK_ROOT/cmake/arm64-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DFERRIK_GPIO_BACKEND=pi -DFERRIK_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
    cmake --build "$build" --target ferrik-cli -j 2 >/dev/null
    vpi_initramfs "$build/cli/ferrik-cli"

    echo "-- kernel, busybox and ferrik-cli ready after $((SECONDS - started)) s"
    # The two boots side by side, one emulated core each.
    local t=$SECONDS out
    vpi_boot "iomem=relaxed" >"$vpi_dir/relaxed.out" &
    local relaxed=$!
    vpi_boot "" >"$vpi_dir/strict.out"
    wait "$relaxed"
    echo "-- both boots took $((SECONDS - t)) s"
    out=$(cat "$vpi_dir/relaxed.out")
    grep -qx end <<<"$out" || vpi_fail "the first boot did not reach its end" "$out"
    grep -qx 'ranges 7e0000003f000000010000004000000040000000000010.*' <<<"$out" ||
        vpi_fail "soc/ranges is not the Pi 3's (peripherals at 0x3F000000)" "$out"
    local status b0 b1 b2 a0 a1 a2
    read -r _ status b0 b1 b2 _ a0 a1 a2 <<<"$(grep '^help ' <<<"$out")"
    [ "$status" = 0 ] && [ "$b0 $b1 $b2" = "$a0 $a1 $a2" ] || vpi_fail "--help failed or changed a register" "$out"
    local running parked
    running=$(sed -n 's/^running //p' <<<"$out")
    [ "$running" = "$(vpi_expect "$b0" "$b2" 0)" ] ||
        vpi_fail "GPFSEL0-2 while ferrik-cli runs: $running, expected $(vpi_expect "$b0" "$b2" 0)" "$out"
    parked=$(sed -n 's/^parked //p' <<<"$out")
    [ "${parked% *}" = "$(vpi_expect "$b0" "$b2" 1)" ] ||
        vpi_fail "GPFSEL0-2 after park: ${parked% *}, expected $(vpi_expect "$b0" "$b2" 1)" "$out"
    (( ${parked##* } & 0x0FFFFFFC )) && vpi_fail "a bus pin is high after park: GPLEV0 ${parked##* }" "$out"
    grep -qx 'check 1' <<<"$out" || vpi_fail "check with an empty socket did not end with status 1" "$out"
    grep -q '^out Wiring check: [0-5] of 6 checks passed$' <<<"$out" ||
        vpi_fail "check with an empty socket did not report its faults" "$out"
    echo "virtual Pi, iomem=relaxed: base from soc/ranges, --help touches nothing, GPFSEL0-2 as the pin table" \
        "while it runs, check ends with status 1, every bus pin a low output after park: passed"
    grep '^out ' <<<"$out" | sed 's/^out /  /'

    out=$(cat "$vpi_dir/strict.out")
    grep -qx end <<<"$out" || vpi_fail "the second boot did not reach its end" "$out"
    grep -qx 'check 255' <<<"$out" && grep -q "^out can't map the GPIO block through /dev/mem: the kernel protects it" <<<"$out" ||
        vpi_fail "without iomem=relaxed: expected the protected-block line and status 255" "$out"
    echo "virtual Pi, strict /dev/mem: the kernel protects the block, said in one line, status 255: passed"
    echo "-- virtual Pi stage took $((SECONDS - started)) s"
}

if [ "${FERRIK_SKIP_PI:-0}" != 1 ] && [ "${FERRIK_SKIP_VIRTUAL_PI:-0}" != 1 ]; then
    vpi_stage
fi
