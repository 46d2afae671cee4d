#!/usr/bin/env bash
# Listing a token's containers and reading every certificate's information through libZovevOdu.so, as whole
# processes, against p11tool --list-all-certs and pkcs11-tool -O on the same token: 130 certificates with their
# key pairs in 65 containers, on SoftHSM2 and on the virtual token. The library should take at most half their time.
#   bench/container-list-bench.sh [runs]      (after scripts/setup)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-11}"
bench="$PWD/build/bench/container-list-bench"
vtoken="$PWD/build/bin/vtoken"
virtual="$PWD/build/bin/libvtoken-pkcs11.so"
softhsm=/usr/lib/softhsm/libsofthsm2.so
pin=12345678
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

export VTOKEN_HOME="$work/vtoken"
"$vtoken" create --serial VXBENCH000000002 --user-pin "$pin" --memory 16777216 --plugged >/dev/null
export SOFTHSM2_CONF="$work/softhsm2.conf"
mkdir -p "$work/softhsm"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/softhsm" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label bench --pin "$pin" --so-pin 87654321 >/dev/null

echo "writing 65 containers with two certificates and key pairs each..."
"$bench" "$softhsm" "$pin" --fill 65
"$bench" "$virtual" "$pin" --fill 65

median() { # median of the run times of a command, in milliseconds
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

for module in "$softhsm" "$virtual"; do
    name=$([ "$module" = "$softhsm" ] && echo SoftHSM2 || echo "virtual token")
    library=$(median "$bench" "$module" "$pin")
    p11tool_ms=$(median p11tool --provider "$module" --list-all-certs --login --set-pin="$pin" "pkcs11:")
    pkcs11tool_ms=$(median pkcs11-tool --module "$module" --login --pin "$pin" -O)
    echo "$name, median of $runs runs: library ${library} ms, p11tool --list-all-certs ${p11tool_ms} ms," \
        "pkcs11-tool -O ${pkcs11tool_ms} ms"
    awk -v l="$library" -v a="$p11tool_ms" -v b="$pkcs11tool_ms" \
        'BEGIN { printf "  library / p11tool %.2f, library / pkcs11-tool %.2f\n", l / a, l / b }'
done
