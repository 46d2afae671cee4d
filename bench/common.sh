# Shared by the benchmark scripts: sourced, not run.

# elapsed_ms COMMAND...: the wall time of one run of the command, in milliseconds; its output is dropped. A command
# that fails is no measurement: the bench stops.
elapsed_ms() {
    local start end
    start=$(date +%s%N)
    if ! "$@" >/dev/null 2>&1; then
        echo "failed: $*" >&2
        return 1
    fi
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

# median_of N...: the median of the numbers given.
median_of() {
    printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"
}

# ratio A B: A / B with two decimals.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

# softhsm_token FOLDER PIN: a fresh SoftHSM2 token in FOLDER, labelled "bench"; exports SOFTHSM2_CONF.
softhsm_token() {
    export SOFTHSM2_CONF="$1/softhsm2.conf"
    mkdir -p "$1/tokens"
    printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$1/tokens" >"$SOFTHSM2_CONF"
    softhsm2-util --init-token --free --label bench --pin "$2" --so-pin 87654321 >/dev/null
}
