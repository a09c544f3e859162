#!/usr/bin/env bash
# The signed files of check_signing.sh as Windows' own API reads them under Wine
# (tests/sign/signature_view.cpp): the signer's subject, the timestamp authority's, and no
# signature at all in the unsigned build. The expected subjects are openssl's reading of the
# throwaway certificates, in the order and form Windows writes a name.
# Usage: check_windows_view.sh WORK SIGNATURE_VIEW_EXE UNSIGNED_KORVO_EXE
set -uo pipefail
work=$1 view=$2 unsigned=$3
windows() { local p=${1//\//\\}; echo "Z:$p"; }
subject() {  # NAME: "common name (subject)"
  local cert=$work/pki/$1.pem
  echo "$(openssl x509 -in "$cert" -noout -subject -nameopt sep_multiline | sed -n 's/^ *CN=//p')" \
    "($(openssl x509 -in "$cert" -noout -subject -nameopt sep_comma_plus_space | sed 's/^subject=//'))"
}

rows=(
  "$work/Korvo.exe|signer $(subject maker); timestamp -"
  "$work/Korvo-token.exe|signer $(subject token); timestamp -"
  "$work/Korvo-timestamped.exe|signer $(subject maker); timestamp $(subject tsa)"
  "$unsigned|no signature (0x80092009)"
)
files=()
for row in "${rows[@]}"; do files+=("$(windows "${row%%|*}")"); done
# Wine 8 puts quotes around some values that need none (it tests the wrong character for a
# trailing blank); none of these subjects needs any, so they are dropped.
"$(dirname "$0")/../../scripts/wine-run" "$view" "${files[@]}" | tr -d '\r"' >"$work/windows-view.txt"
status=${PIPESTATUS[0]}
cat "$work/windows-view.txt"

passed=0 failed=0
for row in "${rows[@]}"; do
  want="$(windows "${row%%|*}"): ${row#*|}"
  if grep -qxF -- "$want" "$work/windows-view.txt"; then
    passed=$((passed + 1))
  else
    echo "FAIL: expected: $want"
    failed=$((failed + 1))
  fi
done
[ "$status" -eq 0 ] || { echo "FAIL: signature_view.exe exited with $status"; failed=$((failed + 1)); }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
