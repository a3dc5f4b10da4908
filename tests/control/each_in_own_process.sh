#!/usr/bin/env bash
# Runs each test of a GoogleTest program in a process of its own, with Wine's
# heap checking on (freed blocks poisoned, a damaged heap reported). A test
# fails on its own result, on a crash, or on any report of the heap channel.
# Usage: each_in_own_process.sh RUNNER... PROGRAM
#   RUNNER... runs a Windows program (tools/wine-run.sh); PROGRAM comes last.
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: $0 RUNNER... PROGRAM" >&2; exit 2; }
program="${*: -1}"
runner=("${@:1:$#-1}")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

tests="$(timeout 120 "${runner[@]}" "$program" --gtest_list_tests | tr -d '\r' |
         awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')"
[ -n "$tests" ] || { echo "no tests listed by $program" >&2; exit 1; }

failed=0
for test in $tests; do
  # The filter goes by the environment: arguments would reach the control.
  GTEST_FILTER="$test" WINEDEBUG=warn+heap timeout 120 "${runner[@]}" "$program" \
    >"$work/out" 2>"$work/err"
  status=$?
  tr -d '\r' <"$work/out" >"$work/out.txt"
  heap="$(grep -E ':heap:' "$work/err" | head -5)"
  if [ "$status" = 0 ] && [ -z "$heap" ] && grep -q '^\[  PASSED  \] 1 test\.' "$work/out.txt"; then
    echo "ok      $test"
    continue
  fi
  failed=1
  echo "FAILED  $test (exit status $status)"
  # The test's own failures, up to a crash's first line (its dump follows).
  sed '/^Unhandled exception/q' "$work/out.txt" | grep -vE '^(\[|Note: |Running main|$)' | sed 's/^/    /'
  [ -n "$heap" ] && printf '%s\n' "$heap" | sed 's/^/    /'
done
exit "$failed"
