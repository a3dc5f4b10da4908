#!/usr/bin/env bash
# Runs a command with the validation service listening where the control's
# default validation URL points: 127.0.0.1, port 80, judging by the test
# cards' revocation list. Tests using it take the CTest lock "port80".
# Usage: with_port80_service.sh COMMAND [ARGS...]   (its exit status is the command's)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$(mktemp "${TMPDIR:-/tmp}/port80-service.XXXXXX")"
service=""
stop() {
  [ -n "$service" ] && { kill "$service" 2>/dev/null || true; wait "$service" 2>/dev/null || true; }
  rm -f "$out"
}
trap stop EXIT
trap 'exit 143' TERM INT

python3 "$root/tools/servers/validation_service.py" --host 127.0.0.1 --port 80 \
  --revoked-file "$root/tests/cards/revoked-serials.txt" >"$out" 2>&1 &
service=$!
for _ in $(seq 100); do
  grep -q '^READY' "$out" && break
  if ! kill -0 "$service" 2>/dev/null; then
    echo "with_port80_service.sh: cannot listen on 127.0.0.1:80 (in use, or not allowed for this user):" >&2
    tail -3 "$out" >&2
    exit 1
  fi
  sleep 0.1
done
grep -q '^READY' "$out" || { echo "with_port80_service.sh: the validation service did not get ready" >&2; exit 1; }

set +e
"$@"
status=$?
set -e
exit "$status"
