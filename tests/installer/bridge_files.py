#!/usr/bin/env python3
"""Helpers of the installer tests for the browser bridge:

  bridge_files.py manifests FOLDER IDS_JSON [CHROMIUM_IDS]
      the installed host manifests in FOLDER are valid JSON, name the host,
      name the host program relative to themselves (it is there), and list
      exactly the IDs of ids.json, or for Chrome and Edge those of
      CHROMIUM_IDS (id;id, in order) when given; prints what is wrong, exits 1
      then
  bridge_files.py ask ORIGIN COMMAND...
      starts COMMAND as a browser starts a host, says hello for ORIGIN and
      prints the reply as "ready ARCH VERSION" (or "TYPE REASON"); standard
      input stays open until the reply came, as a browser keeps its port
"""
import json
import os
import struct
import subprocess
import sys
import threading


def manifests(folder, ids_path, chromium_ids=None):
    with open(ids_path, encoding="utf-8") as f:
        ids = json.load(f)
    host = ids["hostName"]
    chromium = chromium_ids.split(";") if chromium_ids else [e["id"] for e in ids["chromium"]]
    expected = {
        "chromium": ("allowed_origins", ["chrome-extension://%s/" % i for i in chromium]),
        "firefox": ("allowed_extensions", [e["id"] for e in ids["firefox"]]),
    }
    problems = []
    for family, (field, values) in expected.items():
        name = "%s.%s.json" % (host, family)
        try:
            with open(os.path.join(folder, name), "rb") as f:
                manifest = json.loads(f.read().decode("utf-8"))
        except (OSError, ValueError) as e:
            problems.append("%s: %s" % (name, e))
            continue
        wanted = {"name": host, "type": "stdio", "path": "qelt-bridge.exe", field: values}
        for key, value in wanted.items():
            if manifest.get(key) != value:
                problems.append("%s: %s is %r, not %r" % (name, key, manifest.get(key), value))
        if not os.path.isfile(os.path.join(folder, str(manifest.get("path")))):
            problems.append("%s: no program %r beside it" % (name, manifest.get("path")))
    for p in problems:
        print("     | " + p)
    return 1 if problems else 0


def ask(origin, *command):
    host = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    # A host that never answers is ended, so the test goes on.
    timer = threading.Timer(60, host.kill)
    timer.start()
    try:
        payload = json.dumps({"type": "hello", "protocol": 1, "origin": origin, "topLevel": True}).encode()
        host.stdin.write(struct.pack("<I", len(payload)) + payload)
        host.stdin.flush()
        head = host.stdout.read(4)
        length = struct.unpack("<I", head)[0] if len(head) == 4 else 0
        message = json.loads(host.stdout.read(length).decode("utf-8")) if length else {"type": "no reply"}
        host.stdin.close()
        host.wait()
    finally:
        timer.cancel()
    if message.get("type") == "ready":
        print("ready %s %s" % (message.get("arch"), message.get("version")))
    else:
        print("%s %s" % (message.get("type"), message.get("reason", message.get("number", ""))))
    return 0


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    sys.exit({"manifests": manifests, "ask": ask}[command](*args))
