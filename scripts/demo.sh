#!/usr/bin/env bash
# Builds Korvo.exe and launches the demo application under Wine, then reports what happened.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
source "$here/wine-env.sh"
jobs=$(nproc)

korvo_configure i686 -DKORVO_WINE_TESTS=OFF
cmake --build "$KORVO_ROOT/build/i686${KORVO_BUILD_TAG:-}" -j "$jobs" --target Korvo
echo "Built $KORVO_ROOT/build/i686/Korvo.exe (the 32-bit program that ships)."
if [ "$KORVO_RUN_ARCH" = i686 ]; then
  korvo_configure i686 -DKORVO_WINE_TESTS=ON
else
  korvo_configure x86_64 -DKORVO_WINE_TESTS=ON
  echo "This kernel cannot run 32-bit programs: the demo runs its 64-bit twin, same sources."
fi
cmake --build "$KORVO_RUN_BUILD" -j "$jobs" --target korvo_demo
echo

korvo_prepare_prefix
trap korvo_stop_wineserver EXIT
status=0
korvo_wine "$KORVO_RUN_BUILD/tests/korvo_demo.exe" || status=$?
echo
echo "The demo's folders are in $KORVO_WINE_PREFIX/drive_c/KorvoDemo (C:\\KorvoDemo under Wine)."
exit $status
