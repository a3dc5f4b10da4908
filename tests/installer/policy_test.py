#!/usr/bin/env python3
"""The bridge's policy templates as shipped: the ADMX and each ADML are
well-formed XML; the ADMX writes exactly the values the host reads
(bridge/host/core/RegistryNames.h, the one place that names them), under its
key in HKLM, with the types it takes (the lists REG_MULTI_SZ; the switches
PromptForOthers, PinFromPages and SigningOrigins REG_DWORDs, 1 when enabled
and 0 when disabled; the proxy's port a REG_DWORD and its other values
REG_SZ); every text and presentation the ADMX names is in each language, and
each element's box is bound to it.
Usage: policy_test.py POLICY_DIR REGISTRY_NAMES_H
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

policy_dir, names_header = sys.argv[1:3]
NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
LANGUAGES = ("en-US", "zh-TW")
fails = 0


def check(what, ok, detail=""):
    global fails
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        fails += 1
        if detail != "":
            print("     | %s" % (detail,))


def parse(path):
    try:
        return ET.parse(path).getroot()
    except (ET.ParseError, OSError) as e:
        check("%s is well-formed XML" % os.path.relpath(path, policy_dir), False, e)
        return None


with open(names_header, encoding="utf-8") as f:
    names = {k: v.replace("\\\\", "\\") for k, v in re.findall(r'constexpr const char\* (k\w+) = "([^"]*)";', f.read())}
wanted = ("kPolicyKey", "kAllowedOrigins", "kBlockedOrigins", "kPromptForOthers", "kPinFromPages",
          "kSigningOrigins", "kProxyServer", "kProxyPort", "kProxyUser", "kProxyPass")
unnamed = [n for n in wanted if n not in names]
check("RegistryNames.h names every policy value", not unnamed, unnamed)
if unnamed:
    sys.exit(1)
key = names["kPolicyKey"]
# Value name -> the element that writes it with the host's type.
elements = {names["kAllowedOrigins"]: "multiText", names["kBlockedOrigins"]: "multiText",
            names["kProxyServer"]: "text", names["kProxyPort"]: "decimal",
            names["kProxyUser"]: "text", names["kProxyPass"]: "text"}
# REG_DWORD switches the policy itself writes: enabled 1, disabled 0.
switches = [names["kPromptForOthers"], names["kPinFromPages"], names["kSigningOrigins"]]
values = set(elements) | set(switches)

admx = parse(os.path.join(policy_dir, "QELTReaderBridge.admx"))
admls = {lang: parse(os.path.join(policy_dir, lang, "QELTReaderBridge.adml")) for lang in LANGUAGES}
if admx is None or None in admls.values():
    sys.exit(1)
check("the ADMX and the ADMLs (%s) are well-formed XML" % ", ".join(LANGUAGES), True)

policies = admx.findall("%spolicies/%spolicy" % (NS, NS))
written = {}  # value name -> (key, element kind, policy)
for policy in policies:
    if policy.get("valueName"):
        written[policy.get("valueName")] = (policy.get("key"), "value", policy)
    for element in policy.iter():
        if element.get("valueName") and element is not policy:
            written[element.get("valueName")] = (element.get("key", policy.get("key")), element.tag[len(NS):], policy)

check("the ADMX writes exactly the values the host reads (%s)" % ", ".join(sorted(written)),
      set(written) == values, sorted(values))
check("  ...all under %s" % key, all(k == key for k, _, _ in written.values()),
      {n: k for n, (k, _, _) in written.items()})
check("  ...all for the machine (the host reads HKLM)", all(p.get("class") == "Machine" for p in policies),
      [p.get("class") for p in policies])
REG = {"multiText": "REG_MULTI_SZ", "text": "REG_SZ", "decimal": "REG_DWORD"}
for name, wanted in elements.items():
    kind = written.get(name, (None, None))[1]
    check("  ...%s as %s (%s)" % (name, REG[wanted], wanted), kind == wanted, kind)
    element = written.get(name, (None, None, None))[2]
    if wanted == "decimal" and element is not None:
        number = element.find("%selements/%sdecimal" % (NS, NS))
        check("  ...%s from 0 to 65535" % name,
              number is not None and (number.get("minValue"), number.get("maxValue")) == ("0", "65535"))
for name in switches:
    switch = written.get(name, (None, None, None))
    decimal = {}
    if switch[2] is not None:
        for state in ("enabledValue", "disabledValue"):
            found = switch[2].find("%s%s/%sdecimal" % (NS, state, NS))
            decimal[state] = None if found is None else int(found.get("value"))
    check("  ...%s as a REG_DWORD, 1 enabled and 0 disabled (%s)" % (name, decimal),
          switch[1] == "value" and decimal == {"enabledValue": 1, "disabledValue": 0})

# Texts and presentations.
referenced = set(re.findall(r"\$\((string|presentation)\.(\w+)\)", ET.tostring(admx, encoding="unicode")))
for lang, adml in admls.items():
    strings = {s.get("id") for s in adml.iter(NS + "string")}
    presentations = {p.get("id"): p for p in adml.iter(NS + "presentation")}
    missing = sorted("%s.%s" % r for r in referenced
                     if r[1] not in (strings if r[0] == "string" else presentations))
    check("%s holds every text and presentation the ADMX names" % lang, not missing, missing)
    unbound = []
    box_of = {"multiText": "multiTextBox", "text": "textBox", "decimal": "decimalTextBox"}
    for policy in policies:
        ref = re.fullmatch(r"\$\(presentation\.(\w+)\)", policy.get("presentation", ""))
        shown = presentations.get(ref.group(1)) if ref else None
        for kind, box in box_of.items():
            boxes = set() if shown is None else {b.get("refId") for b in shown.iter(NS + box)}
            for element in policy.findall("%selements/%s%s" % (NS, NS, kind)):
                if element.get("id") not in boxes:
                    unbound.append(element.get("id"))
    check("  ...a box for each list, text and number", not unbound, unbound)

print("policy checks: %d failed" % fails)
sys.exit(1 if fails else 0)
