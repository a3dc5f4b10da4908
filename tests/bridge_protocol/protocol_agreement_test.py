#!/usr/bin/env python3
"""The protocol in one place, and its mirrors agree: the extension's copy of
protocol.js is the page library's, the host's Protocol.h names the same
message types, refusal reasons, features, token formats, numbers and limits,
and the extension IDs in ids.json are those of the manifest (the Chromium ID
from its key).
Usage: protocol_agreement_test.py REPO_ROOT"""
import base64
import hashlib
import json
import os
import re
import subprocess
import sys

root = sys.argv[1]
bridge = os.path.join(root, "bridge")
failures = 0
passed = 0


def check(what, ok, detail=""):
    global failures, passed
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else "  [%s]" % (detail,)))
    passed += ok
    failures += not ok


def read(*parts):
    with open(os.path.join(bridge, *parts), encoding="utf-8") as f:
        return f.read()


page_copy, extension_copy = read("page", "protocol.js"), read("extension", "protocol.js")
check("the extension's protocol.js is the page library's", page_copy == extension_copy)

# Run as the classic script the extension loads it as (its package says ES module, which
# Node 18 will not require).
script = ("const vm = require('vm'), fs = require('fs'), context = {};"
          "vm.runInNewContext(fs.readFileSync(process.argv[1], 'utf8'), context);"
          "process.stdout.write(JSON.stringify(context.QeltBridgeProtocol))")
protocol = json.loads(subprocess.run(["node", "-e", script, os.path.join(bridge, "page", "protocol.js")],
                                     capture_output=True, text=True, check=True).stdout)

header = read("host", "core", "Protocol.h")


def header_block(name):
    block = re.search(r"namespace %s \{(.*?)\n\}" % name, header, re.S).group(1)
    return dict(re.findall(r"k(\w+) = (\"[^\"]*\"|-?\w+)", block))


types = {v.strip('"') for v in header_block("type").values()}
check("message types agree", types == set(protocol["type"].values()), (types, protocol["type"]))
reasons = {v.strip('"') for v in header_block("reason").values()}
js_reasons = set(protocol["refusal"].values()) | set(protocol["callRefusal"].values())
check("refusal reasons agree", reasons == js_reasons, (reasons, js_reasons))
for block, key in (("feature", "feature"), ("format", "format")):
    names = {v.strip('"') for v in header_block(block).values()}
    check("%s names agree" % block, names == set(protocol[key].values()), (names, protocol[key]))
numbers = {int(v) for v in header_block("number").values()}
js_numbers = set(protocol["number"].values())
check("the host's numbers are the library's", numbers <= js_numbers, (numbers - js_numbers))
version = int(re.search(r"kProtocolVersion = (\d+);", header).group(1))
check("protocol version agrees", version == protocol["protocolVersion"], (version, protocol["protocolVersion"]))

manifest = json.loads(read("extension", "manifest.json"))
ids = json.loads(read("extension", "ids.json"))
check("the host name agrees", ids["hostName"] == protocol["hostName"], (ids["hostName"], protocol["hostName"]))
der = base64.b64decode(manifest["key"])
derived = "".join(chr(ord("a") + int(c, 16)) for c in hashlib.sha256(der).hexdigest()[:32])
chromium_ids = [entry["id"] for entry in ids["chromium"]]
check("ids.json lists the ID of the manifest's key", derived in chromium_ids, (derived, chromium_ids))
gecko = manifest["browser_specific_settings"]["gecko"]["id"]
check("ids.json lists the manifest's add-on ID", gecko in [e["id"] for e in ids["firefox"]], gecko)
check("the manifest names the content script's protocol first",
      manifest["content_scripts"][0]["js"][0] == "protocol.js")

print("%d passed, %d failed" % (passed, failures))
sys.exit(1 if failures else 0)
