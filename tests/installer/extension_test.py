#!/usr/bin/env python3
"""The browser extension as the build packs it, and the IDs the host admits:
  - ids.json's key-derived ID is the ID of the key in manifest.json, its
    Firefox ID the manifest's add-on ID;
  - the unpacked folder holds the extension's files (links resolved, ids.json
    left out) with the release's version;
  - the Chromium-family ZIP and the Firefox XPI hold exactly those files, their
    manifest without the key (the stores assign IDs), the XPI's with its
    add-on ID;
  - the host manifests inside the MSI list exactly the IDs of ids.json, among
    them the unpacked folder's and the XPI's;
  - a CRX packed with a throwaway key: its header (read here by hand) carries
    that key, the CRX ID derived from it and a signature openssl verifies over
    the archive, which holds the unpacked files with that key in the manifest;
    an unlisted ID and a key that is not RSA are refused. The build's own CRX,
    when QELT_EXTENSION_KEY made one, has a verifying header and a listed ID.
Usage: extension_test.py SOURCE_DIR BUILT_DIR MSI IDS_JSON VERSION TOOL
"""
import base64
import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

source, built, msi, ids_path, version, tool = sys.argv[1:7]
fails = 0


def check(what, ok, detail=""):
    global fails
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        fails += 1
        if detail:
            print("     | %s" % detail)


def chromium_id(der):
    return "".join(chr(ord("a") + int(c, 16)) for c in hashlib.sha256(der).hexdigest()[:32])


def tree(folder):
    """name -> bytes of every file below folder, links followed."""
    files = {}
    for root, dirs, names in os.walk(folder, followlinks=True):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder).replace(os.sep, "/")] = f.read()
    return files


def zip_files(path):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        links = [i.filename for i in z.infolist() if (i.external_attr >> 16) & 0o170000 == 0o120000]
        return names, links, z.testzip(), {n: z.read(n) for n in names}


def same_but_manifest(a, b):
    return sorted(a) == sorted(b) and all(a[n] == b[n] for n in a if n != "manifest.json")


with open(ids_path, encoding="utf-8") as f:
    ids = json.load(f)
chromium_ids = [e["id"] for e in ids["chromium"]]
firefox_ids = [e["id"] for e in ids["firefox"]]
source_manifest = json.loads(tree(source)["manifest.json"])

# ids.json against the extension's manifest.
key_ids = [e["id"] for e in ids["chromium"] if e.get("source") == "key"]
derived = chromium_id(base64.b64decode(source_manifest["key"]))
check("ids.json's key-derived ID is the ID of manifest.json's key (%s)" % derived, key_ids == [derived], key_ids)
gecko_id = source_manifest["browser_specific_settings"]["gecko"]["id"]
check("ids.json lists the manifest's add-on ID (%s)" % gecko_id, gecko_id in firefox_ids, firefox_ids)

# The unpacked folder.
expected = {n: d for n, d in tree(source).items() if n != "ids.json"}
unpacked_dir = os.path.join(built, "unpacked")
unpacked = tree(unpacked_dir)
links = [n for n in unpacked if os.path.islink(os.path.join(unpacked_dir, n))]
check("the unpacked folder holds the extension's files, ids.json left out (%s)" % " ".join(sorted(unpacked)),
      same_but_manifest(unpacked, expected), sorted(expected))
check("  ...as files, not links", not links, links)
if os.path.islink(os.path.join(source, "protocol.js")):
    with open(os.path.realpath(os.path.join(source, "protocol.js")), "rb") as f:
        check("  ...protocol.js the file the link names", unpacked.get("protocol.js") == f.read())
manifest = json.loads(unpacked["manifest.json"])
check("  ...its manifest the source's, with the release's version %s" % version,
      manifest == dict(source_manifest, version=version), manifest.get("version"))

# The store packages.
for name in ("qelt-reader-bridge-chromium.zip", "qelt-reader-bridge-firefox.xpi"):
    names, zlinks, bad, files = zip_files(os.path.join(built, name))
    check("%s is a sound archive of the unpacked files" % name,
          bad is None and not zlinks and len(names) == len(set(names)) and same_but_manifest(files, unpacked),
          (bad, zlinks, sorted(names)))
    store_manifest = json.loads(files.get("manifest.json", b"{}"))
    check("  ...its manifest the unpacked one without the key",
          store_manifest == {k: v for k, v in manifest.items() if k != "key"}, sorted(store_manifest))
    if name.endswith(".xpi"):
        xpi_id = store_manifest.get("browser_specific_settings", {}).get("gecko", {}).get("id")
        check("  ...with the add-on ID %s" % xpi_id, xpi_id == gecko_id)

# The host manifests the MSI installs.
with tempfile.TemporaryDirectory() as work:
    subprocess.run(["msiextract", "--directory", work, msi], check=True, stdout=subprocess.DEVNULL)
    installed = {n.rsplit("/", 1)[-1]: d for n, d in tree(work).items() if n.endswith(".json")}
host = ids["hostName"]
chromium = json.loads(installed.get(host + ".chromium.json", b"{}"))
firefox = json.loads(installed.get(host + ".firefox.json", b"{}"))
origins = chromium.get("allowed_origins")
check("the MSI's Chromium-family manifest lists every ID of ids.json, the unpacked folder's among them",
      origins == ["chrome-extension://%s/" % i for i in chromium_ids] and
      "chrome-extension://%s/" % chromium_id(base64.b64decode(manifest["key"])) in origins, origins)
check("the MSI's Firefox manifest lists every ID of ids.json, the XPI's among them",
      firefox.get("allowed_extensions") == firefox_ids and gecko_id in firefox_ids, firefox.get("allowed_extensions"))


# CRX3.
def fields(data):
    """(number, value) of a protocol buffer message's fields (bytes for
    length-delimited ones, int for varints)."""
    out, i = [], 0

    def varint():
        nonlocal i
        value = shift = 0
        while True:
            byte = data[i]
            i += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if not byte & 0x80:
                return value
    while i < len(data):
        tag = varint()
        if tag & 7 == 2:
            length = varint()
            out.append((tag >> 3, data[i:i + length]))
            i += length
        elif tag & 7 == 0:
            out.append((tag >> 3, varint()))
        else:
            raise ValueError("wire type %d" % (tag & 7))
    return out


def read_crx(path, work):
    """The CRX's public key and archive after checking its header; raises
    AssertionError saying what is wrong."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"Cr24", "magic %r" % data[:4]
    crx_version, header_size = struct.unpack_from("<II", data, 4)
    assert crx_version == 3, "version %d" % crx_version
    header, archive = data[12:12 + header_size], data[12 + header_size:]
    top = fields(header)
    proofs = [dict(fields(v)) for n, v in top if n == 2]
    signed = [v for n, v in top if n == 10000]
    assert len(proofs) == 1 and len(signed) == 1, "%d RSA proofs, %d signed data" % (len(proofs), len(signed))
    public_key, signature = proofs[0][1], proofs[0][2]
    crx_id = dict(fields(signed[0]))[1]
    assert crx_id == hashlib.sha256(public_key).digest()[:16], "the CRX ID is not the key's"
    message = b"CRX3 SignedData\x00" + struct.pack("<I", len(signed[0])) + signed[0] + archive
    for name, content in (("der", public_key), ("sig", signature), ("msg", message)):
        with open(os.path.join(work, name), "wb") as f:
            f.write(content)
    verified = subprocess.run(["openssl", "dgst", "-sha256", "-keyform", "DER", "-verify",
                               os.path.join(work, "der"), "-signature", os.path.join(work, "sig"),
                               os.path.join(work, "msg")], capture_output=True)
    assert verified.returncode == 0, "signature: %s" % verified.stdout.decode().strip()
    with open(os.path.join(work, "archive.zip"), "wb") as f:
        f.write(archive)
    return public_key, zip_files(os.path.join(work, "archive.zip"))[3]


def pack(work, key, *extra):
    out = os.path.join(work, "out.crx")
    done = subprocess.run([sys.executable, tool, "crx", "--source", unpacked_dir, "--key", key, "--out", out] + list(extra),
                          capture_output=True, text=True)
    return done, out


with tempfile.TemporaryDirectory() as work:
    rsa = os.path.join(work, "throwaway.pem")
    subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", rsa],
                   check=True, capture_output=True)
    der = subprocess.run(["openssl", "pkey", "-in", rsa, "-pubout", "-outform", "DER"],
                         check=True, capture_output=True).stdout
    done, out = pack(work, rsa)
    check("a CRX is packed with a throwaway key", done.returncode == 0, done.stderr)
    try:
        public_key, files = read_crx(out, work)
        crx_manifest = json.loads(files.get("manifest.json", b"{}"))
        check("  ...its header verifies and carries that key", public_key == der)
        check("  ...its archive holds the unpacked files, the manifest with that key",
              same_but_manifest(files, unpacked) and
              crx_manifest == dict(manifest, key=base64.b64encode(der).decode()), sorted(files))
        check("  ...and the tool names the key's ID (%s)" % chromium_id(der), chromium_id(der) in done.stdout, done.stdout)
    except (AssertionError, OSError, ValueError, KeyError, IndexError) as e:
        check("  ...its header verifies", False, e)

    ec = os.path.join(work, "ec.pem")
    subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", ec],
                   check=True, capture_output=True)
    for what, key, extra, says in (
            ("a key whose ID ids.json does not list", rsa, ["--ids", ids_path], chromium_id(der)),
            ("a key that is not RSA", ec, [], "not an RSA key")):
        if os.path.exists(out):
            os.remove(out)
        done, out = pack(work, key, *extra)
        check("%s is refused, saying so, and no CRX is left" % what,
              done.returncode != 0 and says in done.stderr and not os.path.exists(out), done.stderr.strip())

built_crx = os.path.join(built, "qelt-reader-bridge.crx")
if os.path.exists(built_crx):
    with tempfile.TemporaryDirectory() as work:
        try:
            public_key, _ = read_crx(built_crx, work)
            check("the build's CRX verifies, its ID listed (%s)" % chromium_id(public_key),
                  chromium_id(public_key) in chromium_ids)
        except (AssertionError, ValueError, KeyError, IndexError) as e:
            check("the build's CRX verifies", False, e)

print("extension checks: %d failed" % fails)
sys.exit(1 if fails else 0)
