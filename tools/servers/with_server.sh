#!/usr/bin/env bash
# Runs a test command with the loopback servers up, and stops them after:
#   the script server            QELT_SCRIPT_PORT, QELT_STALLED_PORT
#   the validation service       QELT_VALIDATION_PORT
#   tinyproxy in front of it     QELT_PROXY_PORT, QELT_PROXY_USER, QELT_PROXY_PASSWORD
#   test certificates (Base64)   QELT_CERT_VALID, QELT_CERT_REVOKED
#   a port nobody listens on     QELT_CLOSED_PORT
# Usage: with_server.sh COMMAND [ARGS...]   (its exit status is the command's)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/qelt-servers.XXXXXX")"
pids=()

stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 143' TERM INT

fail() {
  echo "with_server.sh: $*" >&2
  for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }; done
  exit 1
}

# Starts a server that prints "READY key=value ..." and waits for that line.
start_ready() {  # name command...
  local name="$1"; shift
  "$@" >"$work/$name.out" 2>"$work/$name.log" &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q '^READY' "$work/$name.out" 2>/dev/null && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || fail "$name exited early"
    sleep 0.1
  done
  fail "$name did not get ready"
}

ready_value() {  # name key
  sed -n "s/^READY.*\b$2=\([0-9]*\).*/\1/p" "$work/$1.out"
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

bash "$here/make_test_certs.sh" "$work/certs"
export QELT_CERT_VALID="$(cat "$work/certs/valid.b64")"
export QELT_CERT_REVOKED="$(cat "$work/certs/revoked.b64")"

start_ready script python3 "$here/scripted_http_peer.py" --host 127.0.0.1 --port 0
export QELT_SCRIPT_PORT="$(ready_value script port)"
export QELT_STALLED_PORT="$(ready_value script stalled_port)"

# The test cards' revocation list joins the generated certificates' one.
cards_revoked="$here/../../tests/cards/revoked-serials.txt"
[ -f "$cards_revoked" ] && cat "$cards_revoked" >>"$work/certs/revoked.txt"
start_ready validation python3 "$here/validation_service.py" --host 127.0.0.1 --port 0 \
  --revoked-file "$work/certs/revoked.txt"
export QELT_VALIDATION_PORT="$(ready_value validation port)"

export QELT_PROXY_USER=qelt QELT_PROXY_PASSWORD=open-sesame
export QELT_PROXY_PORT="$(free_port)"
cat >"$work/tinyproxy.conf" <<CONF
Port $QELT_PROXY_PORT
Listen 127.0.0.1
Timeout 30
MaxClients 20
Allow 127.0.0.1
BasicAuth $QELT_PROXY_USER $QELT_PROXY_PASSWORD
LogLevel Warning
DisableViaHeader Yes
CONF
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $QELT_PROXY_PORT), 1)" \
    2>/dev/null && break
  kill -0 "${pids[-1]}" 2>/dev/null || fail "tinyproxy exited early"
  sleep 0.1
done

export QELT_CLOSED_PORT="$(free_port)"

set +e
"$@"
status=$?
set -e
exit "$status"
