# Sourced by the build, test, demo and benchmark scripts: the shipped 32-bit build, the Wine
# that runs it here, and the project's own prefixes inside the build folder.
#   KORVO_ROOT           project root
#   KORVO_RUN_BUILD      build folder of the shipped 32-bit program and its tests (build/i686)
#   KORVO_WINE_PREFIX    32-bit Windows: a win32 prefix (the whole suite)
#   KORVO_WOW64_PREFIX   64-bit Windows running the 32-bit program under WOW64 (a win64 prefix)
#   KORVO_WINE_LOADER    runs a 32-bit Windows program: Debian's i386 Wine loader, natively where
#                        the kernel runs 32-bit code, else under emulation (scripts/pe32route)
#   KORVO_WINE64_LOADER  the 64-bit loader, for creating the win64 prefix
#   KORVO_WINE_ROUTE     native or emulated
# KORVO_BUILD_TAG (optional) gives a separate set of build folders, e.g. for parallel work.
KORVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KORVO_ROOT

KORVO_PE32ROUTE=${KORVO_PE32ROUTE:-/opt/korvo-pe32route}
# A kernel without 32-bit support refuses the i386 Wine loader outright.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  KORVO_WINE_ROUTE=native
  KORVO_WINE_LOADER=/usr/lib/wine/wine
  KORVO_WINE64_LOADER=/usr/lib/wine/wine64
else
  KORVO_WINE_ROUTE=emulated
  KORVO_WINE_LOADER=$KORVO_PE32ROUTE/bin/wine32
  # The route's own copy, so that the 32-bit processes it starts go through the emulator too.
  KORVO_WINE64_LOADER=$KORVO_PE32ROUTE/lib/wine/wine64
  if [ ! -x "$KORVO_WINE_LOADER" ]; then
    echo "The 32-bit Wine route is not installed ($KORVO_PE32ROUTE): run scripts/install-deps.sh as root." >&2
    return 1 2>/dev/null || exit 1
  fi
fi
# The 64-bit server serves 32-bit and 64-bit prefixes alike, and runs natively everywhere.
KORVO_WINESERVER=/usr/lib/wine/wineserver64
KORVO_RUN_BUILD="$KORVO_ROOT/build/i686${KORVO_BUILD_TAG:-}"
KORVO_WINE_PREFIX="$KORVO_RUN_BUILD/wineprefix"
KORVO_WOW64_PREFIX="$KORVO_RUN_BUILD/wineprefix-wow64"
export KORVO_RUN_BUILD KORVO_WINE_PREFIX KORVO_WOW64_PREFIX KORVO_WINE_LOADER KORVO_WINE64_LOADER
export KORVO_WINESERVER KORVO_WINE_ROUTE
export WINEDEBUG=-all
unset WINESERVER WINELOADER WINEDLLPATH

korvo_configure() {  # ARCH [cmake args...]
  local arch=$1; shift
  cmake -S "$KORVO_ROOT" -B "$KORVO_ROOT/build/$arch${KORVO_BUILD_TAG:-}" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$KORVO_ROOT/cmake/mingw-$arch.cmake" "$@" >/dev/null
}

# Runs a 32-bit Windows program in the 32-bit Windows prefix (KORVO_PREFIX overrides).
korvo_wine() { WINEPREFIX="${KORVO_PREFIX:-$KORVO_WINE_PREFIX}" "$KORVO_WINE_LOADER" "$@"; }

# Creates a prefix once (with the display already up, so message boxes work later), then
# applies the settings the tests rely on, and starts its persistent server.
korvo_prepare_prefix() {  # [PREFIX win32|win64]
  local prefix=${1:-$KORVO_WINE_PREFIX} arch=${2:-win32}
  if [ ! -f "$prefix/.korvo-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    local t0=$SECONDS
    echo "Creating the $arch Wine prefix $prefix ($KORVO_WINE_ROUTE 32-bit Wine)..."
    if [ "$arch" = win64 ]; then
      WINEARCH=win64 WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" \
        "$KORVO_WINE64_LOADER" wineboot -i </dev/null >"$prefix.log" 2>&1 || true
    else
      WINEARCH=win32 WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" \
        "$KORVO_WINE_LOADER" wineboot -i </dev/null >"$prefix.log" 2>&1 || true
    fi
    WINEPREFIX="$prefix" "$KORVO_WINESERVER" -w
    if [ ! -f "$prefix/system.reg" ]; then
      echo "Wine could not create the prefix $prefix; its output is in $prefix.log" >&2
      return 1
    fi
    echo "$arch" > "$prefix/.korvo-ready"
    echo "  ready in $((SECONDS - t0)) s"
  fi
  korvo_start_wineserver "$prefix"
  local reg=(env WINEPREFIX="$prefix" "$KORVO_WINE_LOADER" reg add)
  "${reg[@]}" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # A crash ends the process with its exception code at once, without a debugger starting.
  "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1
  # Otherwise Wine substitutes its own copy for any runtime C library, even one loaded by full
  # path. Nor may its placeholders in the system folders end a search by name for one (jvm.dll
  # imports it): a system without them, so a copy where the search must not look shows.
  local clib
  for clib in msvcr71 msvcr100 vcruntime140; do
    "${reg[@]}" 'HKCU\Software\Wine\DllOverrides' /v $clib /d native /f >/dev/null 2>&1
    rm -f "$prefix"/drive_c/windows/system32/$clib.dll "$prefix"/drive_c/windows/syswow64/$clib.dll
  done
  # Drive K: lets tests place the executable at the root of a drive.
  mkdir -p "$KORVO_RUN_BUILD/kdrive"
  ln -sfn "$KORVO_RUN_BUILD/kdrive" "$prefix/dosdevices/k:"
}

# Persistent, so each Wine program starts in a fraction of a second; an already running server
# for the prefix is fine.
korvo_start_wineserver() { WINEPREFIX="${1:-$KORVO_WINE_PREFIX}" "$KORVO_WINESERVER" -p 2>/dev/null || true; }
korvo_stop_wineserver() {
  local prefix
  for prefix in "${@:-$KORVO_WINE_PREFIX}"; do
    WINEPREFIX="$prefix" "$KORVO_WINESERVER" -k 2>/dev/null || true
  done
}

# Builds the given targets (default: all) of the shipped 32-bit build, and the 64-bit twin of
# the program as a compile check only (nothing runs it).
korvo_build() {
  local jobs
  jobs=$(nproc)
  korvo_configure i686 -DKORVO_WINE_TESTS=ON
  korvo_configure x86_64 -DKORVO_TESTS=OFF
  cmake --build "$KORVO_RUN_BUILD" -j "$jobs" --target "${@:-all}"
  cmake --build "$KORVO_ROOT/build/x86_64${KORVO_BUILD_TAG:-}" -j "$jobs" --target Korvo
}
