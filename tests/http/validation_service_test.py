#!/usr/bin/env python3
"""Checks how the test validation service judges certificates."""
import base64
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SERVERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "servers")
sys.path.insert(0, SERVERS)
import validation_service as service  # noqa: E402

UTC = datetime.timezone.utc
NOW = datetime.datetime(2026, 6, 1, 12, 0, 0, tzinfo=UTC)


def tlv(tag, content):
    n = len(content)
    length = bytes([n]) if n < 0x80 else bytes([0x82, n >> 8, n & 0xFF])
    return bytes([tag]) + length + content


def der_time(when):
    if when.year < 2050:
        return tlv(0x17, when.strftime("%y%m%d%H%M%SZ").encode())
    return tlv(0x18, when.strftime("%Y%m%d%H%M%SZ").encode())


def certificate(serial, not_before, not_after):
    """A certificate shaped enough for the service (the signature is junk)."""
    algorithm = tlv(0x30, tlv(0x06, b"\x2a\x86\x48\xce\x3d\x04\x03\x02"))
    name = tlv(0x30, tlv(0x31, tlv(0x30, tlv(0x06, b"\x55\x04\x03") + tlv(0x0C, b"test"))))
    tbs = tlv(0x30, tlv(0xA0, tlv(0x02, b"\x02")) + tlv(0x02, serial) + algorithm + name +
              tlv(0x30, der_time(not_before) + der_time(not_after)) + name +
              tlv(0x30, b"\x05\x00"))
    return tlv(0x30, tbs + algorithm + tlv(0x03, b"\x00\x01\x02"))


def request(der, times=2):
    content = der
    for _ in range(times):
        content = base64.b64encode(content)
    return (b'<?xml version="1.0" encoding="BIG5"?><Validate><Query><ds:KeyInfo><ds:X509Data>'
            b"<ds:X509Certificate>" + content + b"</ds:X509Certificate>"
            b"</ds:X509Data></ds:KeyInfo></Query></Validate>")


DAY = datetime.timedelta(days=1)


class JudgeTest(unittest.TestCase):
    revoked = service.load_revoked(None, ["0x00AB:CD", "7F"])

    def judge(self, der, times=2):
        return service.judge(request(der, times), self.revoked, now=NOW)

    def test_no_match_only_within_validity_and_not_revoked(self):
        cases = [
            ("valid", certificate(b"\x10\x01", NOW - DAY, NOW + DAY), True),
            ("valid, year past 2049", certificate(b"\x10\x01", NOW - DAY, NOW.replace(year=2060)), True),
            ("expired", certificate(b"\x10\x01", NOW - 2 * DAY, NOW - DAY), False),
            ("not yet valid", certificate(b"\x10\x01", NOW + DAY, NOW + 2 * DAY), False),
            ("revoked", certificate(b"\xab\xcd", NOW - DAY, NOW + DAY), False),
            ("revoked, sign byte", certificate(b"\x00\x7f", NOW - DAY, NOW + DAY), False),
        ]
        for name, der, valid in cases:
            with self.subTest(name):
                code, body = self.judge(der)
                self.assertEqual(code, 200)
                self.assertEqual(b"NoMatch" in body, valid, body)

    def test_unreadable_requests_get_400(self):
        good = certificate(b"\x01", NOW - DAY, NOW + DAY)
        cases = [
            ("encoded once only", request(good, times=1)),
            ("no certificate element", b"<Validate/>"),
            ("not Base64", b"<ds:X509Certificate>***</ds:X509Certificate>"),
            ("truncated DER", request(good[:40])),
        ]
        for name, body in cases:
            with self.subTest(name):
                self.assertEqual(service.judge(body, set(), now=NOW)[0], 400)

    def test_revocation_file(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as handle:
            handle.write("# revoked\n0A0B  # comment\n\nff:01\n")
        try:
            self.assertEqual(service.load_revoked(handle.name, ["0x3"]), {"a0b", "ff01", "3"})
        finally:
            os.unlink(handle.name)

    @unittest.skipUnless(shutil.which("openssl"), "openssl not installed")
    def test_reads_certificates_made_by_openssl(self):
        folder = tempfile.mkdtemp()
        try:
            subprocess.run(["bash", os.path.join(SERVERS, "make_test_certs.sh"), folder], check=True)
            revoked = service.load_revoked(os.path.join(folder, "revoked.txt"), [])
            for name, valid in (("valid", True), ("revoked", False)):
                with open(os.path.join(folder, name + ".b64"), "rb") as handle:
                    body = (b"<ds:X509Certificate>" + base64.b64encode(handle.read()) +
                            b"</ds:X509Certificate>")
                code, reply = service.judge(body, revoked)
                self.assertEqual((code, b"NoMatch" in reply), (200, valid), reply)
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
