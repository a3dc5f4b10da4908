#!/usr/bin/env python3
"""The browser bridge's release files, from bridge/extension (ids.json names
the native messaging host and every extension ID the host admits):

  bridge_extension.py host-manifests --ids IDS --exe NAME --out DIR
      DIR/<host>.chromium.json (allowed_origins) and DIR/<host>.firefox.json
      (allowed_extensions), each naming the host program relative to itself
  bridge_extension.py packages --source DIR --version A.B.C --out DIR
      DIR/unpacked/ (links resolved), DIR/qelt-reader-bridge-chromium.zip
      (for the Chromium-family stores) and DIR/qelt-reader-bridge-firefox.xpi
      (for signing by Mozilla's add-on site)
  bridge_extension.py crx --source UNPACKED --key PEM --out FILE [--ids IDS]
      a CRX3 file for self-hosting, signed with the private key PEM; with
      --ids, refused unless the key's extension ID is listed there

Packages are reproducible: fixed times, sorted entries. Signing uses the
openssl command, so nothing beyond Python's standard library is needed.
"""
import argparse
import base64
import hashlib
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

CHROMIUM_ZIP = "qelt-reader-bridge-chromium.zip"
FIREFOX_XPI = "qelt-reader-bridge-firefox.xpi"
# Files of the extension folder that are not part of the extension.
NOT_SHIPPED = {"ids.json"}
DESCRIPTION = "QELTReader certificate card bridge"
CHROMIUM_ID = re.compile(r"^[a-p]{32}$")
ZIP_TIME = (1980, 1, 1, 0, 0, 0)
# The algorithm identifier of an RSA public key (1.2.840.113549.1.1.1), DER.
RSA_ENCRYPTION = bytes.fromhex("06092a864886f70d010101")


def fail(message):
    sys.stderr.write("bridge_extension.py: %s\n" % message)
    sys.exit(1)


def extension_id(public_key_der):
    """A Chromium extension's ID: the SHA-256 of its public key (DER), first
    32 hex digits, 0-f written as a-p."""
    digest = hashlib.sha256(public_key_der).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


def read_ids(path):
    with open(path, encoding="utf-8") as f:
        ids = json.load(f)
    host = ids.get("hostName")
    # Chromium's rule for host names: lower-case dotted words.
    if not isinstance(host, str) or not re.fullmatch(r"[a-z0-9_]+(\.[a-z0-9_]+)*", host):
        fail("%s: hostName %r is no native messaging host name" % (path, host))
    chromium = [entry["id"] for entry in ids.get("chromium", [])]
    # Each Chromium-family ID comes from the manifest's key or from a store
    # (the stores assign IDs of their own when the extension is published).
    sources = [entry.get("source") for entry in ids.get("chromium", [])]
    known = {"key"} | set(ids.get("stores", {}))
    if sources.count("key") != 1 or not set(sources) <= known:
        fail("%s: each chromium entry's source is \"key\" (exactly one) or one of stores: %s" % (path, sources))
    firefox = [entry["id"] for entry in ids.get("firefox", [])]
    for value in chromium:
        if not isinstance(value, str) or not CHROMIUM_ID.match(value):
            fail("%s: %r is no Chromium extension ID (32 letters a-p)" % (path, value))
    for value in firefox:
        if not isinstance(value, str) or not value:
            fail("%s: %r is no add-on ID" % (path, value))
    if not chromium or not firefox:
        fail("%s: needs at least one Chromium and one Firefox ID" % path)
    for name, values in (("chromium", chromium), ("firefox", firefox)):
        if len(set(values)) != len(values):
            fail("%s: an ID is listed twice under %s" % (path, name))
    return host, chromium, firefox


def write_json(path, value):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        json.dump(value, f, indent=2, ensure_ascii=False)
        f.write("\n")


def host_manifests(args):
    host, chromium, firefox = read_ids(args.ids)
    os.makedirs(args.out, exist_ok=True)
    # On Windows both browser families take a path relative to the manifest.
    common = {"name": host, "description": DESCRIPTION, "path": args.exe, "type": "stdio"}
    write_json(os.path.join(args.out, host + ".chromium.json"),
               dict(common, allowed_origins=["chrome-extension://%s/" % i for i in chromium]))
    write_json(os.path.join(args.out, host + ".firefox.json"), dict(common, allowed_extensions=firefox))


def extension_files(source):
    """The extension's files: name -> bytes, links resolved (protocol.js is a
    link to the page library's copy)."""
    files = {}
    for root, dirs, names in os.walk(source, followlinks=True):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(names):
            path = os.path.join(root, name)
            rel = os.path.relpath(path, source).replace(os.sep, "/")
            if name.startswith(".") or rel in NOT_SHIPPED:
                continue
            with open(path, "rb") as f:
                files[rel] = f.read()
    if "manifest.json" not in files:
        fail("%s: no manifest.json" % source)
    return files


def manifest_bytes(manifest):
    return (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode("utf-8")


def zip_bytes(files):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        # manifest.json first, then the rest in order.
        for name in sorted(files, key=lambda n: (n != "manifest.json", n)):
            info = zipfile.ZipInfo(name, ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, files[name])
    return out.getvalue()


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def packages(args):
    files = extension_files(args.source)
    manifest = json.loads(files["manifest.json"].decode("utf-8"))
    # The release's version is written once, in the project: every package
    # carries it.
    manifest["version"] = args.version
    unpacked = dict(files, **{"manifest.json": manifest_bytes(manifest)})

    # The stores give the extension IDs of their own, and the Chrome Web Store
    # refuses an upload whose manifest has a "key": the store packages leave
    # it out. The Firefox ID stays in browser_specific_settings.
    store_manifest = {k: v for k, v in manifest.items() if k != "key"}
    if not (store_manifest.get("browser_specific_settings", {}).get("gecko", {}).get("id")):
        fail("manifest.json: no browser_specific_settings.gecko.id")
    store = dict(files, **{"manifest.json": manifest_bytes(store_manifest)})

    os.makedirs(args.out, exist_ok=True)
    folder = os.path.join(args.out, "unpacked")
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in unpacked.items():
        path = os.path.join(folder, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    write_atomically(os.path.join(args.out, CHROMIUM_ZIP), zip_bytes(store))
    write_atomically(os.path.join(args.out, FIREFOX_XPI), zip_bytes(store))


def openssl(*args, data=None):
    done = subprocess.run(["openssl"] + list(args), input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        fail("openssl %s: %s" % (args[0], done.stderr.decode(errors="replace").strip()))
    return done.stdout


def varint(n):
    out = bytearray()
    while True:
        byte = n & 0x7F
        n >>= 7
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def field(number, payload):
    """A protocol buffer field of wire type 2 (bytes, or a message)."""
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def crx(args):
    public_key = openssl("pkey", "-in", args.key, "-pubout", "-outform", "DER")
    if RSA_ENCRYPTION not in public_key[:32]:
        fail("%s: not an RSA key (the CRX is signed with SHA-256 and RSA)" % args.key)
    crx_id = hashlib.sha256(public_key).digest()[:16]
    ident = extension_id(public_key)
    if args.ids:
        _, chromium, _ = read_ids(args.ids)
        if ident not in chromium:
            fail("the key's extension ID %s is not in %s: no host manifest would admit it" % (ident, args.ids))
    files = extension_files(args.source)
    manifest = json.loads(files["manifest.json"].decode("utf-8"))
    # Chromium takes a packed extension's key from the CRX header; the
    # manifest says the same.
    manifest["key"] = base64.b64encode(public_key).decode("ascii")
    files["manifest.json"] = manifest_bytes(manifest)
    archive = zip_bytes(files)

    # CRX3: "Cr24", version 3, the header's length, the header (a
    # CrxFileHeader message), the ZIP archive. The signature covers a fixed
    # prefix, the signed header data (a SignedData message: the CRX ID) and
    # the archive.
    signed_data = field(1, crx_id)
    message = b"CRX3 SignedData\x00" + struct.pack("<I", len(signed_data)) + signed_data + archive
    with tempfile.NamedTemporaryFile() as data:
        data.write(message)
        data.flush()
        signature = openssl("dgst", "-sha256", "-sign", args.key, data.name)
    proof = field(1, public_key) + field(2, signature)
    header = field(2, proof) + field(10000, signed_data)
    write_atomically(args.out, b"Cr24" + struct.pack("<II", 3, len(header)) + header + archive)
    print("%s: extension ID %s" % (args.out, ident))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("host-manifests")
    p.add_argument("--ids", required=True)
    p.add_argument("--exe", required=True)
    p.add_argument("--out", required=True)
    p.set_defaults(run=host_manifests)
    p = commands.add_parser("packages")
    p.add_argument("--source", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--out", required=True)
    p.set_defaults(run=packages)
    p = commands.add_parser("crx")
    p.add_argument("--source", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--ids")
    p.set_defaults(run=crx)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    main()
