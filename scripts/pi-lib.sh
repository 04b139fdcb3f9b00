# What the two Pi stages share (sourced by scripts/test.d/50-pi.sh and
# 52-pi-emulated.sh): the target architectures and their packages, and the
# CPU time their steps take.

# pi_install PACKAGE...: the armhf and arm64 architectures added to dpkg's
# (once), then the packages, installed when missing.
pi_install() {
    local arch
    for arch in armhf arm64; do
        if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            as_root dpkg --add-architecture "$arch"
            as_root apt-get update -qq
        fi
    done
    install_missing "$@"
}

# pi_took WHAT SINCE CPU_SINCE: prints "-- WHAT took N s, M CPU-s" since then.
# The CPU seconds of the finished children do not grow when other work shares
# the cores, so they show what the stage costs on a busy machine too. Both
# functions run in this shell, never in $(...): a subshell's counts start at 0.
pi_cpu=0
pi_cpu_now() {
    local f
    f=$(mktemp)
    times >"$f"
    pi_cpu=$(awk 'NR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); t += p[1] * 60 + p[2] }; printf "%d", t }' "$f")
    rm -f "$f"
}
pi_took() {
    pi_cpu_now
    echo "-- $1 took $((SECONDS - $2)) s, $((pi_cpu - $3)) CPU-s"
}

