#!/usr/bin/env bash
# The shipped file is reproducible: two clean builds of the same sources, from copies in folders
# of different names, give byte-identical Korvo.exe, and so does the build the tests ran.
# Usage: check_reproducible.sh SOURCE_ROOT TESTED_EXE
set -euo pipefail
src=$1 tested=$2
work=$(mktemp -d /tmp/korvo-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

build() {  # FOLDER_NAME
  local root="$work/$1"
  mkdir -p "$root"
  # What the program is built from; the test suite is left out.
  (cd "$src" && cp -r CMakeLists.txt cmake scripts base launcher runtime config vm resources "$root/")
  cmake -S "$root" -B "$root/out-$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVO_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$root/out-$1" --target Korvo >/dev/null
  echo "$root/out-$1/Korvo.exe"
}

first=$(build one)
second=$(build second-copy)
status=0
for exe in "$second" "$tested"; do
  if cmp -s "$first" "$exe"; then
    echo "identical: $exe"
  else
    echo "DIFFERENT: $first and $exe"
    cmp -l "$first" "$exe" | head -20 || true
    status=1
  fi
done
echo "$(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -d' ' -f1)"
exit $status
