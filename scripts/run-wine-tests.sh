#!/usr/bin/env bash
# Development helper: runs chosen test programs of an existing build under Wine in a virtual
# display, e.g. scripts/run-wine-tests.sh e2e_tests --gtest_filter='FullLaunch.*'
# With --wow64 first, in the 64-bit prefix (WOW64) instead of the 32-bit one.
set -uo pipefail
if [ -z "${KORVO_IN_XVFB:-}" ]; then
  exec env KORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source "$(dirname "$0")/wine-env.sh"
prefix=$KORVO_WINE_PREFIX arch=win32 setting=()
if [ "${1:-}" = --wow64 ]; then
  shift
  prefix=$KORVO_WOW64_PREFIX arch=win64 setting=(--wow64)
fi
korvo_prepare_prefix "$prefix" "$arch"
trap 'korvo_stop_wineserver "$prefix"' EXIT
KORVO_PREFIX=$prefix korvo_wine "$KORVO_RUN_BUILD/tests/desktop_keeper.exe" &
program=$1; shift
cd "$KORVO_RUN_BUILD" && "$KORVO_ROOT/scripts/wine-run" "${setting[@]}" "tests/$program.exe" "$@"
