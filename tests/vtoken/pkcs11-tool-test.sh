#!/usr/bin/env bash
# The virtual token driven by OpenSC's pkcs11-tool, a client we did not write: slots, token and objects, a PIN
# locked by wrong tries and unblocked with the SO PIN, a PIN change, a token initialization, a certificate and
# keys written, and signatures that openssl verifies.
#   pkcs11-tool-test.sh VTOKEN MODULE
set -euo pipefail
vtoken="$1"
module="$2"
command -v pkcs11-tool >/dev/null || { echo "pkcs11-tool is not installed"; exit 77; }

# A module built with AddressSanitizer needs its runtime loaded first in a client that was built without it.
runtime="$(ldd "$module" | awk '/libasan|libubsan/ { printf "%s ", $3 }')"
if [ -n "$runtime" ]; then
    export LD_PRELOAD="$runtime"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" # pkcs11-tool's own leaks are not ours
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VTOKEN_HOME="$work/store"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
p11() { pkcs11-tool --module "$module" "$@" 2>&1; }
expect() { # expect TEXT COMMAND...: the command's output must hold TEXT
    local text="$1"; shift
    local output
    output="$("$@")" || true
    grep -qF -- "$text" <<<"$output" || fail "expected \"$text\" from: $*"$'\n'"$output"
}
show() { "$vtoken" show VXTEST0000000001; }

printf '12345678\n87654321\n' | "$vtoken" create --serial VXTEST0000000001 --label "Test token" --user-pin - \
    --so-pin - --user-retries 3 --so-retries 5 --plugged >/dev/null
"$vtoken" create --serial VXTEST0000000002 --label "Unplugged" >/dev/null

echo "-- slots and token"
expect "VXTEST0000000001" p11 --list-slots
expect "token label        : Test token" p11 --list-token-slots
expect "PIN initialized" p11 --list-token-slots
[ "$(p11 --list-token-slots | grep -c 'Slot ')" = 1 ] || fail "only the plugged token has a token present"
[ "$(p11 --list-slots | grep -c 'Slot ')" = 2 ] || fail "every token has a slot"

echo "-- certificate and keys written, read back"
openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.pem -out rsa-cert.pem -subj "/CN=Zhang San/O=Bank" \
    -days 30 2>/dev/null
openssl x509 -in rsa-cert.pem -outform der -out rsa-cert.der
openssl pkey -in rsa.pem -outform der -out rsa.der
openssl pkey -in rsa.pem -pubout -outform der -out rsa-pub.der
p11 --login --pin 12345678 --write-object rsa-cert.der --type cert --id 01 --label "c1" >/dev/null
p11 --login --pin 12345678 --write-object rsa.der --type privkey --id 01 --label "c1" >/dev/null
p11 --login --pin 12345678 --write-object rsa-pub.der --type pubkey --id 01 --label "c1" >/dev/null
openssl ecparam -name prime256v1 -genkey -noout -out ec.pem
openssl pkey -in ec.pem -outform der -out ec.der
p11 --login --pin 12345678 --write-object ec.der --type privkey --id 02 --label "e1" >/dev/null
objects="$(p11 --login --pin 12345678 --list-objects)"
grep -q "subject:    DN: CN=Zhang San, O=Bank" <<<"$objects" || fail "certificate not listed"$'\n'"$objects"
[ "$(grep -c 'Private Key Object' <<<"$objects")" = 2 ] || fail "two private keys expected"$'\n'"$objects"
grep -q "Public Key Object; RSA 2048 bits" <<<"$objects" || fail "public key not listed"
public="$(p11 --list-objects)"
grep -q "Private Key Object" <<<"$public" && fail "private keys are visible without login"
grep -q "Certificate Object" <<<"$public" || fail "certificates are public"
p11 --read-object --type cert --id 01 -o back.der >/dev/null
cmp -s back.der rsa-cert.der || fail "the certificate read back differs"
p11 --login --pin 12345678 --read-object --type privkey --id 01 -o secret.der >/dev/null || true
[ -s secret.der ] && fail "a sensitive private key was read out"
show | grep -q "objects: 4" || fail "vtoken show does not count the objects"$'\n'"$(show)"

echo "-- signatures verified by openssl"
printf 'payment order 42\n' >data.txt
p11 --login --pin 12345678 --sign -m SHA256-RSA-PKCS --id 01 -i data.txt -o rsa.sig >/dev/null
openssl dgst -sha256 -verify <(openssl pkey -in rsa.pem -pubout) -signature rsa.sig data.txt >/dev/null ||
    fail "RSA signature does not verify"
p11 --login --pin 12345678 --sign -m ECDSA-SHA256 --id 02 -i data.txt -o ec.sig --signature-format openssl >/dev/null
openssl dgst -sha256 -verify <(openssl pkey -in ec.pem -pubout) -signature ec.sig data.txt >/dev/null ||
    fail "ECDSA signature does not verify"

echo "-- wrong PINs lock the user PIN; the SO PIN unblocks it"
expect "CKR_PIN_INCORRECT" p11 --login --pin 00000000 --list-objects
show | grep -q "user PIN retries: 2 of 3" || fail "first wrong PIN not counted"$'\n'"$(show)"
expect "CKR_PIN_INCORRECT" p11 --login --pin 00000000 --list-objects
expect "CKR_PIN_LOCKED" p11 --login --pin 00000000 --list-objects
expect "CKR_PIN_LOCKED" p11 --login --pin 12345678 --list-objects
expect "user PIN locked" p11 --list-token-slots
show | grep -q "user PIN locked: yes" || fail "vtoken show does not report the lock"$'\n'"$(show)"
expect "CKR_PIN_INCORRECT" p11 --login --login-type so --so-pin 11111111 --init-pin --new-pin 24681357
show | grep -q "SO PIN retries: 4 of 5" || fail "wrong SO PIN not counted"$'\n'"$(show)"
expect "successfully initialized" p11 --login --login-type so --so-pin 87654321 --init-pin --new-pin 24681357
show | grep -q "SO PIN retries: 5 of 5" || fail "right SO PIN does not restore its counter"
show | grep -q "user PIN locked: no" || fail "unblock left the PIN locked"
expect "Private Key Object" p11 --login --pin 24681357 --list-objects

echo "-- PIN change with length limits"
expect "CKR_PIN_LEN_RANGE" p11 --login --pin 24681357 --change-pin --new-pin 123
expect "successfully changed" p11 --login --pin 24681357 --change-pin --new-pin 13572468
expect "Private Key Object" p11 --login --pin 13572468 --list-objects

echo "-- token initialization wipes it"
expect "CKR_PIN_INCORRECT" p11 --init-token --so-pin 11111111 --label "Wrong"
expect "successfully initialized" p11 --init-token --so-pin 87654321 --label "Fresh token"
expect "token label        : Fresh token" p11 --list-token-slots
show | grep -q "objects: 0" || fail "initialization kept objects"
show | grep -q "user PIN set: no" || fail "initialization kept the user PIN"
expect "successfully initialized" p11 --login --login-type so --so-pin 87654321 --init-pin --new-pin 12345678
expect "Using slot" p11 --login --pin 12345678 --list-objects

echo "-- a demo token holds the demo containers"
"$vtoken" create --serial VXDEMO0000000001 --label "Demo" --demo --plugged >/dev/null
demo="$(p11 --token-label Demo --login --pin 12345678 --list-objects)"
for container in "张三 Zhang San" "李四 Li Si EC" "Demo Root CA" "Demo Issuing CA"; do
    grep -q "label:      $container" <<<"$demo" || fail "demo container $container missing"$'\n'"$demo"
done
[ "$(grep -c 'Private Key Object' <<<"$demo")" = 3 ] || fail "the demo token holds three private keys"
"$vtoken" remove VXDEMO0000000001

echo "-- a token pulled out is gone"
"$vtoken" unplug VXTEST0000000001
[ "$(p11 --list-token-slots | grep -c 'Slot ')" = 0 ] || fail "unplugged token still present"
echo "all pkcs11-tool checks passed"
