#!/usr/bin/env bash
# The virtual token's module inside a host that configures OpenSSL for itself: the openssl command with the PKCS#11
# engine set as the default for every method signs with the token's RSA and EC keys, and openssl verifies.
#   openssl-engine-test.sh VTOKEN MODULE
set -euo pipefail
vtoken="$1"
module="$2"
engine="$(openssl version -e | sed -E 's/.*"(.*)"/\1/')/pkcs11.so"
[ -f "$engine" ] || { echo "the PKCS#11 engine (libengine-pkcs11-openssl) is not installed"; exit 77; }
command -v pkcs11-tool >/dev/null || { echo "pkcs11-tool is not installed"; exit 77; }

# A module built with AddressSanitizer needs its runtime loaded first in a client that was built without it.
runtime="$(ldd "$module" | awk '/libasan|libubsan/ { printf "%s ", $3 }')"
if [ -n "$runtime" ]; then
    export LD_PRELOAD="$runtime"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" # the clients' own leaks are not ours
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VTOKEN_HOME="$work/store" PKCS11_MODULE_PATH="$module"
cd "$work"
printf '12345678\n' | "$vtoken" create --demo --user-pin - --plugged >/dev/null
printf 'thirty-two bytes of a digest....' >digest.bin

# The signature pair of the first container, and the EC pair of the second, by their CKA_IDs.
id() { pkcs11-tool --module "$module" -O 2>/dev/null | awk -v want="$1" '
    /^Public Key Object/ { kind = $0 } /ID:/ { id = $2 } /Usage:/ && kind ~ want && $0 ~ /verify/ { print id; exit }'; }
for kind in RSA EC; do
    key="$(id "$kind")"
    [ -n "$key" ] || { echo "FAIL: no $kind signature key"; exit 1; }
    uri="pkcs11:id=$(sed -E 's/(..)/%\1/g' <<<"$key");pin-value=12345678"
    # The public key from the pair's certificate: pkcs11-tool's own export of an EC public key reads freed memory.
    pkcs11-tool --module "$module" --read-object --type cert --id "$key" -o "$kind.cer" >/dev/null 2>&1
    openssl x509 -inform DER -in "$kind.cer" -pubkey -noout >"$kind.pem"
    openssl pkeyutl -engine pkcs11 -keyform engine -sign -inkey "$uri;type=private" -in digest.bin \
        -out "$kind.sig" >/dev/null 2>"$kind.err" || { echo "FAIL: $kind signing"; cat "$kind.err"; exit 1; }
    openssl pkeyutl -verify -pubin -inkey "$kind.pem" -in digest.bin -sigfile "$kind.sig" >/dev/null ||
        { echo "FAIL: the $kind signature does not verify"; exit 1; }
done
echo "openssl with the PKCS#11 engine signed with both keys"
