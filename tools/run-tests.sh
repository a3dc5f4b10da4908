#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the portable
# parts natively, then everything under Wine for each architecture this
# machine can run (x86 and x64, or x64 alone; QELT_ARCHS chooses), each in
# its own build folder and prefix.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/setup.sh"
source "$root/tools/arch.sh"
archs="$(qelt_archs)"
bash "$root/tools/build.sh" all
status=0
ctest --test-dir "$root/build/native" --output-on-failure -j2 || status=1
results=()
for arch in $archs; do
  echo "== Windows tests for $arch: build/win-$arch under $([ "$arch" = x64 ] && echo 64 || echo 32)-bit Wine"
  if (export QELT_ARCH="$arch"; source "$root/tools/wine-env.sh"
      trap 'wineserver -k 2>/dev/null || true' EXIT
      ctest --test-dir "$root/build/win-$arch" --output-on-failure -j2); then
    results+=("$arch passed")
  else
    results+=("$arch FAILED"); status=1
  fi
done
if ! qelt_runs_32bit_code; then
  results+=("x86 not built or tested: this machine cannot run 32-bit code")
elif [ -n "${QELT_ARCHS:-}" ]; then
  results+=("chosen by QELT_ARCHS=$QELT_ARCHS")
fi
echo "== Architectures: $(IFS=';'; echo "${results[*]}" | sed 's/;/; /g')"
exit $status
