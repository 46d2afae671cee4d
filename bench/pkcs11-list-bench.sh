#!/usr/bin/env bash
# `pkcs11-tool -O` (log in, list every object) on a token holding 130 certificates with their key pairs, on the
# virtual token and on SoftHSM2 with the same content, as whole processes, their runs alternating. Prints the
# medians and their ratio; the virtual token should take at most half SoftHSM2's time.
#   bench/pkcs11-list-bench.sh [runs]      (after scripts/setup; BUILD names another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-15}"
[ "$runs" -ge 9 ] || { echo "at least 9 runs" >&2; exit 2; }
build="${BUILD:-$PWD/build}"
vtoken="$build/bin/vtoken"
module="$build/bin/libvtoken-pkcs11.so"
softhsm=/usr/lib/softhsm/libsofthsm2.so
pin=12345678
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
source bench/common.sh

export VTOKEN_HOME="$work/vtoken"
"$vtoken" create --serial VXBENCH000000001 --user-pin "$pin" --memory 16777216 --plugged >/dev/null

softhsm_token "$work/softhsm" "$pin"

echo "writing 130 certificates with their key pairs to both tokens..."
for i in $(seq 1 130); do
    id=$(printf '%04x' "$i")
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
        -subj "/CN=Bench user $i/O=Bank" -days 365 2>/dev/null
    openssl x509 -in "$work/cert.pem" -outform der -out "$work/cert.der"
    openssl pkey -in "$work/key.pem" -outform der -out "$work/key.der"
    openssl pkey -in "$work/key.pem" -pubout -outform der -out "$work/pub.der"
    for target in "$module" "$softhsm"; do
        for kind in cert:cert.der privkey:key.der pubkey:pub.der; do
            pkcs11-tool --module "$target" --login --pin "$pin" --write-object "$work/${kind#*:}" \
                --type "${kind%%:*}" --id "$id" --label "container $i" >/dev/null 2>&1
        done
    done
done


count() { pkcs11-tool --module "$1" --login --pin "$pin" -O 2>/dev/null | grep -c 'Object;'; }
echo "objects listed: virtual token $(count "$module"), SoftHSM2 $(count "$softhsm")"
virtual=() reference=()
for _ in $(seq 1 "$runs"); do
    virtual+=("$(elapsed_ms pkcs11-tool --module "$module" --login --pin "$pin" -O)")
    reference+=("$(elapsed_ms pkcs11-tool --module "$softhsm" --login --pin "$pin" -O)")
done
v=$(median_of "${virtual[@]}") r=$(median_of "${reference[@]}")
echo "pkcs11-tool -O --login, median of $runs alternating runs: virtual token $v ms, SoftHSM2 $r ms"
echo "ratio virtual/SoftHSM2: $(ratio "$v" "$r")"
