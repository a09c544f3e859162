# Sourced by check_signing.sh: what it asks of a signed file and of a failed signing, as PASS/FAIL
# lines. Needs $work, $pki (the throwaway root is $pki/root.pem) and $sign.

passed=0 failed=0
check() {  # WHAT COMMAND...: passes when the command succeeds
  if "${@:2}"; then echo "PASS: $1"; passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
said() { grep -qE -- "$2" "$1"; }  # FILE PATTERN
verifies() {  # FILE: osslsigncode's verdict against the throwaway root, its report in FILE.verify
  osslsigncode verify -CAfile "$pki/root.pem" -TSA-CAfile "$pki/root.pem" -in "$1" >"$1.verify" 2>&1
}
unsigned_again() {  # SIGNED UNSIGNED: removing the signature gives back the unsigned file
  rm -f "$1.removed"
  osslsigncode remove-signature -in "$1" -out "$1.removed" >/dev/null 2>&1 && cmp "$1.removed" "$2"
}
tampered_fails() {  # FILE: one byte changed in the middle, verification fails
  local size
  size=$(stat -c %s "$1")
  cp "$1" "$1.tampered"
  printf '\x5a' | dd of="$1.tampered" bs=1 seek=$((size / 2)) conv=notrunc status=none
  ! cmp -s "$1" "$1.tampered" && ! verifies "$1.tampered"
}
reports() {  # FILE NAME URL TIMESTAMP: what osslsigncode verify read from the signature ("-": none)
  local report=$1.verify
  said "$report" "Text description: $2\$" || return 1
  if [ "$3" = - ]; then ! said "$report" "URL description"; else said "$report" "URL description: $3\$"; fi || return 1
  if [ "$4" = yes ]; then
    said "$report" "Timestamp Server Signature verification: ok" &&
      said "$report" "The signature is timestamped|Timestamp time:"  # osslsigncode 2.5 | 2.9
  else
    said "$report" "Timestamp is not available"
  fi
}

# signed_as FILE UNSIGNED SIGNER NAME URL TIMESTAMP
signed_as() {
  local file=$work/$1
  check "$1: osslsigncode verify against the throwaway root" verifies "$file"
  check "$1: signed by $3" said "$file.verify" "Subject: /C=DE/O=Test Maker/CN=$3\$"
  check "$1: program name \"$4\", URL $5, timestamp: $6" reports "$file" "$4" "$5" "$6"
  check "$1: removing the signature gives back the unsigned file" unsigned_again "$file" "$2"
  check "$1: one byte changed, verification fails" tampered_fails "$file"
}

# failure WHAT LINE-PATTERN INPUT SIGN-ARGUMENTS...: one line on the error output that matches,
# a non-zero exit, the input unchanged, nothing left beside it. INPUT is a file in $work/fail.
failure() {
  local what=$1 pattern=$2 input=$work/fail/$3 rc=0 problems= before extra
  shift 3
  before=$(ls -A "$work/fail")
  cp "$input" "$work/before"
  "$sign" "$@" "$input" >"$work/out" 2>"$work/err" </dev/null || rc=$?
  [ "$rc" -ne 0 ] || problems+=" exit 0;"
  [ "$(wc -l <"$work/err")" -eq 1 ] && said "$work/err" "^sign.sh: $pattern" || problems+=" said: $(cat "$work/err");"
  cmp -s "$input" "$work/before" || problems+=" input changed;"
  extra=$(comm -13 <(echo "$before") <(ls -A "$work/fail"))
  [ -z "$extra" ] || problems+=" left behind: $extra;"
  check "failure, $what:${problems:- $(cat "$work/err")}" test -z "$problems"
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
