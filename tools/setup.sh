#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine and
# makes the project's Wine prefix for every architecture to build and test
# (tools/arch.sh: x86 and x64 where this machine runs 32-bit code, x64 alone
# elsewhere, or QELT_ARCHS). Safe to run again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/tools/arch.sh"
if ! qelt_runs_32bit_code && [ -z "${QELT_ARCHS:-}" ]; then
  echo "setup: this machine cannot run 32-bit code: x86 is neither built nor tested here, x64 is"
fi
archs="$(qelt_archs)"

packages=(mingw-w64-tools wine libwine-dev wixl googletest cmake ninja-build python3 tinyproxy openssl
          osslsigncode gcab msitools nlohmann-json3-dev)
packages+=(chromium firefox-esr)  # the browser tests (tests/browser)
# Node 18 or later for the browser tests and the protocol check: Debian's, unless a Node is there.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
for arch in $archs; do
  case "$arch" in
    x86) packages+=(g++-mingw-w64-i686-posix wine32:i386) ;;
    x64) packages+=(g++-mingw-w64-x86-64-posix wine64 libwine:amd64) ;;
  esac
done
need_update=0
if [[ " $archs " == *" x86 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "$need_update" = 1 ] || [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for arch in $archs; do
  QELT_ARCH="$arch" bash "$here/tools/wine-prefix.sh"
done
