#!/usr/bin/env bash
# scripts/sign.sh end to end, with certificates made afresh by openssl: a PKCS#12 file, a SoftHSM
# token whose key never leaves it, a local timestamp server, and the failures that must leave the
# input as it was. Results are judged by osslsigncode verify against the throwaway root and by
# remove-signature and cmp; the signed files stay in WORK for the checks of how Windows reads and
# runs them (tests/CMakeLists.txt).
# Usage: check_signing.sh SOURCE_ROOT WORK KORVO_EXE URL_RECORD_EXE X64_FILE CONSOLE_EXE
set -uo pipefail
root=$1 work=$2 korvo=$3 url_exe=$4 x64=$5 console=$6
sign=$root/scripts/sign.sh
rm -rf "$work"
mkdir -p "$work/fail"
pki=$work/pki
source "$(dirname "$0")/throwaway_pki.sh"
source "$(dirname "$0")/sign_checks.sh"
trap '[ -z "${tsa_pid:-}" ] || kill "$tsa_pid" 2>/dev/null' EXIT

echo "secret-$RANDOM" >"$pki/password.txt"
echo 2468 >"$pki/pin.txt"
echo wrong >"$pki/wrong.txt"
pki_root root "/CN=Korvo Throwaway Root"
pki_issue maker "/C=DE/O=Test Maker/CN=Throwaway Publisher" root codesign
pki_pkcs12 maker "$pki/password.txt" root.pem
pki_issue intermediate "/CN=Korvo Throwaway Issuing CA" root authority
pki_token "Korvo Test Token" 2468 "/C=DE/O=Test Maker/CN=Token Publisher" intermediate
cat "$pki/intermediate.pem" "$pki/root.pem" >"$pki/token-chain.pem"
pki_issue tsa "/CN=Korvo Throwaway Timestamps" root timestamping
pki_tsa_start tsa
pki_issue expired "/O=Test Maker/CN=Expired Publisher" root codesign 20240101000000Z 20250101000000Z
pki_pkcs12 expired "$pki/password.txt" root.pem
pki_issue webserver "/O=Test Maker/CN=Web Server" root webserver
pki_pkcs12 webserver "$pki/password.txt" root.pem
p12=(--pkcs12 "$pki/maker.p12" --password-file "$pki/password.txt")
token=(--pkcs11-module "$token_module" --key "$token_key")
cp "$korvo" "$work/Korvo.exe"
cp "$url_exe" "$work/url-record.exe"
cp "$korvo" "$x64" "$console" "$work/fail/"
printf 'not a program\n' >"$work/fail/notes.txt"

# From the file, in place; from the token, into --out with the PIN on standard input; a maker's
# version record that names a web address; a timestamp from the local server.
"$sign" "${p12[@]}" "$work/Korvo.exe"
"$sign" "${token[@]}" --pin-file - --chain "$pki/token-chain.pem" --name "Token Name" \
  --url https://maker.example/token --out "$work/Korvo-token.exe" "$korvo" <"$pki/pin.txt"
"$sign" "${p12[@]}" "$work/url-record.exe" >/dev/null
"$sign" "${p12[@]}" --timestamp "$tsa_url" --out "$work/Korvo-timestamped.exe" "$korvo"
#         file                  unsigned   signer                name          URL                          timestamp
signed_as Korvo.exe             "$korvo"   "Throwaway Publisher" Korvo         -                            no
signed_as Korvo-token.exe       "$korvo"   "Token Publisher"     "Token Name"  https://maker.example/token  no
signed_as url-record.exe        "$url_exe" "Throwaway Publisher" "Record Name" https://maker.example/korvo  no
signed_as Korvo-timestamped.exe "$korvo"   "Throwaway Publisher" Korvo         -                            yes

failure "wrong password" "wrong password for .*maker.p12$" Korvo.exe \
  --pkcs12 "$pki/maker.p12" --password-file "$pki/wrong.txt"
failure "wrong PIN" "the token refused the PIN$" Korvo.exe "${token[@]}" --pin-file "$pki/wrong.txt"
failure "expired certificate" 'the certificate ".*Expired Publisher" expired on Jan  1 00:00:00 2025 GMT$' Korvo.exe \
  --pkcs12 "$pki/expired.p12" --password-file "$pki/password.txt"
failure "no code-signing purpose" \
  'the certificate ".*Web Server" is not for code signing \(extended key usage: TLS Web Server Authentication\)$' Korvo.exe \
  --pkcs12 "$pki/webserver.p12" --password-file "$pki/password.txt"
failure "unreachable timestamp server" "no timestamp from http://127.0.0.1:[0-9]+/: the server cannot be reached" Korvo.exe \
  "${p12[@]}" --timestamp "http://127.0.0.1:$(pki_closed_port)/"
failure "chain that reaches no root" "the signed file does not verify: .*(issuer|chain)" Korvo.exe \
  "${token[@]}" --pin-file "$pki/pin.txt"
failure "a PIN in the key's URI" "the key's URI holds the PIN" Korvo.exe \
  --pkcs11-module "$token_module" --key "$token_key;pin-value=2468" --pin-file "$pki/pin.txt"
failure "a 64-bit file" '.*/jvm.dll is not the 32-bit build .*: it is PE32\+ executable \(DLL\)' jvm.dll "${p12[@]}"
failure "a 32-bit console program" \
  ".*/$(basename "$console") is not the 32-bit build .*: it is PE32 executable \(console\)" "$(basename "$console")" "${p12[@]}"
failure "not a program" ".*/notes.txt is not the 32-bit build .*: it is ASCII text$" notes.txt "${p12[@]}"
finish
