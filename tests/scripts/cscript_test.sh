#!/usr/bin/env bash
# Runs a script through Windows Script Host once per card and compares what
# it printed, as UTF-8, with the expected output.
# Scripts print ASCII only: JScript writes other characters as \uXXXX, VBScript
# (without AscW in Wine) as \x{HHHH}, the character's code in the ANSI code
# page (950); both are turned back into UTF-8 text here.
# Usage: cscript_test.sh OCX CARD_DLL EXPECTED SCRIPT CARD:PART...
#   CARD: a profile in tests/scripts/cards (NAME.profile) or a test card
#   (tests/cards/NAME); CARD and PART are the script's two arguments.
#   Each run's output follows a line "== CARD:PART".
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
ocx="$1" card_dll="$2" expected="$3" script="$4"
shift 4
wine_run="$root/tools/wine-run.sh"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

unescape() {
  python3 -c '
import re, sys
text = re.sub(rb"\\x\{([0-9A-F]{1,4})\}",
              lambda m: int(m.group(1), 16).to_bytes(2 if len(m.group(1)) > 2 else 1, "big"),
              sys.stdin.buffer.read())
text = re.sub(r"\\u([0-9A-F]{4})", lambda m: chr(int(m.group(1), 16)), text.decode("cp950"))
sys.stdout.buffer.write(text.replace("\r", "").encode("utf-8"))
'
}

fail() { echo "cscript_test.sh: $*" >&2; exit 1; }

# Registered in the prefix as a page's machine would have them; one
# registration at a time, since type library registrations in parallel
# trip over each other's keys.
for module in "$ocx" "$card_dll"; do
  [ -f "$module" ] || fail "missing $module"
  flock "${TMPDIR:-/tmp}/qelt-regsvr32.lock" timeout 60 "$wine_run" regsvr32 /s "$(winpath "$module")" \
    || fail "regsvr32 failed for $module"
done

actual="$(mktemp "${TMPDIR:-/tmp}/cscript-test.XXXXXX")"
trap 'rm -f "$actual"' EXIT
for run in "$@"; do
  card="${run%%:*}" part="${run#*:}"
  profile="$here/cards/$card.profile"
  [ -f "$profile" ] || profile="$root/tests/cards/$card/card.profile"
  [ -f "$profile" ] || fail "no card profile for $card"
  echo "== $run" >>"$actual"
  # Wine's cscript reports a script error by ending quietly with status 0:
  # the scripts end with "done", so a cut-short run shows in the comparison.
  QELT_CARD_PROFILE="$(winpath "$profile")" timeout 120 "$wine_run" cscript //nologo "$(winpath "$script")" "$card" "$part" \
    | unescape >>"$actual" || fail "cscript failed for $run"
done

if ! diff -u "$expected" "$actual"; then
  fail "output of $(basename "$script") differs from $(basename "$expected")"
fi
