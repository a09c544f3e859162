#!/usr/bin/env bash
# Builds Korvo.exe and runs the whole test suite under Wine (in a virtual display, so message
# boxes are real and can be read and dismissed by the tests). The shipped 32-bit program runs
# in two settings: 32-bit Windows (every test) and WOW64, 64-bit Windows (the tests named
# wow64_* in tests/CMakeLists.txt).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
KORVO_COMMAND=scripts/test.sh "$here/install-deps.sh"

if [ -z "${KORVO_IN_XVFB:-}" ]; then
  exec env KORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

source "$here/wine-env.sh"
korvo_build
echo "Running the 32-bit build $KORVO_RUN_BUILD/Korvo.exe ($KORVO_WINE_ROUTE 32-bit Wine)."

trap 'korvo_stop_wineserver "$KORVO_WINE_PREFIX" "$KORVO_WOW64_PREFIX"' EXIT
korvo_prepare_prefix "$KORVO_WINE_PREFIX" win32 & win32_ready=$!
korvo_prepare_prefix "$KORVO_WOW64_PREFIX" win64 & wow64_ready=$!
wait $win32_ready
wait $wow64_ready
# A hidden window in each keeps Wine's desktop alive between the tests' message boxes. The
# desktop process inherits the standard error of the program that starts it, here the keeper's
# or a test program's: never CTest's pipe itself (scripts/wine-run), which would stay open.
for prefix in "$KORVO_WINE_PREFIX" "$KORVO_WOW64_PREFIX"; do
  KORVO_PREFIX=$prefix korvo_wine "$KORVO_RUN_BUILD/tests/desktop_keeper.exe" </dev/null >>"$prefix.log" 2>&1 &
done

status=0
ctest --test-dir "$KORVO_RUN_BUILD" --output-on-failure -j 2 "$@" || status=$?
# Each test program states what it ran and where (checked before its first test).
echo
sort -u <(grep -ho '^Korvo.exe under test: .*' "$KORVO_RUN_BUILD/Testing/Temporary/LastTest.log" || true)
exit $status
