#!/usr/bin/env bash
# Makes the project's Wine prefix for QELT_ARCH (or QELT_WINEPREFIX when set):
# headless, no crash debugger. Its settings carry a version; a prefix made
# with older settings gets the new ones. Safe to run again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
settings_version=2
[ "$(cat "$WINEPREFIX/.qelt-ready" 2>/dev/null)" = "$settings_version" ] && exit 0
w() { "$QELT_WINE" "$@" >/dev/null 2>&1; }
mkdir -p "$WINEPREFIX"
# A 64-bit prefix on a machine without 32-bit execution reports that it
# cannot start syswow64's programs: harmless, hence the silence.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 "$QELT_WINE" wineboot -i >/dev/null 2>&1 || true
  wineserver -w  # the registry reaches its files when the server ends
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix.sh: Wine ($QELT_ARCH) could not make $WINEPREFIX" >&2; exit 1; }
# Headless: windows and message boxes through the null graphics driver.
w reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
# A crash ends the process with a backtrace instead of waiting in a dialog.
w reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f
w reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f || true
w reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wineserver -w
echo "$settings_version" > "$WINEPREFIX/.qelt-ready"
