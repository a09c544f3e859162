#!/usr/bin/env bash
# Builds Korvo.exe and runs the whole test suite under Wine (in a virtual display, so message
# boxes are real and can be read and dismissed by the tests).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"

if [ -z "${KORVO_IN_XVFB:-}" ]; then
  exec env KORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

source "$here/wine-env.sh"
# The shipped 32-bit program: always built and checked, run only where 32-bit code runs.
korvo_build

korvo_prepare_prefix
trap korvo_stop_wineserver EXIT
# A hidden window keeps Wine's desktop alive between the tests' message boxes.
korvo_wine "$KORVO_RUN_BUILD/tests/desktop_keeper.exe" &

status=0
if [ "$KORVO_RUN_ARCH" != i686 ]; then
  ctest --test-dir "$KORVO_ROOT/build/i686${KORVO_BUILD_TAG:-}" --output-on-failure || status=1
fi
ctest --test-dir "$KORVO_RUN_BUILD" --output-on-failure "$@" || status=1
exit $status
