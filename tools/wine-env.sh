# Sourced by scripts: the project's Wine for one architecture, its prefix and
# its build folder, and the locale (ANSI code page 950).
#   QELT_ARCH    x86 (32-bit Wine, build/win-x86) or x64 (64-bit Wine,
#                build/win-x64); default: x86 where this machine runs
#                32-bit code, else x64
#   QELT_WINE    the Wine loader of that architecture: call it, not `wine`,
#                whose launcher picks the 32-bit loader wherever it is
#                installed, even where it cannot run
QELT_ROOT="${QELT_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
source "$QELT_ROOT/tools/arch.sh"
if [ -z "${QELT_ARCH:-}" ]; then
  QELT_ARCH="$(qelt_runnable_archs)"
  QELT_ARCH="${QELT_ARCH%% *}"
fi
case "$QELT_ARCH" in
  x86) export WINEARCH=win32 QELT_WINE=/usr/lib/wine/wine ;;
  x64) export WINEARCH=win64 QELT_WINE=/usr/lib/wine/wine64 ;;
  *) echo "QELT_ARCH: unknown architecture '$QELT_ARCH' (x86, x64)" >&2; return 2 ;;
esac
export QELT_ARCH
# Processes Wine starts itself (a script host starting a program) use the
# same loader.
export WINELOADER="$QELT_WINE"
export WINEPREFIX="${QELT_WINEPREFIX:-$QELT_ROOT/build/wineprefix-$QELT_ARCH}"
export QELT_WIN_BUILD="$QELT_ROOT/build/win-$QELT_ARCH"
export QELT_TOOLCHAIN="$(qelt_toolchain_file "$QELT_ARCH")"
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine takes its ANSI code page from the locale: zh_TW gives 950 (Big5).
export QELT_LC_ALL="${QELT_LOCALE:-zh_TW.UTF-8}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Runs a Windows program in the prefix with the project's locale.
qelt_wine() { env LC_ALL="$QELT_LC_ALL" "$QELT_WINE" "$@"; }
