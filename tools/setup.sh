#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine and
# makes the project's own 32-bit Wine prefix. Safe to run again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 libwine-dev wixl
          googletest cmake ninja-build python3 tinyproxy openssl)
need_install=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_install=1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "$need_install" = 1 ] || [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The project's Wine prefix: never the user's own. Its settings carry a
# version; a prefix made with older settings gets the new ones.
export WINEPREFIX="${QELT_WINEPREFIX:-$here/build/wineprefix}"
export WINEARCH=win32 WINEDEBUG=-all
settings_version=2
if [ "$(cat "$WINEPREFIX/.qelt-ready" 2>/dev/null)" != "$settings_version" ]; then
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || timeout 300 wineboot -i >/dev/null 2>&1 || true
  # Headless: windows and message boxes through the null graphics driver.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # A crash ends the process with a backtrace instead of waiting in a dialog.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  echo "$settings_version" > "$WINEPREFIX/.qelt-ready"
fi
