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
source bench/common.sh

export VTOKEN_HOME="$work/vtoken"
"$vtoken" create --serial VXBENCH000000002 --user-pin "$pin" --memory 16777216 --plugged >/dev/null
softhsm_token "$work/softhsm" "$pin"

echo "writing 65 containers with two certificates and key pairs each..."
"$bench" "$softhsm" "$pin" --fill 65
"$bench" "$virtual" "$pin" --fill 65


for module in "$softhsm" "$virtual"; do
    name=$([ "$module" = "$softhsm" ] && echo SoftHSM2 || echo "virtual token")
    library=$(median "$runs" "$bench" "$module" "$pin")
    p11tool_ms=$(median "$runs" p11tool --provider "$module" --list-all-certs --login --set-pin="$pin" "pkcs11:")
    pkcs11tool_ms=$(median "$runs" pkcs11-tool --module "$module" --login --pin "$pin" -O)
    echo "$name, median of $runs runs: library ${library} ms, p11tool --list-all-certs ${p11tool_ms} ms," \
        "pkcs11-tool -O ${pkcs11tool_ms} ms"
    awk -v l="$library" -v a="$p11tool_ms" -v b="$pkcs11tool_ms" \
        'BEGIN { printf "  library / p11tool %.2f, library / pkcs11-tool %.2f\n", l / a, l / b }'
done
