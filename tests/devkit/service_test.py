#!/usr/bin/env python3
"""The development kit's validation service under Wine, over real sockets:
its verdicts (valid, revoked from the file and from the command line,
expired), the proxy's absolute form, the requests it refuses, a stalled peer
that must not hold up others, and a usage error.
Usage: service_test.py SERVICE_EXE CARDS_DIR"""
import base64
import os
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = ["bash", os.path.join(ROOT, "tools", "wine-run.sh")]
service, cards = sys.argv[1], sys.argv[2]


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def validate_body(card):
    with open(os.path.join(cards, card, "sign.pem"), "rb") as f:
        pem = f.read()
    return b"<ds:X509Certificate>" + base64.b64encode(pem) + b"</ds:X509Certificate>"


def exchange(port, data, wait=10):
    """The whole reply to data, or what went wrong."""
    reply = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=wait) as s:
            s.sendall(data)
            while True:
                piece = s.recv(65536)
                if not piece:
                    break
                reply += piece
    except OSError as error:
        reply += ("(%s)" % error).encode()
    return reply.decode("utf-8", "replace")


def post(port, body, target="/xkms/XKMS", headers=None):
    if headers is None:
        headers = "Content-Length: %d\r\n" % len(body)
    return exchange(port, ("POST %s HTTP/1.0\r\n%s\r\n" % (target, headers)).encode() + body)


def agency_serial():
    out = subprocess.run(["openssl", "x509", "-noout", "-serial", "-in", os.path.join(cards, "agency", "sign.pem")],
                         capture_output=True, text=True, check=True).stdout
    hex_digits = out.strip().split("=", 1)[1].lower()
    return "0x" + ":".join(hex_digits[i:i + 2] for i in range(0, len(hex_digits), 2))


def main():
    failures = 0

    def check(what, passed, detail=""):
        nonlocal failures
        print(("ok   " if passed else "FAIL ") + what + ("" if passed else "  [%s]" % detail[:300]))
        failures += not passed

    usage = subprocess.run(WINE_RUN + [service, "--port", "70000"], capture_output=True, text=True, timeout=60)
    check("a bad port is a usage error", usage.returncode == 2 and "Invalid port number: 70000" in usage.stderr,
          usage.stderr)

    work = tempfile.mkdtemp()
    ready = os.path.join(work, "ready")
    process = subprocess.Popen(WINE_RUN + [service, "--port", "0", "--ready-file", winpath(ready),
                                           "--revoked-file", winpath(os.path.join(cards, "revoked-serials.txt")),
                                           "--revoked", agency_serial()],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               # The system's own texts in the log are in the prefix's code page.
                               encoding="cp950", errors="replace")
    try:
        for _ in range(300):
            if os.path.exists(ready) and open(ready).read().strip():
                break
            time.sleep(0.1)
        port = int(open(ready).read().strip())

        # A peer that connects and says nothing holds up nobody else.
        stalled = socket.create_connection(("127.0.0.1", port))
        started = time.monotonic()
        cases = [
            ("a valid certificate", post(port, validate_body("citizen")), "200 OK", "<ResultMinor>NoMatch</ResultMinor>"),
            ("a revoked one (the file)", post(port, validate_body("revoked")), "200 OK", "<Reason>Revoked</Reason>"),
            ("a revoked one (--revoked)", post(port, validate_body("agency")), "200 OK", "<Reason>Revoked</Reason>"),
            ("an expired one", post(port, validate_body("expired")), "200 OK", "<Reason>Expired</Reason>"),
            ("as the proxy for the validation host",
             post(port, validate_body("company"), target="http://localhost:80/xkms/XKMS"), "200 OK", "NoMatch"),
            ("no certificate", post(port, b"<Validate/>"), "400 Bad Request", "no ds:X509Certificate"),
            ("not Base64", post(port, b"<ds:X509Certificate>!!</ds:X509Certificate>"), "400 Bad Request", "Base64"),
            ("not POST", exchange(port, b"GET /xkms/XKMS HTTP/1.0\r\n\r\n"), "405 Method Not Allowed", "Allow: POST"),
            ("no length", post(port, b"", headers=""), "411 Length Required", ""),
            ("too large", post(port, b"", headers="Content-Length: 5000000\r\n"), "413 Payload Too Large", ""),
        ]
        check("answers while another peer stalls", time.monotonic() - started < 8, "%.1f s" % (time.monotonic() - started))
        stalled.close()
        for what, reply, status, text in cases:
            status_line = reply.split("\r\n", 1)[0]
            check(what, status_line == "HTTP/1.0 " + status and text in reply, reply)
        check("no NoMatch for an invalid certificate", "NoMatch" not in cases[1][1], cases[1][1])
    finally:
        process.kill()
        log = process.communicate(timeout=30)[0]
    check("each request is logged with its verdict", "-> Revoked 200" in log and "-> Expired 200" in log, log)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
