#!/usr/bin/env bash
# Installs what the build, the demo and the tests need from Debian's archive. Quiet and quick
# when everything is already present (then no network is touched).
#
# A Debian mirror in the middle of a sync serves some package indexes that fail to download
# (e.g. "File has unexpected size ... Mirror sync in progress?"), sometimes for 20 minutes and
# more. The index update is therefore tried up to KORVO_APT_TRIES times (default 6), with waits
# growing from KORVO_APT_WAIT seconds (default 60: 60, 90, 120, 150, 180 s, 10 minutes in all);
# after a failed update, the install is tried with the indexes already in place, and only a
# failed install stops the script. When the update failed only for a suite's security or updates
# index (bookworm-security i386, say), apt keeps that suite's old 64-bit list, whose library
# versions have no i386 twin yet, and the install of wine32:i386 cannot resolve ("held broken
# packages"): the install is then tried with the point release as the target (apt-get -t
# bookworm), which gives both architectures its equal versions, before any wait. Sourced (tests/setup/check_apt_retry.sh,
# scripts/pe32route/setup.sh), this file only defines the functions of that update step.
set -euo pipefail

# korvo_apt_update_then UPDATE-COMMAND... -- INSTALL-COMMAND...
# Runs the update (an "apt-get update"); when it fails, tries the install all the same, since what
# is needed may well be installable from the indexes in place; when that fails too, waits and
# tries both again. Returns the install's status; after the last try, says which index failed.
# The install command reads KORVO_APT_TARGET: a release to take the packages from (apt-get -t).
korvo_apt_update_then() {
  local update=() install=() log tries=${KORVO_APT_TRIES:-6} base=${KORVO_APT_WAIT:-60}
  local try=1 total=0 k indexes what release
  while [ "$1" != -- ]; do update+=("$1"); shift; done
  shift
  install=("$@")
  log=$(mktemp -t korvo-apt.XXXXXX)
  for ((k = 2; k <= tries; k++)); do total=$((total + base * k / 2)); done
  if [ "$total" -ge 120 ]; then total="$((total / 60)) minutes"; else total="$total s"; fi
  while :; do
    if "${update[@]}" >"$log" 2>&1; then
      rm -f "$log"
      "${install[@]}"
      return
    fi
    # The indexes that failed, as "suite architecture", from apt's "Failed to fetch" lines.
    indexes=$(sed -n 's|.*Failed to fetch .*/dists/\([^/ ]*\)/\(.*binary-\([a-z0-9]*\)/\)\{0,1\}.*|\1 \3|p' "$log" \
      | sed 's/ $//' | sort -u | paste -sd, - | sed 's/,/, /g')
    what="Debian's package index"
    if grep -qiE 'Mirror sync in progress|unexpected size|Hash Sum mismatch' "$log"; then
      what+=" is being updated on the mirror"
    else
      what+=" could not be fetched from the mirror"
    fi
    [ -n "$indexes" ] || indexes=$(grep -m1 '^E: ' "$log" | cut -c4- || true)
    what+=" (${indexes:-apt gave no reason})"
    if "${install[@]}" >>"$log" 2>&1; then
      echo "$what; everything needed was installed from the package indexes already in place."
      rm -f "$log"
      return 0
    fi
    # The point release of the first failed suite that is a security or updates suite. -y
    # without --allow-downgrades makes apt refuse any downgrade of an installed package.
    release=$(sed -n 's|.*Failed to fetch .*/dists/\([a-z]*\)-[a-z]*/.*|\1|p' "$log" | head -n 1)
    if [ -n "$release" ] && KORVO_APT_TARGET=$release "${install[@]}" >>"$log" 2>&1; then
      echo "$what; the packages came from the point release ($release) instead. Once the mirror's index is whole again, apt-get upgrade takes the security updates."
      rm -f "$log"
      return 0
    fi
    if [ "$try" -ge "$tries" ]; then
      {
        echo "$what; it failed $tries times over $total, and what is needed cannot be installed without it."
        echo "This is the state of Debian's mirror, not a fault of this project or of this machine."
        echo "Run ${KORVO_COMMAND:-the same command} again later (in half an hour, say). apt's own output: $log"
      } >&2
      return 1
    fi
    try=$((try + 1))
    echo "$what; trying again in $((base * try / 2)) s ($try/$tries)"
    sleep "$((base * try / 2))"
  done
}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# The install of the given packages, the index update first.
korvo_apt_install() {
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 \
    ${KORVO_APT_TARGET:+-t "$KORVO_APT_TARGET"} install -y -qq --no-install-recommends "$@" >/dev/null
}
korvo_update_and_install() {  # PACKAGE...
  korvo_apt_update_then "${sudo_cmd[@]}" apt-get -o Acquire::Retries=3 update -qq -- korvo_apt_install "$@"
}
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

packages=(
  cmake ninja-build python3 file
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth icoutils
  googletest openjdk-17-jdk-headless
  clang libclang-rt-14-dev gcc
  make patch libz-mingw-w64-dev locales
  # scripts/sign.sh (osslsigncode, OpenSSL's PKCS#11 engine); its checks' software token, and
  # opensc's pkcs11-tool, which generates the token's key inside it
  osslsigncode libengine-pkcs11-openssl softhsm2 opensc
  wine32:i386
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  korvo_update_and_install "${missing[@]}"
fi

# Where the kernel refuses 32-bit code, the shipped 32-bit program runs through the emulated
# route; elsewhere Debian's i386 Wine runs it directly.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  "${sudo_cmd[@]}" "$(dirname "$0")/pe32route/setup.sh"
fi

# Wine takes a process's ANSI code page from its locale, and the Unix form of file names from it
# too: the double-byte test runs in ja_JP.UTF-8 (code page 932), the UTF-8 one in hi_IN.UTF-8
# (code page 65001). Without the locale, no name outside ASCII reaches the file system.
for loc in ja_JP hi_IN; do
  if ! locale -a 2>/dev/null | grep -qix "$loc\.utf-\?8"; then
    "${sudo_cmd[@]}" localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
