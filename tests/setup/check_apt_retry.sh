#!/usr/bin/env bash
# The install script's update step against a mirror in mid-sync, without touching the real
# package state: stand-ins for apt-get and sleep (and sudo), first on PATH, record their calls,
# and the update fails as Debian's mirror did. Usage: check_apt_retry.sh SOURCE_ROOT
set -uo pipefail
root=$1
work=$(mktemp -d /tmp/korvo-apt-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
cat > "$work/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >> "${0%/*}/calls"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
esac
case " $* " in *" -t bookworm install "*) [ -n "${POINT_RELEASE_WORKS:-}" ] && exit 0 ;; esac
[ -z "${INSTALL_WORKS:-}" ] && { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; }
exit 0
EOF
printf '#!/bin/sh\necho "sleep $*" >> "${0%%/*}/calls"\n' > "$work/sleep"
printf '#!/bin/sh\nexec "$@"\n' > "$work/sudo"
chmod +x "$work/apt-get" "$work/sleep" "$work/sudo"
fail=0
check() {  # DESCRIPTION GREP-PATTERN FILE
  grep -qE -- "$2" "$3" || { echo "FAIL: $1 (no /$2/ in $3):"; cat "$3"; fail=1; }
}
update_step() {
  PATH="$work:$PATH" TMPDIR="$work" KORVO_COMMAND=scripts/test.sh bash -c 'source "$1/scripts/install-deps.sh"
    korvo_update_and_install wine32:i386' _ "$root"
}

# The update keeps failing and nothing can be installed without it: 6 tries over 10 minutes, a
# line before each wait, then one message, and a failure.
update_step > "$work/out" 2>&1 && { echo "FAIL: the update step succeeded against a failing mirror"; fail=1; }
cat "$work/out"
check "apt retries single downloads" '^apt-get -o Acquire::Retries=3 update' "$work/calls"
check "apt retries single downloads" '^apt-get -o Acquire::Retries=3 install .*wine32:i386' "$work/calls"
[ "$(grep -c ' update ' "$work/calls")" = 6 ] || { echo "FAIL: not 6 updates:"; cat "$work/calls"; fail=1; }
[ "$(grep '^sleep' "$work/calls" | tr '\n' ' ')" = "sleep 60 sleep 90 sleep 120 sleep 150 sleep 180 " ] ||
  { echo "FAIL: the waits are not 60, 90, 120, 150, 180 s:"; cat "$work/calls"; fail=1; }
check "a line before a wait" "^Debian's package index is being updated on the mirror \(bookworm-security i386\); trying again in 60 s \(2/6\)$" "$work/out"
check "a line before the last wait" 'trying again in 180 s \(6/6\)$' "$work/out"
check "the final message names the index" 'bookworm-security i386\); it failed 6 times over 10 minutes' "$work/out"
check "the final message blames the mirror" "state of Debian's mirror, not a fault of this project" "$work/out"
check "the final message says what to do" '^Run scripts/test.sh again later' "$work/out"

# The update fails, but what is missing installs from the indexes in place: go on at once.
rm -f "$work/calls"
INSTALL_WORKS=1 update_step > "$work/out" 2>&1 || { echo "FAIL: the update step failed though the install works"; cat "$work/out"; fail=1; }
[ "$(grep -c . "$work/calls")" = 2 ] || { echo "FAIL: more than one update and one install:"; cat "$work/calls"; fail=1; }
check "going on is said" 'installed from the package indexes already in place' "$work/out"
# Only the security suite's i386 index fails, so the plain install cannot resolve; with the point
# release as the target it can: no wait, one line saying so, success.
rm -f "$work/calls"
POINT_RELEASE_WORKS=1 update_step > "$work/out" 2>&1 || { echo "FAIL: the point release's install was not taken"; cat "$work/out"; fail=1; }
[ "$(grep -c . "$work/calls")" = 3 ] && ! grep -q '^sleep' "$work/calls" &&
  grep -q -- '-t bookworm install .*wine32:i386' "$work/calls" ||
  { echo "FAIL: not one update, one plain install, one from the point release, no wait:"; cat "$work/calls"; fail=1; }
[ "$(grep -c . "$work/out")" = 1 ] || { echo "FAIL: not one line:"; cat "$work/out"; fail=1; }
check "the point release is said" "^Debian's package index is being updated on the mirror \(bookworm-security i386\); the packages came from the point release \(bookworm\) instead\. .*apt-get upgrade takes the security updates" "$work/out"
exit $fail
