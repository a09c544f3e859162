# Sourced by the build, test, demo and benchmark scripts: the project's own Wine prefix inside
# the build folder, and the architecture this machine can run.
#   KORVO_ROOT          project root
#   KORVO_RUN_ARCH      i686 where 32-bit programs run here, else x86_64 (the test twin)
#   KORVO_RUN_BUILD     build folder of that architecture
#   KORVO_WINE_PREFIX / KORVO_WINE_LOADER / KORVO_WINESERVER
# KORVO_BUILD_TAG (optional) gives a separate set of build folders, e.g. for parallel work.
KORVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KORVO_ROOT

# A kernel without 32-bit support refuses the 32-bit Wine loader outright.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  KORVO_RUN_ARCH=i686
  KORVO_WINE_LOADER=/usr/lib/wine/wine
  KORVO_WINESERVER=/usr/lib/wine/wineserver32
  korvo_winearch=win32
else
  KORVO_RUN_ARCH=x86_64
  KORVO_WINE_LOADER=/usr/lib/wine/wine64
  KORVO_WINESERVER=/usr/lib/wine/wineserver64
  korvo_winearch=win64
fi
[ -x "$KORVO_WINESERVER" ] || KORVO_WINESERVER=/usr/lib/wine/wineserver
KORVO_RUN_BUILD="$KORVO_ROOT/build/$KORVO_RUN_ARCH${KORVO_BUILD_TAG:-}"
KORVO_WINE_PREFIX="$KORVO_RUN_BUILD/wineprefix"
export KORVO_RUN_ARCH KORVO_RUN_BUILD KORVO_WINE_PREFIX KORVO_WINE_LOADER KORVO_WINESERVER
export WINEDEBUG=-all

korvo_configure() {  # ARCH [cmake args...]
  local arch=$1; shift
  cmake -S "$KORVO_ROOT" -B "$KORVO_ROOT/build/$arch${KORVO_BUILD_TAG:-}" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$KORVO_ROOT/cmake/mingw-$arch.cmake" "$@" >/dev/null
}

korvo_wine() { WINEPREFIX="$KORVO_WINE_PREFIX" "$KORVO_WINE_LOADER" "$@"; }

# Creates the prefix once (with the display already up, so message boxes work later), then
# applies the settings the tests rely on.
korvo_prepare_prefix() {
  if [ ! -f "$KORVO_WINE_PREFIX/system.reg" ]; then
    mkdir -p "$KORVO_WINE_PREFIX"
    WINEARCH=$korvo_winearch WINEPREFIX="$KORVO_WINE_PREFIX" WINEDLLOVERRIDES="mscoree,mshtml=" \
      "$KORVO_WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$KORVO_WINE_PREFIX" "$KORVO_WINESERVER" -w
  fi
  korvo_start_wineserver
  korvo_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # Otherwise Wine substitutes its own copy for any msvcr71.dll, even one loaded by full path.
  korvo_wine reg add 'HKCU\Software\Wine\DllOverrides' /v msvcr71 /d native /f >/dev/null 2>&1
  # Nor may its placeholder in the system folders end a search by name for msvcr71.dll (jvm.dll
  # imports it): a system without one of its own, so a copy where the search must not look shows.
  rm -f "$KORVO_WINE_PREFIX"/drive_c/windows/system32/msvcr71.dll "$KORVO_WINE_PREFIX"/drive_c/windows/syswow64/msvcr71.dll
  # Drive K: lets tests place the executable at the root of a drive.
  mkdir -p "$KORVO_RUN_BUILD/kdrive"
  ln -sfn "$KORVO_RUN_BUILD/kdrive" "$KORVO_WINE_PREFIX/dosdevices/k:"
}

# Persistent, so each Wine program starts in a fraction of a second; an already running server
# for this prefix is fine.
korvo_start_wineserver() { WINEPREFIX="$KORVO_WINE_PREFIX" "$KORVO_WINESERVER" -p 2>/dev/null || true; }
korvo_stop_wineserver() { WINEPREFIX="$KORVO_WINE_PREFIX" "$KORVO_WINESERVER" -k 2>/dev/null || true; }

# Builds the shipped 32-bit Korvo.exe, then the given targets (default: all) of the build that
# Wine runs here: the same folder where 32-bit programs run, else the 64-bit twin.
korvo_build() {
  local jobs
  jobs=$(nproc)
  if [ "$KORVO_RUN_ARCH" = i686 ]; then
    korvo_configure i686 -DKORVO_WINE_TESTS=ON
  else
    korvo_configure i686 -DKORVO_WINE_TESTS=OFF
    korvo_configure x86_64 -DKORVO_WINE_TESTS=ON
    echo "Note: this kernel cannot run 32-bit programs; Wine runs the 64-bit twin of the same sources."
  fi
  cmake --build "$KORVO_ROOT/build/i686${KORVO_BUILD_TAG:-}" -j "$jobs" --target Korvo
  cmake --build "$KORVO_RUN_BUILD" -j "$jobs" --target "${@:-all}"
}
