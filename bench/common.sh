# Shared by the benchmark scripts: sourced, not run.

# median RUNS COMMAND...: the median wall time of the command over RUNS runs, in milliseconds.
median() {
    local runs="$1"; shift
    local times=()
    for _ in $(seq 1 "$runs"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

# softhsm_token FOLDER PIN: a fresh SoftHSM2 token in FOLDER, labelled "bench"; exports SOFTHSM2_CONF.
softhsm_token() {
    export SOFTHSM2_CONF="$1/softhsm2.conf"
    mkdir -p "$1/tokens"
    printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$1/tokens" >"$SOFTHSM2_CONF"
    softhsm2-util --init-token --free --label bench --pin "$2" --so-pin 87654321 >/dev/null
}
