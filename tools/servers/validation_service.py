#!/usr/bin/env python3
"""Local certificate validation service for tests.

Answers a POSTed Validate request: the content of ds:X509Certificate is
Base64 of the certificate's Base64 text, so it is decoded twice to DER. The
certificate counts as valid when the current time lies within its validity
period and its serial number is not on the revocation list; the reply is
then 200 with a body containing "NoMatch", otherwise 200 with a body
without it. A request without a readable certificate gets 400.

Revoked serial numbers (hex, any case, optional colons or "0x") come from
--revoked-file (one per line, "#" starts a comment) and --revoked.

Prints "READY port=P" once listening; serves until killed.
"""
import argparse
import base64
import binascii
import datetime
import http.server
import re
import sys

CERT_ELEMENT = re.compile(rb"<ds:X509Certificate>(.*?)</ds:X509Certificate>", re.S)


class DerError(ValueError):
    pass


def read_tlv(data, pos):
    """Returns (tag, content start, content end) of the element at pos."""
    if pos + 2 > len(data):
        raise DerError("truncated element")
    tag, first = data[pos], data[pos + 1]
    pos += 2
    if first < 0x80:
        length = first
    else:
        count = first & 0x7F
        if count == 0 or count > 4 or pos + count > len(data):
            raise DerError("bad length")
        length = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    if pos + length > len(data):
        raise DerError("truncated content")
    return tag, pos, pos + length


def expect(data, pos, tag):
    found, start, end = read_tlv(data, pos)
    if found != tag:
        raise DerError("expected tag 0x%02x, found 0x%02x" % (tag, found))
    return start, end


def parse_time(tag, text):
    text = text.decode("ascii")
    if not text.endswith("Z"):
        raise DerError("time not in UTC")
    if tag == 0x17:  # UTCTime, YYMMDDHHMMSSZ
        year = int(text[:2])
        text = ("19" if year >= 50 else "20") + text
    elif tag != 0x18:  # GeneralizedTime, YYYYMMDDHHMMSSZ
        raise DerError("not a time")
    return datetime.datetime.strptime(text[:14], "%Y%m%d%H%M%S").replace(
        tzinfo=datetime.timezone.utc)


def serial_and_validity(der):
    """The serial number (lower-case hex) and the validity period of a certificate."""
    start, _ = expect(der, 0, 0x30)             # Certificate
    pos, _ = expect(der, start, 0x30)           # TBSCertificate
    tag, _, end = read_tlv(der, pos)
    if tag == 0xA0:                             # [0] version
        pos = end
    start, end = expect(der, pos, 0x02)         # serialNumber
    serial = normalise_serial(der[start:end].hex())
    pos = end
    for _ in range(2):                          # signature, issuer
        _, _, pos = read_tlv(der, pos)
    pos, _ = expect(der, pos, 0x30)             # Validity
    times = []
    for _ in range(2):
        tag, start, end = read_tlv(der, pos)
        times.append(parse_time(tag, der[start:end]))
        pos = end
    return serial, times[0], times[1]


def normalise_serial(text):
    text = text.strip().lower().replace(":", "")
    if text.startswith("0x"):
        text = text[2:]
    return text.lstrip("0") or "0"


def certificate_from_request(body):
    match = CERT_ELEMENT.search(body)
    if not match:
        raise ValueError("no ds:X509Certificate element")
    once = base64.b64decode(b"".join(match.group(1).split()), validate=True)
    text = re.sub(rb"-----[A-Z ]+-----", b"", once)
    return base64.b64decode(b"".join(text.split()), validate=True)


def judge(body, revoked, now=None):
    """Returns (status code, reply body) for a Validate request body."""
    try:
        serial, not_before, not_after = serial_and_validity(certificate_from_request(body))
    except (ValueError, binascii.Error) as error:
        return 400, ("<Error>%s</Error>" % error).encode()
    now = now or datetime.datetime.now(datetime.timezone.utc)
    if serial in revoked:
        reason = "Revoked"
    elif not (not_before <= now <= not_after):
        reason = "Expired" if now > not_after else "NotYetValid"
    else:
        reason = None
    if reason is None:
        result = "<ResultMajor>Success</ResultMajor><ResultMinor>NoMatch</ResultMinor>" \
                 "<Status>Valid</Status>"
    else:
        result = "<ResultMajor>Success</ResultMajor><Status>Invalid</Status>" \
                 "<Reason>%s</Reason>" % reason
    return 200, ('<?xml version="1.0" encoding="utf-8"?><ValidateResult><SerialNumber>%s'
                 '</SerialNumber>%s</ValidateResult>' % (serial, result)).encode()


def load_revoked(path, serials):
    revoked = {normalise_serial(s) for s in serials}
    if path:
        with open(path) as handle:
            for line in handle:
                line = line.split("#", 1)[0].strip()
                if line:
                    revoked.add(normalise_serial(line))
    return revoked


def make_handler(revoked):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            code, reply = judge(self.rfile.read(length), revoked)
            self.send_response(code)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--revoked-file")
    parser.add_argument("--revoked", action="append", default=[], metavar="HEX")
    args = parser.parse_args()
    revoked = load_revoked(args.revoked_file, args.revoked)
    server = http.server.ThreadingHTTPServer((args.host, args.port), make_handler(revoked))
    server.daemon_threads = True
    print("READY port=%d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
