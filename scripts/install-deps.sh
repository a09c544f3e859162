#!/usr/bin/env bash
# Installs what the build, the demo and the tests need from Debian's archive. Quiet and quick
# when everything is already present.
set -euo pipefail

packages=(
  cmake ninja-build python3 file
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth icoutils
  googletest openjdk-17-jdk-headless
  clang libclang-rt-14-dev gcc
  make patch libz-mingw-w64-dev locales
  wine32:i386
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# Where the kernel refuses 32-bit code, the shipped 32-bit program runs through the emulated
# route; elsewhere Debian's i386 Wine runs it directly.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  "${sudo_cmd[@]}" "$(dirname "$0")/pe32route/setup.sh"
fi

# Wine takes a process's ANSI code page from its locale; the double-byte test runs one in
# ja_JP.UTF-8 (code page 932).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
