#!/usr/bin/env bash
# The browser bridge in Debian's Chromium and Firefox ESR (bridge.test.js, run
# by Node's test runner), for the demo's architecture: x86 where this machine
# runs 32-bit code, else x64; QELT_ARCH chooses, as for the demo. Installs
# what is missing (the browsers from Debian, puppeteer-core from the npm
# registry by the lockfile; no browser is ever downloaded).
#
# Usage: run.sh [--demo-arch-only] [BRIDGE_EXE OCX CARD_DLL ANSWER_BOX SERVICE_EXE [EXTENSION_DIR]]
#        run.sh --demo PNG | --script FILE [ARGS...]
#   --demo-arch-only  as CTest runs it in every Windows build: skip (exit 0)
#                     unless QELT_ARCH is the demo's architecture
#   --demo PNG        the demo instead of the tests (demo/bridge-page.mjs):
#                     the sample page at work, its screenshot saved as PNG
#   --script FILE     another Node program on the same set-up (a benchmark),
#                     with ARGS; the files are those of build/win-$QELT_ARCH
#   without files: those of build/win-$QELT_ARCH, brought up to date first
# The browsers, the host and Wine run in a network namespace of their own
# (loopback only) where unshare can make one: the browsers reach for the
# Internet otherwise.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$root/tools/arch.sh"
demo_only=0
script=()
if [ "${1:-}" = --demo-arch-only ]; then
  demo_only=1
  shift
elif [ "${1:-}" = --demo ]; then
  script=("$root/demo/bridge-page.mjs" "$(realpath -m "$2")")
  shift 2
elif [ "${1:-}" = --script ]; then
  shift
  script=("$@")
  set --
fi
demo_arch="$(qelt_archs)"  # QELT_ARCHS=x64 stands for a machine that runs 64-bit code only
demo_arch="${demo_arch%% *}"
arch="${QELT_ARCH:-$demo_arch}"
if [ "$demo_only" = 1 ] && [ "$arch" != "$demo_arch" ]; then
  echo "skipped: the browser tests run in the demo's architecture only ($demo_arch on this machine), this build is $arch"
  exit 0
fi
case "$arch" in
  x86|x64) ;;
  *) echo "run.sh: QELT_ARCH: unknown architecture '$arch' (x86, x64)" >&2; exit 2 ;;
esac

missing=()
for p in chromium firefox-esr; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
command -v ip >/dev/null || missing+=(iproute2)
# The demo's screenshot shows the card's Chinese text.
[ "${#script[@]}" -gt 0 ] && ! dpkg -s fonts-wqy-microhei >/dev/null 2>&1 && missing+=(fonts-wqy-microhei)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "run.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# npm with the real HOME, so its settings (~/.npmrc) apply.
if [ ! -f "$here/node_modules/.package-lock.json" ] || [ "$here/package-lock.json" -nt "$here/node_modules/.package-lock.json" ]; then
  (cd "$here" && flock /tmp/qelt-browser-npm.lock env PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund >/dev/null)
fi

if [ "$#" -ge 5 ]; then
  files=("$@")
else
  build="$root/build/win-$arch"
  if [ ! -f "$build/build.ninja" ]; then
    echo "run.sh: no Windows build for $arch: QELT_ARCHS=$arch tools/build.sh win" >&2
    exit 2
  fi
  flock /tmp/qelt-build.lock ninja -C "$build" qelt_bridge qelt_ocx qelt_virtual_card answer_box \
    qelt_validation_service >/dev/null
  # The PIN dialog's answerer, beside answer_box, where this build makes one.
  if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^answer_pin:'; then
    flock /tmp/qelt-build.lock ninja -C "$build" answer_pin >/dev/null
  fi
  # The extension's release folder, where this build makes one.
  if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^qelt_extension:'; then
    flock /tmp/qelt-build.lock ninja -C "$build" qelt_extension >/dev/null
  fi
  extension="$root/bridge/extension"
  [ -f "$build/bridge/extension/unpacked/manifest.json" ] && extension="$build/bridge/extension/unpacked"
  files=("$build/bridge/host/qelt-bridge.exe" "$build/control/QELTReaderProj1.ocx"
         "$build/virtualcard/QELTVirtualCard.dll" "$build/tests/bridge/answer_box.exe"
         "$build/devkit/service/QELTValidationService.exe" "$extension")
fi
for f in "${files[@]:0:5}"; do
  [ -f "$f" ] || { echo "run.sh: missing $f" >&2; exit 2; }
done
export QELT_ARCH="$arch" QELT_BRIDGE_EXE="${files[0]}" QELT_OCX="${files[1]}" QELT_CARD_DLL="${files[2]}"
export QELT_ANSWER_BOX="${files[3]}" QELT_SERVICE_EXE="${files[4]}" QELT_EXTENSION_DIR="${files[5]:-$root/bridge/extension}"
# answer_pin is built beside answer_box; QELT_ANSWER_PIN names another.
export QELT_ANSWER_PIN="${QELT_ANSWER_PIN:-$(dirname "${files[3]}")/answer_pin.exe}"

# The run's folder (HOME, profiles, Wine prefix). The tests end what they
# started; this is for a run cut short.
work="$(mktemp -d "${TMPDIR:-/tmp}/qelt-browser.XXXXXX")"
export QELT_BROWSER_WORK="$work"
cleanup() {
  if [ -d "$work/wineprefix" ]; then
    WINEPREFIX="$work/wineprefix" timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  local file pid
  for file in $(grep -lzxF -e "HOME=$work/home" -e "WINEPREFIX=$work/wineprefix" /proc/[0-9]*/environ 2>/dev/null); do
    pid="${file#/proc/}"
    kill -9 "${pid%/environ}" 2>/dev/null || true
  done
  [ -n "${QELT_BROWSER_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cd "$here"
if [ "${#script[@]}" -gt 0 ]; then
  test=(node "${script[@]}")
else
  echo "browser tests: $arch, $(/usr/lib/chromium/chromium --version 2>/dev/null), $(/usr/lib/firefox-esr/firefox-esr --version 2>/dev/null)"
  test=(node --test --test-reporter=spec bridge.test.js)
fi
status=0
if unshare -n true 2>/dev/null; then
  unshare -n -- sh -c 'ip link set lo up && exec "$@"' sh "${test[@]}" || status=$?
else
  echo "run.sh: no network namespace of our own (unshare -n): the browsers may reach for the Internet"
  "${test[@]}" || status=$?
fi
exit "$status"
