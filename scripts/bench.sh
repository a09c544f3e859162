#!/usr/bin/env bash
# Benchmarks: launch overhead against its floors, the launcher's own phases, archive scan at scale,
# executable size.
# Prints figures; asserts nothing. Usage: scripts/bench.sh [rounds]
# KORVO_BENCH_BASELINE=<an earlier Korvo.exe> adds it to the launch figures, run alternately.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
source "$here/wine-env.sh"

korvo_build korvo_bench

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
     "$(/usr/lib/wine/wine64 --version 2>/dev/null || echo wine), the 32-bit build through $KORVO_WINE_ROUTE 32-bit Wine"
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo

korvo_prepare_prefix
trap korvo_stop_wineserver EXIT
korvo_wine "$KORVO_RUN_BUILD/tests/korvo_bench.exe" "${1:-40}"

echo
exe="$KORVO_ROOT/build/i686${KORVO_BUILD_TAG:-}/Korvo.exe"
total=$(stat -c %s "$exe")
# Raw size of the resource section, from the section table (hex).
rsrc_hex=$(i686-w64-mingw32-objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')
rsrc=$((16#${rsrc_hex:-0}))
rsrc_file=$(( (rsrc + 511) / 512 * 512 ))
echo "Size of the shipped 32-bit Korvo.exe"
printf '  %-34s %8d bytes\n' "with resources" "$total" "without resources (.rsrc)" $((total - rsrc_file))
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ { printf "%s ", $3 }')
echo "  imports: $imports"
