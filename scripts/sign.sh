#!/usr/bin/env bash
# Signs the built Korvo.exe with Authenticode (SHA-256), with a key and certificate from a
# PKCS#12 file or from a PKCS#11 token, and verifies the signed file before it replaces anything:
# on any failure the input is left as it was, and one line on the error output says why.
#
#   scripts/sign.sh (--pkcs12 FILE --password-file FILE | --pkcs11-module MODULE --key PKCS11-URI --pin-file FILE)
#                   [--chain FILE] [--timestamp URL] [--name TEXT] [--url URL] [--out FILE] KORVO_EXE
#
# A password or PIN file of "-" is read from standard input (its first line). The token's
# certificate is the object the key's URI names, with type=cert; --chain adds the certificates
# (PEM) that lead from it to a root, which a token often does not hold.
set -euo pipefail

fail() { echo "sign.sh: $*" >&2; exit 1; }
usage() {
  echo "usage: scripts/sign.sh (--pkcs12 FILE --password-file FILE | --pkcs11-module MODULE --key PKCS11-URI --pin-file FILE) [--chain FILE] [--timestamp URL] [--name TEXT] [--url URL] [--out FILE] KORVO_EXE" >&2
  exit 2
}

pkcs12= secret_file= module= key= chain= tsa= name= url= out= in=
while [ $# -gt 0 ]; do
  case "$1" in
    --pkcs12|--pkcs11-module|--key|--password-file|--pin-file|--chain|--timestamp|--name|--url|--out)
      [ $# -ge 2 ] || usage
      case "$1" in
        --pkcs12) pkcs12=$2 ;; --pkcs11-module) module=$2 ;; --key) key=$2 ;;
        --password-file|--pin-file) secret_file=$2 ;; --chain) chain=$2 ;; --timestamp) tsa=$2 ;;
        --name) name=$2 ;; --url) url=$2 ;; --out) out=$2 ;;
      esac
      shift 2 ;;
    -*) usage ;;
    *) [ -z "$in" ] || usage; in=$1; shift ;;
  esac
done
[ -n "$in" ] && [ -n "$secret_file" ] || usage
if [ -n "$pkcs12" ]; then
  [ -z "$module$key" ] || usage
else
  [ -n "$module" ] && [ -n "$key" ] || usage
  # The URI would carry the PIN onto osslsigncode's command line, for any user to see.
  case ";${key#pkcs11:}" in *[\;?]pin-value=*) fail "the key's URI holds the PIN: give it in --pin-file instead" ;; esac
fi

for tool in osslsigncode openssl wrestool python3 file; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$in" ] || fail "no such file: $in"
for f in "$pkcs12" "$chain" "$secret_file"; do
  [ -z "$f" ] || [ "$f" = - ] || [ -r "$f" ] || fail "cannot read $f"
done
kind=$(file -bL "$in")
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) fail "$in is not the 32-bit build of Korvo.exe (PE32, GUI, Intel 80386): it is ${kind%%,*}" ;;
esac

target=${out:-$in}
# Beside the target, so that the finished file is moved into place in one rename.
work=$(mktemp -d "$(dirname "$target")/.sign.XXXXXX") || fail "cannot write in $(dirname "$target")"
trap 'rm -rf "$work"' EXIT

# A secret from standard input stays in this shell and reaches each tool through a pipe
# (/dev/fd/3): never a file, never a command line.
if [ "$secret_file" = - ]; then
  IFS= read -rs secret || [ -n "${secret:-}" ] || fail "no password or PIN on standard input"
fi
secret_path() {
  if [ "$secret_file" = - ]; then echo "/dev/fd/$1"; else echo "$secret_file"; fi
}

# The program's name and web address the signature shows (Windows shows the name in its
# security prompts): from the version record unless given. Windows names no entry for an
# address, so it is the first value of the record that is a whole http(s) URL, if any.
record=$(wrestool -x --raw --type=16 "$in" 2>/dev/null | python3 -c '
import struct, sys
blob = sys.stdin.buffer.read()
def walk(off, end, depth, out):
    while off + 6 <= end:
        length, vlen, vtype = struct.unpack_from("<HHH", blob, off)
        if length == 0: break
        stop = min(off + length, end)
        k = off + 6
        while k + 1 < stop and blob[k:k + 2] != b"\0\0": k += 2
        key = blob[off + 6:k].decode("utf-16-le", "replace")
        pos = (k + 2 + 3) & ~3
        size = vlen * 2 if vtype == 1 else vlen
        if depth == 3:
            out.append((key, blob[pos:pos + size].decode("utf-16-le", "replace").split("\0")[0]))
        else:
            walk((pos + size + 3) & ~3, stop, depth + 1, out)
        off = (off + length + 3) & ~3
strings = []  # depth 3: the values of a string table under StringFileInfo
walk(0, len(blob), 0, strings)
name = next((v for k, v in strings if k == "ProductName"), "")
url = next((v for k, v in strings if v.startswith(("http://", "https://")) and " " not in v), "")
print(name); print(url)
' || true)
name_from="given" url_from="given"
if [ -z "$name" ]; then name=$(sed -n 1p <<<"$record") name_from="the version record's ProductName"; fi
if [ -z "$url" ]; then
  url=$(sed -n 2p <<<"$record") url_from="the version record"
  [ -n "$url" ] || url_from="none given, and none in the version record"
fi

# A wrong password is told apart before anything else; other trouble reading the file is left
# to osslsigncode, which reads more kinds of PKCS#12 (the legacy ciphers) than openssl by default.
if [ -n "$pkcs12" ]; then
  opened=$(openssl pkcs12 -in "$pkcs12" -noout -passin "file:$(secret_path 3)" 3< <(printf '%s\n' "${secret:-}") 2>&1) ||
    ! grep -q 'Mac verify error' <<<"$opened" || fail "wrong password for $pkcs12"
fi

signed=$work/signed.exe log=$work/osslsigncode.log
source_args=(-pkcs12 "$pkcs12")
if [ -z "$pkcs12" ]; then
  # The certificate is the token's object of the key's name, as tokens keep them.
  cert_uri=$key
  case "$cert_uri" in
    *type=*) cert_uri=$(sed 's/\([;?]\)type=[a-z-]*/\1type=cert/' <<<"$cert_uri") ;;
    *) cert_uri="$cert_uri;type=cert" ;;
  esac
  source_args=(-pkcs11module "$module" -pkcs11cert "$cert_uri" -key "$key")
fi
[ -z "$chain" ] || source_args+=(-ac "$chain")
[ -z "$name" ] || source_args+=(-n "$name")
[ -z "$url" ] || source_args+=(-i "$url")
if ! osslsigncode sign "${source_args[@]}" -readpass "$(secret_path 3)" -h sha256 \
    -in "$in" -out "$signed" >"$log" 2>&1 3< <(printf '%s\n' "${secret:-}") </dev/null; then
  grep -q 'PIN incorrect' "$log" && fail "the token refused the PIN"
  reason=$(grep -m1 -E 'Failed to|[Ee]rror|[Ww]rong' "$log" || tail -n 1 "$log")
  fail "osslsigncode could not sign $in: $reason"
fi

# The certificates the signature carries: none may be out of date, and the one it was made
# with (the one certificate that is no authority) must be for code signing.
osslsigncode extract-signature -pem -in "$signed" -out "$work/signature.pem" >"$log" 2>&1 ||
  fail "the signed file holds no readable signature: $(tail -n 1 "$log")"
openssl pkcs7 -in "$work/signature.pem" -print_certs -out "$work/certs.pem" 2>"$log" ||
  fail "the signature's certificates cannot be read: $(tail -n 1 "$log")"
awk -v dir="$work" '/BEGIN CERT/ { n++ } n { print > (dir "/cert" n ".pem") }' "$work/certs.pem"
signer_subject= signer_end=
for cert in "$work"/cert*.pem; do
  subject=$(openssl x509 -in "$cert" -noout -subject | sed 's/^subject=//')
  end=$(openssl x509 -in "$cert" -noout -enddate | sed 's/^notAfter=//')
  openssl x509 -in "$cert" -noout -checkend 0 >/dev/null || fail "the certificate \"$subject\" expired on $end"
  if ! openssl x509 -in "$cert" -noout -ext basicConstraints 2>/dev/null | grep -q 'CA:TRUE'; then
    purposes=$(openssl x509 -in "$cert" -noout -ext extendedKeyUsage 2>/dev/null | sed -n '2,$s/^ *//p')
    sed 's/, /\n/g' <<<"$purposes" | grep -qx 'Code Signing' ||
      fail "the certificate \"$subject\" is not for code signing (extended key usage: ${purposes:-none})"
    signer_subject=$subject signer_end=$end
  fi
done
[ -n "$signer_subject" ] || fail "the signature carries only authorities' certificates: none to sign code with"

if [ -n "$tsa" ]; then
  osslsigncode add -ts "$tsa" -h sha256 -in "$signed" -out "$work/timestamped.exe" >"$log" 2>&1 </dev/null ||
    fail "no timestamp from $tsa: the server cannot be reached or gave no valid answer"
  mv "$work/timestamped.exe" "$signed"
fi

# The signed file verifies: its digest, the signature, and the chain up to a root that this
# machine trusts or that came with the certificate.
cat "$work/certs.pem" > "$work/roots.pem"
[ ! -r /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt >> "$work/roots.pem"
if ! osslsigncode verify -CAfile "$work/roots.pem" -TSA-CAfile "$work/roots.pem" -in "$signed" >"$log" 2>&1; then
  reason=$(sed -n 's/.*Verify error: *//p' "$log" | head -n 1)
  [ -n "$reason" ] || reason=$(grep -m1 -iE 'unable|mismatch|failed' "$log" || true)
  fail "the signed file does not verify: ${reason:-see osslsigncode verify -in $signed}"
fi

chmod --reference="$in" "$signed"
mv -f "$signed" "$target"
echo "Signed $target (Authenticode, SHA-256) with \"$signer_subject\"; verified: digest, signature, chain."
echo "Program name: ${name:-none} ($name_from); URL: ${url:-none} ($url_from)."
if [ -n "$tsa" ]; then
  echo "Timestamped by $tsa: the signature stays valid after the certificate expires."
else
  echo "Not timestamped: the signature expires with the certificate, on $signer_end (--timestamp URL adds a timestamp)."
fi
