#!/usr/bin/env bash
# Development helper: runs chosen test programs of an existing build under Wine in a virtual
# display, e.g. scripts/run-wine-tests.sh e2e_tests --gtest_filter='FullLaunch.*'
set -uo pipefail
if [ -z "${KORVO_IN_XVFB:-}" ]; then
  exec env KORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source "$(dirname "$0")/wine-env.sh"
korvo_prepare_prefix
trap korvo_stop_wineserver EXIT
korvo_wine "$KORVO_RUN_BUILD/tests/desktop_keeper.exe" &
program=$1; shift
cd "$KORVO_RUN_BUILD" && "$KORVO_ROOT/scripts/wine-run" "tests/$program.exe" "$@"
