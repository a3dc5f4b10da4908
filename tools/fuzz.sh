#!/usr/bin/env bash
# Builds the libFuzzer targets natively with Clang (address and undefined
# behaviour checks) and runs each for the given time on a corpus seeded from
# the repo. Usage: tools/fuzz.sh [SECONDS_EACH] [TARGET...]
#   targets: xml http httpfull cmdline base64 bridge (default: all)
# httpfull reads replies at the real limits: inputs up to 1 MiB and 1 s for
# each, so that work growing faster than the input fails as a time-out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(xml http httpfull cmdline base64 bridge)
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELT_LIBFUZZER=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
for t in "${targets[@]}"; do ninja -C "$build" -j2 "qelt_fuzz_$t" >/dev/null; done
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  cp -n "$root/tests/fuzz/$t/seeds/"* "$corpus/" 2>/dev/null || true
  limits=(-max_len=16384 -timeout=10)
  [ "$t" = httpfull ] && limits=(-max_len=1048576 -timeout=1 -len_control=0)
  echo "== $t: ${seconds}s"
  (cd "$build" && "./tests/fuzz/$t/qelt_fuzz_$t" -max_total_time="$seconds" "${limits[@]}" \
     -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 |
     grep -E '^(#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|stat::slowest_unit_time_sec|stat::peak_rss|==[0-9]+== ?ERROR|SUMMARY)' |
     tail -7) || true
done
