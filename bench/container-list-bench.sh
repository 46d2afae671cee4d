#!/usr/bin/env bash
# Listing a token's containers and reading every certificate's information through libZovevOdu.so, as whole
# processes, against pkcs11-tool -O --login and p11tool --list-all-certs on the same token: 130 certificates with
# their key pairs in 65 containers, on SoftHSM2 and on the virtual token. The runs of the three alternate, so that
# a machine busier at one moment weighs on all of them alike. The library should take at most half pkcs11-tool's
# time. Also prints the library's own phases: container_load_all, and the loop over the certificates.
#   bench/container-list-bench.sh [runs]      (after scripts/setup; BUILD names another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-11}"
[ "$runs" -ge 9 ] || { echo "at least 9 runs" >&2; exit 2; }
build="${BUILD:-$PWD/build}"
bench="$build/bench/container-list-bench"
vtoken="$build/bin/vtoken"
virtual="$build/bin/libvtoken-pkcs11.so"
softhsm=/usr/lib/softhsm/libsofthsm2.so
pin=12345678
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
source bench/common.sh

export VTOKEN_HOME="$work/vtoken"
"$vtoken" create --serial VXBENCH000000002 --user-pin "$pin" --memory 16777216 --plugged >/dev/null
softhsm_token "$work/softhsm" "$pin"

echo "writing 65 containers with two certificates and key pairs each..."
"$bench" "$softhsm" "$pin" --fill 65 >/dev/null
"$bench" "$virtual" "$pin" --fill 65 >/dev/null
# What is timed must read everything: a listing that finds less would look fast.
for module in "$softhsm" "$virtual"; do
    read_back="$("$bench" "$module" "$pin")"
    if [ "$read_back" != "65 containers, 130 certificates read" ]; then
        echo "$module: $read_back" >&2
        exit 1
    fi
done

printf '%-14s %12s %12s %12s %10s %10s %12s %12s\n' module library pkcs11-tool p11tool "/pkcs11" "/p11tool" \
    load_all certificates
for module in "$virtual" "$softhsm"; do
    name=$([ "$module" = "$softhsm" ] && echo SoftHSM2 || echo "virtual token")
    library=() pkcs11tool=() p11tool=() load=() certificates=()
    for _ in $(seq 1 "$runs"); do
        library+=("$(elapsed_ms "$bench" "$module" "$pin")")
        pkcs11tool+=("$(elapsed_ms pkcs11-tool --module "$module" --login --pin "$pin" -O)")
        p11tool+=("$(elapsed_ms p11tool --provider "$module" --list-all-certs --login --set-pin="$pin" "pkcs11:")")
        read -r phase_load phase_certificates < <("$bench" "$module" "$pin" --phases)
        load+=("$phase_load") certificates+=("$phase_certificates")
    done
    l=$(median_of "${library[@]}") a=$(median_of "${pkcs11tool[@]}") b=$(median_of "${p11tool[@]}")
    printf '%-14s %9s ms %9s ms %9s ms %10s %10s %9s ms %9s ms\n' "$name" "$l" "$a" "$b" "$(ratio "$l" "$a")" \
        "$(ratio "$l" "$b")" "$(median_of "${load[@]}")" "$(median_of "${certificates[@]}")"
done
echo "medians of $runs alternating runs; the phases are the library's own, inside its process"
