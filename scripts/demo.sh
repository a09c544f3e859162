#!/usr/bin/env bash
# Builds Korvo.exe and launches the demo application under Wine, then reports what happened.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
KORVO_COMMAND=scripts/demo.sh "$here/install-deps.sh"
source "$here/wine-env.sh"

korvo_build korvo_demo
echo "Built $KORVO_RUN_BUILD/Korvo.exe (the 32-bit program that ships); it runs on $KORVO_WINE_ROUTE 32-bit Wine."
echo

korvo_prepare_prefix
trap korvo_stop_wineserver EXIT
status=0
korvo_wine "$KORVO_RUN_BUILD/tests/korvo_demo.exe" || status=$?
echo
echo "The demo's folders are in $KORVO_WINE_PREFIX/drive_c/KorvoDemo (C:\\KorvoDemo under Wine)."
exit $status
