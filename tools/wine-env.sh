# Sourced by scripts: the project's Wine prefix and locale (ANSI code page 950).
QELT_ROOT="${QELT_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${QELT_WINEPREFIX:-$QELT_ROOT/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine takes its ANSI code page from the locale: zh_TW gives 950 (Big5).
export QELT_LC_ALL="${QELT_LOCALE:-zh_TW.UTF-8}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
