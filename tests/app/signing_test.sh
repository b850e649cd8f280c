#!/bin/bash
# Signing as a release engineer does it (tools/sign.sh), with a throw-away
# certificate: the signature verifies, and the payload read from the signed
# program still passes the installer's pre-check (payload-tool verify).
# Usage: signing_test.sh SIGN_SCRIPT WINE_RUN PAYLOAD_TOOL INSTALL_EXE WORK_DIR
set -euo pipefail
sign=$1 wine_run=$2 tool=$3 program=$4 work=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"; mkdir -p "$work"

printf 'Jürgen-Ελένη-2026\n' > "$work/pass.txt"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Gradiva test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.p12" \
    -passout "file:$work/pass.txt"

cp "$program" "$work/Install.exe"
bash "$sign" "$work/signer.p12" "$work/pass.txt" "" "$work/Install.exe"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Install.exe" > "$work/verify.txt" 2>&1 \
    || fail "the signature does not verify: $(tail -3 "$work/verify.txt")"
grep -q 'Message digest algorithm *: SHA256' "$work/verify.txt" || fail "not signed with SHA-256"
cmp -s "$program" "$work/Install.exe" && fail "the signed program is the unsigned one"

wrestool -x --raw --type=260 --name=134 "$work/Install.exe" > "$work/payload.bz2"
[[ -s $work/payload.bz2 ]] || fail "no payload in the signed program"
"$wine_run" "$tool" verify "Z:$work/payload.bz2" > "$work/payload.txt" 2>&1 \
    || fail "the signed program's payload fails the pre-check: $(cat "$work/payload.txt")"
echo "signed, verified, payload sound: $(stat -c %s "$work/Install.exe") bytes"
