#!/usr/bin/env bash
# scripts/sign.sh end to end, with certificates made afresh by openssl: a PKCS#12 file, a SoftHSM
# token whose key never leaves it, a local timestamp server, and the failures that must leave the
# input as it was. Results are judged by osslsigncode verify against the throwaway root, by
# remove-signature and cmp, and by openssl; the signed files stay in WORK for the checks of how
# Windows reads and runs them (tests/CMakeLists.txt).
# Usage: check_signing.sh SOURCE_ROOT WORK KORVO_EXE URL_RECORD_EXE X64_FILE CONSOLE_EXE
set -uo pipefail
root=$1 work=$2 korvo=$3 url_exe=$4 x64=$5 console=$6
sign=$root/scripts/sign.sh
rm -rf "$work"
mkdir -p "$work/fail"
pki=$work/pki
source "$(dirname "$0")/throwaway_pki.sh"
trap '[ -z "${tsa_pid:-}" ] || kill "$tsa_pid" 2>/dev/null' EXIT

passed=0 failed=0
check() {  # WHAT COMMAND...: passes when the command succeeds
  if "${@:2}"; then echo "PASS: $1"; passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
verifies() {  # FILE: osslsigncode's verdict against the throwaway root, its report in FILE.verify
  osslsigncode verify -CAfile "$pki/root.pem" -TSA-CAfile "$pki/root.pem" -in "$1" >"$1.verify" 2>&1
}
unsigned_again() {  # FILE: removing the signature gives back the unsigned build
  rm -f "$1.removed"
  osslsigncode remove-signature -in "$1" -out "$1.removed" >/dev/null 2>&1 && cmp "$1.removed" "$korvo"
}
tampered_fails() {  # FILE: one byte changed in the middle, verification fails
  local size
  size=$(stat -c %s "$1")
  cp "$1" "$1.tampered"
  printf '\x5a' | dd of="$1.tampered" bs=1 seek=$((size / 2)) conv=notrunc status=none
  ! cmp -s "$1" "$1.tampered" && ! verifies "$1.tampered"
}
said() { grep -qE -- "$2" "$1"; }  # FILE PATTERN

echo secret-$RANDOM >"$pki/password.txt"
echo 2468 >"$pki/pin.txt"
echo wrong >"$pki/wrong.txt"
pki_root root "/CN=Korvo Throwaway Root"
pki_issue maker "/C=DE/O=Test Maker/CN=Throwaway Publisher" root codesign
pki_pkcs12 maker "$pki/password.txt" root.pem
pki_issue intermediate "/CN=Korvo Throwaway Issuing CA" root authority
pki_token "Korvo Test Token" 2468 "/C=DE/O=Test Maker/CN=Token Publisher" intermediate
cat "$pki/intermediate.pem" "$pki/root.pem" >"$pki/token-chain.pem"
token=(--pkcs11-module "$token_module" --key "$token_key")

# --- From a PKCS#12 file, in place, name from the version record --------------------------------
cp "$korvo" "$work/Korvo.exe"
"$sign" --pkcs12 "$pki/maker.p12" --password-file "$pki/password.txt" "$work/Korvo.exe"
check "PKCS#12: osslsigncode verify against the throwaway root" verifies "$work/Korvo.exe"
check "PKCS#12: signed by the maker's certificate" said "$work/Korvo.exe.verify" 'Subject: /C=DE/O=Test Maker/CN=Throwaway Publisher'
check "PKCS#12: program name Korvo from the version record, no URL" \
  eval 'said "$work/Korvo.exe.verify" "Text description: Korvo$" && ! said "$work/Korvo.exe.verify" "URL description"'
check "PKCS#12: removing the signature gives back the unsigned build" unsigned_again "$work/Korvo.exe"
check "PKCS#12: one byte changed, verification fails" tampered_fails "$work/Korvo.exe"

# --- From the token, into --out, PIN on standard input, name and URL given -----------------------
"$sign" "${token[@]}" --pin-file - --chain "$pki/token-chain.pem" --name "Token Name" --url https://maker.example/token \
  --out "$work/Korvo-token.exe" "$korvo" <"$pki/pin.txt"
check "token: osslsigncode verify against the root, through the intermediate" verifies "$work/Korvo-token.exe"
check "token: signed by the token's certificate" said "$work/Korvo-token.exe.verify" 'Subject: /C=DE/O=Test Maker/CN=Token Publisher'
check "token: the given name and URL" \
  eval 'said "$work/Korvo-token.exe.verify" "Text description: Token Name$" &&
        said "$work/Korvo-token.exe.verify" "URL description: https://maker.example/token$"'
check "token: removing the signature gives back the unsigned build" unsigned_again "$work/Korvo-token.exe"
check "token: one byte changed, verification fails" tampered_fails "$work/Korvo-token.exe"

# --- A maker's version record with a web address; a timestamp from the local server -------------
cp "$url_exe" "$work/url-record.exe"
"$sign" --pkcs12 "$pki/maker.p12" --password-file "$pki/password.txt" "$work/url-record.exe" >/dev/null
check "version record: its ProductName and its URL" \
  eval 'verifies "$work/url-record.exe" && said "$work/url-record.exe.verify" "Text description: Record Name$" &&
        said "$work/url-record.exe.verify" "URL description: https://maker.example/korvo$"'
pki_issue tsa "/CN=Korvo Throwaway Timestamps" root timestamping
pki_tsa_start tsa
"$sign" --pkcs12 "$pki/maker.p12" --password-file "$pki/password.txt" --timestamp "$tsa_url" \
  --out "$work/Korvo-timestamped.exe" "$korvo"
check "timestamp: verifies, with the local server's timestamp" \
  eval 'verifies "$work/Korvo-timestamped.exe" &&
        said "$work/Korvo-timestamped.exe.verify" "Timestamp Server Signature verification: ok" &&
        said "$work/Korvo-timestamped.exe.verify" "The signature is timestamped|Timestamp time:"'

# --- Failures: one clear line, a non-zero exit, the input untouched, nothing left beside it ------
pki_issue expired "/O=Test Maker/CN=Expired Publisher" root codesign 20240101000000Z 20250101000000Z
pki_pkcs12 expired "$pki/password.txt" root.pem
pki_issue webserver "/O=Test Maker/CN=Web Server" root webserver
pki_pkcs12 webserver "$pki/password.txt" root.pem
printf 'not a program\n' >"$work/fail/notes.txt"
cp "$x64" "$work/fail/jvm64.dll"
cp "$console" "$work/fail/console.exe"
cp "$korvo" "$work/fail/Korvo.exe"
p12=(--pkcs12 "$pki/maker.p12" --password-file "$pki/password.txt")
failure() {  # WHAT LINE-PATTERN INPUT SIGN-ARGUMENTS...
  local what=$1 pattern=$2 input=$work/fail/$3 rc=0 problems=
  shift 3
  cp "$input" "$work/fail/before"
  "$sign" "$@" "$input" >"$work/fail/out" 2>"$work/fail/err" </dev/null || rc=$?
  [ "$rc" -ne 0 ] || problems+=" exit 0;"
  [ "$(wc -l <"$work/fail/err")" -eq 1 ] && said "$work/fail/err" "^sign.sh: $pattern" || problems+=" said: $(cat "$work/fail/err");"
  cmp -s "$input" "$work/fail/before" || problems+=" input changed;"
  [ -z "$(ls -A "$work/fail" | grep -v -x -e before -e out -e err -e notes.txt -e jvm64.dll -e console.exe -e Korvo.exe)" ] ||
    problems+=" left behind: $(ls -A "$work/fail" | tr '\n' ' ');"
  check "failure, $what:${problems:- $(cat "$work/fail/err")}" test -z "$problems"
}
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
failure "a 64-bit file" '.*/jvm64.dll is not the 32-bit build .*: it is PE32\+ executable \(DLL\)' jvm64.dll "${p12[@]}"
failure "a 32-bit console program" '.*/console.exe is not the 32-bit build .*: it is PE32 executable \(console\)' console.exe "${p12[@]}"
failure "not a program" ".*/notes.txt is not the 32-bit build .*: it is ASCII text$" notes.txt "${p12[@]}"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
