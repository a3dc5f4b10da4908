#!/usr/bin/env python3
"""qelt-bridge.exe end to end under Wine, spoken to over pipes as a browser
does, in a Wine prefix of its own (policy and the user's answers are written
there, never in the project's prefix) with the control and the virtual card
registered. Checks every member against what Windows Script Host gets from
the same control and card, the framing and its faults, origins and policy,
the question box answered from outside (answer_box.exe), the command lines
browsers start hosts with, and the end of input.
Usage: host_test.py BRIDGE_EXE OCX CARD_DLL ANSWER_BOX_EXE VERSION [--prefix DIR]
  VERSION   the file version the host reports (a.b.c.0)
  --prefix  use (and reset) this prefix instead of a new one in a temporary
            folder: quicker when run again by hand"""
import argparse
import base64
import json
import os
import queue
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HERE = os.path.dirname(os.path.abspath(__file__))
CARDS = os.path.join(ROOT, "tests", "cards")
MiB = 1048576

E_INVALIDARG = -2147024809
E_ACCESSDENIED = -2147024891
E_UNEXPECTED = -2147418113  # a member's own failure, described by the control
DISP_E_UNKNOWNNAME = -2147352570
REGDB_E_CLASSNOTREG = -2147221164
POLICY = r"HKLM\SOFTWARE\Policies\QELTReader\Bridge"
ANSWERS = r"HKCU\Software\QELTReader\Bridge"
TITLE = "QELTReader"
CHROME = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pe_arch(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    machine = struct.unpack_from("<H", head, struct.unpack_from("<I", head, 0x3C)[0] + 4)[0]
    return {0x8664: "x64", 0x14C: "x86"}[machine]


def frame(payload):
    return struct.pack("<I", len(payload)) + payload


def encode(obj):
    return json.dumps(obj, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def short(value, limit=300):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


class Results:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, what, passed, detail=""):
        print(("ok   " if passed else "FAIL ") + what + ("" if passed else "  [%s]" % short(detail, 600)), flush=True)
        if passed:
            self.passed += 1
        else:
            self.failed += 1
        return passed


class Wine:
    """The prefix, its loader, the programs under test and the servers the
    control validates against (service_port, slow: set by main)."""

    def __init__(self, options, work):
        self.bridge, self.ocx, self.card_dll, self.answer_box, self.version = \
            options.bridge, options.ocx, options.card_dll, options.answer_box, options.version
        self.answer_pin = os.path.join(os.path.dirname(self.answer_box), "answer_pin.exe")
        self.arch = pe_arch(self.bridge)
        self.loader = "/usr/lib/wine/wine64" if self.arch == "x64" else "/usr/lib/wine/wine"
        self.prefix = options.prefix or os.path.join(work, "wineprefix")
        home = os.path.join(work, "home")
        os.makedirs(home, exist_ok=True)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, QELT_WINEPREFIX=self.prefix, QELT_ARCH=self.arch,
                        WINEARCH="win64" if self.arch == "x64" else "win32", WINELOADER=self.loader,
                        WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml="),
                        LC_ALL=os.environ.get("QELT_LOCALE", "zh_TW.UTF-8"), HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"))
        self.env.pop("QELT_CARD_PROFILE", None)

    def run(self, args, timeout=60, env=None):
        """(exit code, standard output, standard error) of a Windows program.
        Standard error goes to a file: Wine's own processes started meanwhile
        inherit it and would hold a pipe open."""
        with tempfile.TemporaryFile("a+b") as err:
            try:
                done = subprocess.run([self.loader] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=err, timeout=timeout, env=env or self.env)
                code, out = done.returncode, done.stdout.decode("utf-8", "replace")
            except subprocess.TimeoutExpired:
                code, out = None, "(timed out after %s s)" % timeout
            err.seek(0)
            return code, out, err.read().decode("utf-8", "replace")

    def prepare(self):
        """Makes (or resets) the prefix. One server for the whole run (it stays
        30 s after the last program), so the answers a logon keeps live as
        long as the test."""
        subprocess.run(["bash", os.path.join(ROOT, "tools", "wine-prefix.sh")], env=self.env, check=True,
                       timeout=600)
        subprocess.run(["wineserver", "-p30"], env=self.env, check=True, timeout=60)
        # Wine's services start with the first program and live as long as
        # the server: start them with nothing of ours to hold.
        subprocess.run([self.loader, "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        for module in (self.ocx, self.card_dll):
            code, out, err = self.run(["regsvr32", "/s", winpath(module)])
            if code != 0:
                raise RuntimeError("regsvr32 %s: %s %s%s" % (module, code, out, err))
        self.reg("delete", ANSWERS, "/f")
        self.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)

    def log_off_and_on(self):
        """The server's end is the logon's: what it keeps volatile is gone."""
        self.stop()
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        subprocess.run(["wineserver", "-p30"], env=self.env, check=True, timeout=60)
        subprocess.run([self.loader, "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def reg(self, *args):
        # The 64-bit loader runs the 64-bit reg.exe; /reg:64 says so too.
        return self.run(["reg"] + list(args) + (["/reg:64"] if self.arch == "x64" else []))

    def set_policy(self, **values):
        """Replaces the policy: NAME=[origins] (REG_MULTI_SZ), NAME=int
        (REG_DWORD) or NAME=("REG_SZ", text)."""
        self.reg("delete", POLICY, "/f")
        for name, value in values.items():
            if isinstance(value, list):
                kind, data = "REG_MULTI_SZ", "\\0".join(value)
            elif isinstance(value, int):
                kind, data = "REG_DWORD", str(value)
            else:
                kind, data = value
            # Under load Wine's reg.exe now and then ends with 1 and says nothing: once more then.
            for _ in range(3):
                code, out, err = self.reg("add", POLICY, "/v", name, "/t", kind, "/d", data, "/f")
                if code == 0 or out.strip() or err.strip():
                    break
            if code != 0:
                raise RuntimeError("reg add %s: %s %s%s" % (name, code, out, err))

    def strings(self, key, name):
        """The strings of a REG_MULTI_SZ value (empty when there is none)."""
        code, out, _ = self.reg("query", key, "/v", name)
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name and parts[1] == "REG_MULTI_SZ":
                return [s for s in (parts[2] if len(parts) > 2 else "").split("\\0") if s]
        return []

    def pin(self, action, seconds, *pins):
        """answer_pin: (exit code, the dialog's texts)."""
        code, out, err = self.run([self.answer_pin, TITLE, action, str(seconds)] + list(pins), timeout=seconds + 90)
        return code, out.replace("\r", "").strip()

    def start_pin(self, action, seconds, *pins):
        """answer_pin in the background, started before the dialog can show."""
        return subprocess.Popen([self.loader, self.answer_pin, TITLE, action, str(seconds)] + list(pins), env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def box(self, action, seconds):
        """answer_box: (exit code, the box's text or the count)."""
        code, out, err = self.run([self.answer_box, TITLE, action, str(seconds)], timeout=seconds + 60)
        return code, out.strip()


class Host:
    """One qelt-bridge.exe as a browser starts it: frames on its standard
    input and output, read by a thread, so every wait has a time-out."""
    running = []

    def __init__(self, wine, args=(CHROME,), card="citizen", via_cmd=False, profile=None):
        program = ["cmd.exe", "/c", winpath(wine.bridge)] if via_cmd else [wine.bridge]
        env = dict(wine.env, QELT_CARD_PROFILE=winpath(profile or os.path.join(CARDS, card, "card.profile")))
        self.err = tempfile.TemporaryFile("a+b")  # not a pipe: see Wine.run
        self.process = subprocess.Popen([wine.loader] + program + list(args), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.err, env=env, bufsize=0)
        Host.running.append(self)
        self.replies = queue.Queue()
        self.ended = None
        self.next_id = 1
        threading.Thread(target=self._read_frames, daemon=True).start()

    def _read_exactly(self, count):
        data = b""
        while len(data) < count:
            piece = self.process.stdout.read(min(count - len(data), 1 << 20))
            if not piece:
                break
            data += piece
        return data

    def _read_frames(self):
        while True:
            head = self._read_exactly(4)
            if len(head) < 4:
                self.replies.put({"type": "(end)"} if not head else {"type": "(garbage)", "bytes": head})
                return
            length = struct.unpack("<I", head)[0]
            if length > 2 * MiB:
                self.replies.put({"type": "(garbage)", "bytes": head + self.process.stdout.read(200)})
                return
            body = self._read_exactly(length)
            try:
                reply = json.loads(body.decode("utf-8"))
                if not isinstance(reply, dict) or len(body) < length:
                    raise ValueError
            except ValueError:
                self.replies.put({"type": "(garbage)", "bytes": head + body[:200]})
                return
            reply["(length)"] = length
            self.replies.put(reply)

    def write(self, data):
        try:
            self.process.stdin.write(data)
            self.process.stdin.flush()
        except (BrokenPipeError, OSError):
            pass

    def send(self, obj):
        self.write(frame(obj if isinstance(obj, bytes) else encode(obj)))

    def reply(self, timeout=30):
        """The next reply; (end) when the output ended, (garbage) when it
        held something else than frames."""
        if self.ended:
            return dict(self.ended)
        try:
            reply = self.replies.get(timeout=timeout)
        except queue.Empty:
            reply = {"type": "(no reply in %s s)" % timeout}
        # Out of step after any of these: later replies are not waited for.
        self.ended = reply if reply["type"].startswith("(") else None
        return reply

    def hello(self, origin, top_level=True, timeout=30, activation=None):
        """activation: the browser's userActivation; None leaves it out (false)."""
        self.send(hello_frame(origin, top_level, activation))
        return self.reply(timeout)

    def call(self, member, *args, **kw):
        return self.ask({"type": "call", "member": member, "args": list(args)}, **kw)

    def put(self, member, value, **kw):
        return self.ask({"type": "put", "member": member, "value": value}, **kw)

    def ask(self, message, id=None, timeout=30):
        if id is None:
            id, self.next_id = self.next_id, self.next_id + 1
        self.send(dict(message, id=id))
        return self.reply(timeout)

    def wait(self, timeout=10):
        """The exit code (None when still running) and the seconds it took."""
        started = time.monotonic()
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            code = None
        return code, time.monotonic() - started

    def finish(self, timeout=10):
        """Ends the input: the exit code and how long the host took."""
        try:
            self.process.stdin.close()
        except OSError:
            pass
        return self.wait(timeout)

    def stderr(self):
        self.err.seek(0)
        return self.err.read().decode("utf-8", "replace").strip()

    @classmethod
    def end_all(cls):
        for host in cls.running:
            if host.process.poll() is None:
                host.process.kill()
            host.process.wait()
            host.err.close()


def hello_frame(origin, top_level=True, activation=True):
    message = {"type": "hello", "protocol": 1, "origin": origin, "topLevel": top_level}
    if activation is not None:
        message["userActivation"] = activation
    return message


def is_result(reply, id, value=None):
    return reply.get("type") == "result" and reply.get("id", "(none)") == id and reply.get("value", "(none)") == value


def is_error(reply, id, number):
    return (reply.get("type") == "error" and reply.get("id", "(none)") == id and reply.get("number") == number
            and isinstance(reply.get("description"), str) and reply["description"] != "")


# --- servers the control validates against -------------------------------

def start_validation_service():
    """The project's validation service; it also answers a proxy's
    absolute-form request (POST http://localhost/xkms/XKMS)."""
    process = subprocess.Popen([sys.executable, os.path.join(ROOT, "tools", "servers", "validation_service.py"),
                                "--port", "0", "--revoked-file", os.path.join(CARDS, "revoked-serials.txt")],
                               stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    match = re.match(r"READY port=(\d+)", line)
    if not match:
        process.kill()
        raise RuntimeError("validation service: %r" % line)
    return process, int(match.group(1))


class SlowValidator:
    """Says every certificate is valid after DELAY seconds: a call still
    running while further frames arrive."""
    REPLY = (b'<?xml version="1.0" encoding="utf-8"?><ValidateResult><ResultMajor>Success</ResultMajor>'
             b'<ResultMinor>NoMatch</ResultMinor></ValidateResult>')

    def __init__(self, delay=1.5):
        self.delay = delay
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                peer, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._answer, args=(peer,), daemon=True).start()

    def _answer(self, peer):
        with peer:
            data = b""
            while b"\r\n\r\n" not in data:
                piece = peer.recv(65536)
                if not piece:
                    return
                data += piece
            head, body = data.split(b"\r\n\r\n", 1)
            match = re.search(rb"content-length:\s*(\d+)", head, re.I)
            while match and len(body) < int(match.group(1)):
                piece = peer.recv(65536)
                if not piece:
                    return
                body += piece
            time.sleep(self.delay)
            peer.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n"
                         % len(self.REPLY) + self.REPLY)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- members, against Windows Script Host ---------------------------------

CARD_PROPERTIES = ["serialNumber", "ICCardID", "issuerName", "subjectName", "name", "idno", "usage", "email",
                   "notBefore", "notAfter", "cardIssType"]


def citizen_steps(service_port, closed):
    """(kind, member, arguments...): get and call become call frames, put a
    put frame. One connection, so later steps see what earlier ones left."""
    return [
        ("get", "ver"),
        ("get", "proxyServer"), ("get", "proxyPort"), ("get", "proxyUser"), ("get", "proxyPass"),
        ("get", "serialNumber"),  # before any read: the property reads the card by itself
        ("call", "readCard"),
        *[("get", name) for name in CARD_PROPERTIES],
        ("call", "checkPin", "1234"),
        ("call", "checkPin", "0000"),
        ("call", "checkCard", "0000"),
        ("call", "checkCard", "1234"),
        ("call", "checkPin", None),
        # checkPin without a PIN asks in the host's own dialog (pin_cases).
        ("call", "checkPin", 1234),
        ("call", "checkPin", True),
        # Which argument comes first shows whether the host keeps their order.
        ("call", "checkPin", "0000", "1234"), ("call", "checkPin", "1234", "0000"),
        ("put", "proxyPort", -1), ("get", "proxyPort"),
        ("put", "proxyPort", 0), ("get", "proxyPort"),
        ("put", "proxyPort", "8080"), ("get", "proxyPort"),
        ("put", "proxyPort", "abc"), ("get", "proxyPort"),
        ("put", "proxyPort", 2147483648), ("put", "proxyPort", 3.5), ("get", "proxyPort"),
        ("put", "proxyPort", None), ("get", "proxyPort"),
        ("put", "proxyServer", "proxy.example"), ("get", "proxyServer"),
        ("put", "proxyServer", 1234), ("get", "proxyServer"),
        ("put", "proxyServer", 1.5), ("get", "proxyServer"),
        ("put", "proxyServer", True), ("get", "proxyServer"),
        ("put", "proxyServer", None), ("get", "proxyServer"),
        ("put", "proxyUser", "王 user"), ("get", "proxyUser"),
        ("put", "proxyUser", "a\nb\r\u001ac\"\\"), ("get", "proxyUser"),
        ("put", "proxyUser", "é😀"), ("get", "proxyUser"),  # outside Big5
        ("put", "proxyPass", 42), ("get", "proxyPass"),
        ("put", "name", "x"), ("put", "ver", "4.0"), ("put", "cardIssType", "2"),
        ("put", "proxyServer", "127.0.0.1"), ("put", "proxyPort", service_port), ("call", "checkXKMS"),
        ("put", "proxyPort", closed), ("call", "checkXKMS"),
        ("put", "proxyServer", ""), ("get", "proxyServer"),
        ("get", "ver"),
    ]


def revoked_steps(service_port):
    return [("put", "proxyServer", "127.0.0.1"), ("put", "proxyPort", service_port), ("call", "checkXKMS"),
            ("call", "readCard"), ("get", "serialNumber"), ("get", "name"), ("get", "cardIssType")]


def script_token(value):
    if value is None:
        return "z"
    if isinstance(value, bool):
        return "b1" if value else "b0"
    if isinstance(value, (int, float)):
        return "n" + repr(value)
    units = value.encode("utf-16-le")
    return "s" + "".join(
        chr(u) if chr(u).isascii() and chr(u).isalnum() else "\\u%04X" % u
        for u in struct.unpack("<%dH" % (len(units) // 2), units))


def script_results(wine, card, steps):
    """What steps.js prints for the steps: one (kind, value) per step."""
    args = [" ".join([kind, member] + [script_token(a) for a in rest]) for kind, member, *rest in steps]
    env = dict(wine.env, QELT_CARD_PROFILE=winpath(os.path.join(CARDS, card, "card.profile")))
    code, out, err = wine.run(["cscript", "//nologo", winpath(os.path.join(HERE, "steps.js"))] + args,
                              timeout=120, env=env)
    lines = out.replace("\r", "").split("\n")
    if "done" not in lines:
        return None, "cscript (%s): %s %s" % (code, out, err)
    decode = lambda text: re.sub(r"\\u([0-9A-F]{4})", lambda m: chr(int(m.group(1), 16)), text)
    found = []
    for line in lines[:lines.index("done")]:
        words = line.split(" ", 2) + ["", ""]
        if words[0] == "err":
            found.append(("err", int(words[1]), decode(words[2])))
        else:
            kind, text = words[1], decode(words[2])
            found.append(("ok", None if kind == "z" else float(text) if kind == "n" else
                          text == "true" if kind == "b" else text))
    # Surrogate pairs were escaped one unit at a time.
    found = [tuple(x.encode("utf-16", "surrogatepass").decode("utf-16") if isinstance(x, str) else x for x in f)
             for f in found]
    return found, ""


def agrees(reply, expected):
    if expected[0] == "err":
        if not (reply.get("type") == "error" and reply.get("number") == expected[1]):
            return False
        # The control's own failures carry its text; the platform's failures
        # reach script without one, and the host gives the system's text.
        return reply.get("description") == expected[2] if expected[1] == E_UNEXPECTED else bool(reply.get("description"))
    if reply.get("type") != "result" or "value" not in reply:
        return False
    value, want = reply["value"], expected[1]
    if isinstance(want, float):
        return isinstance(value, (int, float)) and not isinstance(value, bool) and value == want
    return value == want and type(value) is type(want)


def member_cases(r, wine):
    service_port = wine.service_port
    for card, steps in (("citizen", citizen_steps(service_port, closed_port())),
                        ("revoked", revoked_steps(service_port))):
        expected, problem = script_results(wine, card, steps)
        if not r.check("members (%s): the script's reference run" % card, expected and len(expected) == len(steps),
                       problem or expected):
            continue
        host = Host(wine, card=card)
        ready = host.hello("https://site.example")
        r.check("members (%s): ready" % card, ready.get("type") == "ready", ready)
        for step, want in zip(steps, expected):
            kind, member, *rest = step
            reply = host.put(member, rest[0]) if kind == "put" else host.call(member, *rest)
            shown = member if kind == "get" else "%s = %s" % (member, encode(rest[0]).decode()) if kind == "put" \
                else "%s(%s)" % (member, encode(rest).decode()[1:-1])
            r.check("members (%s): %s as in script" % (card, short(shown, 80)[1:-1]),
                    agrees(reply, want), "bridge %s, script %s" % (short(reply), short(want)))
        code, _ = host.finish()
        r.check("members (%s): exit 0 at the end of input" % card, code == 0, code)


# --- frames ---------------------------------------------------------------

def nested(depth):
    """A call whose JSON is DEPTH containers deep (the frame's object counts)."""
    return b'{"type":"call","id":77,"member":"checkPin","args":' + b"[" * (depth - 1) + b"]" * (depth - 1) + b"}"


def pad(payload, length, filler=b" "):
    return payload + filler * (length - len(payload))


VER = b'{"type":"call","id":%d,"member":"ver","args":[]}'
BAD_FRAMES = [  # (what, payload, the id the error names)
    ("an array", b"[1,2]", None),
    ("a string", b'"call"', None),
    ("null", b"null", None),
    ("not JSON", b"{type:call}", None),
    ("two objects", VER % 3 + VER % 3, None),
    ("invalid UTF-8 (0xFF)", b'{"type":"call","id":4,"member":"ver","args":["\xff"]}', None),
    ("invalid UTF-8 (overlong /)", b'{"type":"call","id":4,"member":"ver","args":["\xc0\xaf"]}', None),
    ("invalid UTF-8 (a surrogate)", b'{"type":"call","id":4,"member":"ver","args":["\xed\xa0\x80"]}', None),
    ("invalid UTF-8 (cut short)", b'{"type":"call","id":4,"member":"ver","args":["\xe7\x8e"]}', None),
    ("a BOM", b"\xef\xbb\xbf" + VER % 5, None),
    ("zero length", b"", None),
    ("no id", b'{"type":"call","member":"ver","args":[]}', None),
    ("no type", b'{"id":6,"member":"ver","args":[]}', 6),
    ("no member", b'{"type":"call","id":7,"args":[]}', 7),
    ("no args", b'{"type":"call","id":8,"member":"ver"}', 8),
    ("a put without value", b'{"type":"put","id":9,"member":"proxyUser"}', 9),
    ("member a number", b'{"type":"call","id":10,"member":220,"args":[]}', 10),
    ("args a string", b'{"type":"call","id":11,"member":"ver","args":"x"}', 11),
    ("type a number", b'{"type":1,"id":12,"member":"ver","args":[]}', 12),
    ("unknown type", b'{"type":"cal","id":13,"member":"ver","args":[]}', 13),
    ("id -1", VER.replace(b"%d", b"-1"), None),
    ("id 2^53+1", VER % (2 ** 53 + 1), None),
    ('id "1"', VER.replace(b"%d", b'"1"'), None),
    ("id 1.5", VER.replace(b"%d", b"1.5"), None),
    ("id null", VER.replace(b"%d", b"null"), None),
    ("id true", VER.replace(b"%d", b"true"), None),
    # Lengths 10, 13 and 26 are LF, CR and Ctrl-Z: a text-mode stream changes them.
    ("length 10, {} and blanks", pad(b"{}", 10), None),
    ("length 13, CR LF inside", pad(b'{\r\n"a":1\r\n}', 13), None),
    ("length 26, unknown type", pad(b'{"type":"x"}\r\n', 26, b"\t"), None),
    ("length 10, a raw Ctrl-Z", pad(b'{"a":"\x1a"}', 10), None),
    ("length 13, a raw CR LF in a string", pad(b'{"a":"\r\n"}', 13), None),
    ("length 26, Ctrl-Z after the object", pad(b'{"a":1}\x1a', 26), None),
]


def frame_cases(r, wine):
    slow = wine.slow
    host = Host(wine)
    ready = host.hello("https://site.example")
    r.check("frames: ready", ready.get("type") == "ready", ready)

    for what, payload, id in BAD_FRAMES:
        host.send(payload)
        reply = host.reply()
        r.check("frames: %s -> E_INVALIDARG, id %s" % (what, id), is_error(reply, id, E_INVALIDARG), reply)
        if reply.get("type", "").startswith("("):
            break

    for what, text, id in [("id 0", b"0", 0), ("id 2^53", b"9007199254740992", 2 ** 53), ("id 7.0", b"7.0", 7),
                           ("id 1e3", b"1e3", 1000)]:
        host.send(VER.replace(b"%d", text))
        reply = host.reply()
        r.check("frames: %s is taken" % what, is_result(reply, id, "3.0") and type(reply["id"]) is int, reply)

    # Lengths whose low byte is LF, CR or Ctrl-Z, in both directions.
    for id, length in ((20, 0x10A), (21, 0x10D), (22, 0x11A)):
        host.send(pad(VER % id, length - 2) + b"\r\n")
        reply = host.reply()
        r.check("frames: a call of length %d" % length, is_result(reply, id, "3.0"), reply)
    # Ids from here on have three digits, so replies differ only in their values.
    host.next_id = 100
    host.put("proxyUser", "x")
    overhead = host.call("proxyUser").get("(length)", 0) - 1
    for length in (0x10A, 0x10D, 0x11A, 0x20A):
        value = "y" * (length - overhead)
        host.put("proxyUser", value)
        reply = host.call("proxyUser")
        r.check("frames: a reply of length %d" % length,
                is_result(reply, host.next_id - 1, value) and reply.get("(length)") == length,
                (overhead, reply.get("(length)")))

    # The largest frame is taken; the text it carries is over the limit of one value.
    head, tail = b'{"type":"put","id":30,"member":"proxyUser","value":"', b'"}'
    value = "q" * (MiB - len(head) - len(tail))
    host.send(head + value.encode() + tail)
    reply = host.reply(60)
    r.check("frames: a frame of exactly 1 MiB is taken: its 1 MiB value -> E_INVALIDARG for its id",
            is_error(reply, 30, E_INVALIDARG), short(reply))

    reply = host.call("readcard")
    r.check("frames: readcard -> DISP_E_UNKNOWNNAME", is_error(reply, host.next_id - 1, DISP_E_UNKNOWNNAME), reply)
    for what, message in [("an array argument", {"type": "call", "member": "checkPin", "args": [["1234"]]}),
                          ("an object argument", {"type": "call", "member": "checkPin", "args": [{"pin": "1234"}]}),
                          ("an array put", {"type": "put", "member": "proxyUser", "value": ["x"]})]:
        reply = host.ask(message)
        r.check("frames: %s -> E_INVALIDARG for its id" % what, is_error(reply, host.next_id - 1, E_INVALIDARG),
                reply)
    host.send(nested(8))
    reply = host.reply()
    r.check("frames: 8 levels deep -> an error reply", is_error(reply, 77, E_INVALIDARG), reply)
    for origin in ("https://site.example", "https://other.example"):
        reply = host.hello(origin)
        r.check("frames: a later hello (%s) -> E_INVALIDARG, id null" % origin, is_error(reply, None, E_INVALIDARG),
                reply)
    reply = host.call("ver")
    r.check("frames: the connection goes on", is_result(reply, host.next_id - 1, "3.0"), reply)

    # A slow validation keeps the first call pending while the rest arrive.
    host.put("proxyServer", "127.0.0.1")
    host.put("proxyPort", slow.port)
    host.write(frame(encode({"type": "call", "id": 50, "member": "checkXKMS", "args": []})) +
               frame(encode({"type": "call", "id": 50, "member": "ver", "args": []})))
    first, second = host.reply(), host.reply()
    r.check("frames: the pending call with a reused id is answered", is_result(first, 50), first)
    r.check("frames: its duplicate -> E_INVALIDARG after it", is_error(second, 50, E_INVALIDARG), second)
    # Free again as soon as its reply is out, however quickly it comes back.
    replies = [host.call("ver", id=50) for _ in range(200)]
    taken = sum(is_result(reply, 50, "3.0") for reply in replies)
    r.check("frames: an id is free once answered (200 calls reusing it at once)", taken == 200,
            "%d taken, first other: %s" % (taken, next((x for x in replies if not is_result(x, 50, "3.0")), None)))

    batch = [({"type": "call", "id": 60, "member": "checkXKMS", "args": []}, None),
             ({"type": "call", "id": 61, "member": "ver", "args": []}, "3.0"),
             (b"[]", None),
             ({"type": "call", "id": 62, "member": "proxyPort", "args": []}, slow.port),
             ({"type": "put", "id": 63, "member": "proxyUser", "value": "order"}, None),
             ({"type": "call", "id": 64, "member": "proxyUser", "args": []}, "order"),
             ({"type": "call", "id": 65, "member": "readCard", "args": []}, None),
             ({"type": "call", "id": 66, "member": "name", "args": []}, "王小明")]
    host.write(b"".join(frame(m if isinstance(m, bytes) else encode(m)) for m, _ in batch))
    replies = [host.reply() for _ in batch]
    in_order = all(is_error(got, None, E_INVALIDARG) if isinstance(m, bytes) else is_result(got, m["id"], value)
                   for (m, value), got in zip(batch, replies))
    r.check("frames: replies in the order of the frames", in_order, replies)

    # End of input while a call runs: the call ends, then the host does.
    host.write(frame(encode({"type": "call", "id": 70, "member": "checkXKMS", "args": []})))
    time.sleep(0.5)
    code, _ = host.finish(timeout=15)
    reply = host.reply(5)
    r.check("frames: end of input during a call: it runs to its end, then exit 0", is_result(reply, 70) and code == 0,
            "reply %s, exit %s, stderr %r" % (reply, code, host.stderr()[-300:]))


def fatal_cases(r, wine):
    """Faults that end the connection: exit code 2, a reason on standard
    error and no reply."""
    for what, data, close in [
        ("a length of 1 MiB + 1", struct.pack("<I", MiB + 1), False),
        ("input ending inside the length", b"\x05\x00", True),
        ("input ending inside a frame", struct.pack("<I", 100) + b'{"type":"call","id":1,', True),
        ("9 levels deep", frame(nested(9)), False),
    ]:
        host = Host(wine)
        ready = host.hello("https://site.example")
        host.write(data)
        code, _ = host.finish() if close else host.wait()
        reply = host.reply(5)
        r.check("fatal: %s -> exit 2, no reply, a reason" % what,
                ready.get("type") == "ready" and code == 2 and reply.get("type") == "(end)" and bool(host.stderr()),
                (ready.get("type"), code, reply, host.stderr()))

    for what, payload, reason, exit_code in [
        ("a call first", encode({"type": "call", "id": 1, "member": "ver", "args": []}), "hello", 2),
        ("a zero-length first frame", b"", "hello", 2),
        ("[1e400] first", b"[1e400]", "hello", 2),
        ("a hello with userActivation 1",
         encode({"type": "hello", "protocol": 1, "origin": "https://site.example", "topLevel": True,
                 "userActivation": 1}), "hello", 2),
        ("a hello without topLevel", encode({"type": "hello", "protocol": 1, "origin": "https://site.example"}),
         "hello", 2),
        ("a hello with protocol \"1\"",
         encode({"type": "hello", "protocol": "1", "origin": "https://site.example", "topLevel": True}), "hello", 2),
        ("protocol 2", encode({"type": "hello", "protocol": 2, "origin": "https://site.example", "topLevel": True}),
         "protocol", 1),
    ]:
        host = Host(wine)
        host.send(payload)
        reply = host.reply()
        code, _ = host.wait()
        r.check("first frame: %s -> refused (%s), exit %d" % (what, reason, exit_code),
                reply.get("type") == "refused" and reply.get("reason") == reason and
                reply.get("number") == E_INVALIDARG and "id" not in reply and code == exit_code, (reply, code))


# --- origins, policy and the box ------------------------------------------

def expect_origin(r, wine, what, origin, want, top_level=True, names=None, activation=None, managed=False):
    """A new host's answer to a hello: want is "ready" or a refusal's reason.
    names: text the refusal must name (the normalised origin)."""
    host = Host(wine)
    reply = host.hello(origin, top_level, timeout=15, activation=activation)
    code, _ = host.finish() if want == "ready" else host.wait()
    if want == "ready":
        passed = (reply.get("type") == "ready" and reply.get("protocol") == 1 and reply.get("version") == wine.version
                  and reply.get("arch") == wine.arch and reply.get("managedProxy") is managed and "id" not in reply
                  and code == 0)
    else:
        passed = (reply.get("type") == "refused" and reply.get("reason") == want and
                  reply.get("number") == E_ACCESSDENIED and "id" not in reply and code == 1 and
                  (names is None or names in reply.get("description", "")))
    r.check("%s: %s%s -> %s" % (what, origin, "" if top_level else " (frame)", want), passed,
            "reply %s, exit %s, stderr %r" % (reply, code, host.stderr()[-300:]))


ALLOWED = ["https://site.example", "https://*.example.org", "http://127.0.0.1:8123", "https://xn--bcher-kva.example",
           "https://blocked.example", "https://framed.example"]
BLOCKED = ["https://blocked.example", "https://bad.example.org"]

ORIGINS = [  # (what, origin, topLevel, reason or "ready", text the refusal names)
    ("invalid", "null", True, "origin", "null"),
    ("invalid", "", True, "origin", None),
    ("invalid", "file://", True, "origin", None),
    ("invalid", "file:///C:/page.html", True, "origin", None),
    ("invalid", "chrome-extension://x", True, "origin", None),
    ("invalid", "moz-extension://x", True, "origin", None),
    ("invalid", "ftp://site.example", True, "origin", None),
    ("invalid", "https://a/b", True, "origin", "https://a/b"),
    ("invalid", "https://u@a", True, "origin", None),
    ("invalid", "https://site.example?q", True, "origin", None),
    ("invalid", "https://site.example#f", True, "origin", None),
    ("invalid", "https://site.example:99999", True, "origin", None),
    ("invalid", "https://", True, "origin", None),
    ("policy", "http://example.com", True, "policy", "http://example.com"),
    ("allowed", "https://site.example", True, "ready", None),
    ("normalised", "HTTPS://Site.Example:443", True, "ready", None),
    ("normalised", "https://Bücher.example", True, "ready", None),
    ("allowed", "https://xn--bcher-kva.example", True, "ready", None),
    ("wildcard", "https://a.example.org", True, "ready", None),
    ("wildcard", "https://b.a.example.org", True, "ready", None),
    ("blocked wins", "https://blocked.example", True, "policy", "https://blocked.example"),
    ("blocked wins", "HTTPS://Blocked.Example:443", True, "policy", "https://blocked.example"),
    ("blocked wins", "https://bad.example.org", True, "policy", None),
    ("http listed", "http://127.0.0.1:8123", True, "ready", None),
    ("http", "http://127.0.0.1:8124", True, "policy", None),
    ("http", "http://127.0.0.1", True, "policy", None),
    ("http", "http://localhost:8123", True, "policy", None),
    ("frame", "https://framed.example", False, "ready", None),
    ("frame", "https://unframed.example", False, "frame", "https://unframed.example"),
]


def policy_cases(r, wine):
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)
    for what, origin, top_level, want, names in ORIGINS:
        expect_origin(r, wine, what, origin, want, top_level, names)
    code, count = wine.box("count", 0)
    r.check("policy: no box was shown", count == "0", count)

    # A browser closes the port as soon as it has read the refusal.
    codes = []
    for _ in range(8):
        host = Host(wine)
        host.hello("ftp://site.example", timeout=15)
        codes.append(host.finish()[0])
    r.check("policy: refused, and the input closed at once -> still exit 1", codes == [1] * 8, codes)


def later_policy_cases(r, wine):
    # Only AllowedOrigins admits; malformed entries are ignored, approvals do not count.
    wine.set_policy(AllowedOrigins=["https://*.example.org", "*", "https://*", "noscheme.example",
                                    "https://path.example/x", "https://*.*.example.net"],
                    PromptForOthers=0)
    for origin, want in [("https://a.example.org", "ready"), ("https://example.org", "policy"),
                         ("https://evil-example.org", "policy"), ("https://aexample.org", "policy"),
                         ("https://noscheme.example", "policy"), ("https://path.example", "policy"),
                         ("https://a.b.example.net", "policy"), ("https://unlisted.example", "policy"),
                         ("https://yes.example", "policy")]:
        expect_origin(r, wine, "PromptForOthers 0", origin, want)

    for what, values, origin in [
        ("AllowedOrigins REG_SZ", dict(AllowedOrigins=("REG_SZ", "https://site.example")), "https://site.example"),
        ("BlockedOrigins REG_SZ", dict(AllowedOrigins=["https://site.example"],
                                       BlockedOrigins=("REG_SZ", "https://other.example")), "https://site.example"),
        ("PromptForOthers REG_SZ", dict(AllowedOrigins=["https://site.example"],
                                        PromptForOthers=("REG_SZ", "1")), "https://unlisted.example"),
    ]:
        wine.set_policy(**values)
        expect_origin(r, wine, "wrong type: " + what, origin, "policy")
    wine.set_policy(AllowedOrigins=["https://site.example"], PromptForOthers=("REG_SZ", "1"))
    expect_origin(r, wine, "wrong type: PromptForOthers REG_SZ", "https://site.example", "ready")
    code, count = wine.box("count", 0)
    r.check("policy: no box was shown", count == "0", count)


def box_cases(r, wine):
    """Prompting on (the policy of policy_cases), the box answered from outside."""
    host = Host(wine)
    host.send(hello_frame("https://yes.example"))
    code, text = wine.box("yes", 30)
    reply = host.reply()
    r.check("box: it shows, titled QELTReader, naming the origin", code == 0 and "https://yes.example" in text,
            (code, text))
    r.check("box: Yes -> ready", reply.get("type") == "ready", reply)
    r.check("box: Yes is remembered", "https://yes.example" in wine.strings(ANSWERS, "ApprovedOrigins"),
            wine.strings(ANSWERS, "ApprovedOrigins"))
    host.finish()
    for origin, top_level in [("https://yes.example", True), ("https://yes.example", False),
                              ("HTTPS://YES.example:443", True)]:
        expect_origin(r, wine, "box: approved earlier, no box", origin, "ready", top_level)

    host = Host(wine)
    host.send(hello_frame("https://no.example"))
    code, text = wine.box("no", 30)
    reply = host.reply()
    exit_code, _ = host.wait()
    r.check("box: No -> refused (person), exit 1",
            code == 0 and "https://no.example" in text and reply.get("type") == "refused" and
            reply.get("reason") == "person" and reply.get("number") == E_ACCESSDENIED and exit_code == 1,
            (code, text, reply, exit_code))
    expect_origin(r, wine, "box: refused earlier this logon, no box", "https://no.example", "person", activation=True)
    expect_origin(r, wine, "box: a No covers the host name on any port", "https://no.example:8443", "person",
                  activation=True)
    expect_origin(r, wine, "box: without a gesture the No is not told", "https://no.example", "activation")
    r.check("box: No is not an approval", "https://no.example" not in wine.strings(ANSWERS, "ApprovedOrigins"),
            wine.strings(ANSWERS, "ApprovedOrigins"))

    host = Host(wine)
    host.send(hello_frame("https://gone.example"))
    code, text = wine.box("none", 30)
    exit_code, seconds = host.finish()
    r.check("box: end of input while it is open -> exit 0 within a second",
            code == 0 and exit_code == 0 and seconds < 1.5, (code, text, exit_code, "%.2f s" % seconds))
    remembered = wine.strings(ANSWERS, "ApprovedOrigins") + wine.strings(ANSWERS + r"\ThisLogon", "RefusedOrigins")
    code, count = wine.box("count", 0)
    r.check("box: ... the box is gone and nothing is remembered",
            count == "0" and "https://gone.example" not in remembered, (count, remembered))

    # Two hosts for one origin share one box, another origin gets its own
    # after it (one dialog at a time); the waiting host reads the answer and
    # asks nobody.
    hosts = [Host(wine) for _ in range(3)]
    for host, origin in zip(hosts, ["https://twice.example", "https://twice.example", "https://third.example"]):
        host.send(hello_frame(origin))
    code, count = wine.box("count", 30)
    time.sleep(1.5)
    code, count = wine.box("count", 0)
    r.check("box: one dialog at a time (two hosts for one origin, one for another -> 1 box)", count == "1", count)
    code, refused_text = wine.box("no", 10)
    code, approved_text = wine.box("yes", 10)
    twice_refused = "https://twice.example" in refused_text
    replies = [host.reply(20) for host in hosts]
    want_twice = ("refused", "person") if twice_refused else ("ready", None)
    want_third = ("ready", None) if twice_refused else ("refused", "person")
    got = [(reply.get("type"), reply.get("reason")) for reply in replies]
    r.check("box: the host that waited takes the answer given meanwhile, without a box of its own",
            got == [want_twice, want_twice, want_third] and ("twice" in approved_text) != twice_refused,
            (refused_text, approved_text, replies))
    code, count = wine.box("count", 0)
    r.check("box: no box left", count == "0", count)
    for host in hosts:
        host.finish()

    # A user's first answer a No: the key of the approvals must still last
    # beyond the logon (only the refusals' own key is volatile).
    wine.reg("delete", ANSWERS, "/f")
    for origin, action in [("https://first-no.example", "no"), ("https://then-yes.example", "yes")]:
        host = Host(wine)
        host.send(hello_frame(origin))
        wine.box(action, 30)
        host.reply()
        host.finish()
    wine.log_off_and_on()
    approved = wine.strings(ANSWERS, "ApprovedOrigins")
    refused = wine.strings(ANSWERS + r"\ThisLogon", "RefusedOrigins")
    r.check("box: after logging off and on, a Yes stays and a No is gone (even when the No came first)",
            "https://then-yes.example" in approved and "https://first-no.example" not in refused,
            (approved, refused))


# --- a hostile page ---------------------------------------------------------

LOGON = ANSWERS + r"\ThisLogon"


def private_kib(pid):
    """The process's anonymous resident memory (its private pages), KiB."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def peak_while(pid, work):
    """Runs work() and samples the process's private memory meanwhile: (peak KiB, work's result)."""
    peak, done = [private_kib(pid)], threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], private_kib(pid))
            time.sleep(0.02)
    sampler = threading.Thread(target=sample, daemon=True)
    sampler.start()
    try:
        result = work()
    finally:
        done.set()
        sampler.join()
    return max(peak[0], private_kib(pid)), result


def many_args_frame(id, size=MiB):
    head = b'{"type":"call","id":%d,"member":"ver","args":[0' % id
    return head + b",0" * ((size - len(head) - 2) // 2) + b"]}"


def hostile_cases(r, wine):
    """What a page nobody admitted can make the host do: no box without the
    person's gesture, nothing decoded, bounded work and memory."""
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)
    wine.reg("delete", ANSWERS, "/f")
    expect_origin(r, wine, "activation: none", "https://unasked.example", "activation", names="https://unasked.example")
    expect_origin(r, wine, "activation: false", "https://unasked.example", "activation", activation=False)
    expect_origin(r, wine, "activation: an allowed origin needs none", "https://site.example", "ready")
    code, count = wine.box("count", 0)
    r.check("activation: no box without it", count == "0", count)

    # A box nobody answers: refused (timeout) and remembered with its time.
    # It stays up for a minute, meanwhile the cases below need no box.
    waiting = Host(wine)
    waiting.send(hello_frame("https://quiet.example"))
    wine.box("count", 30)

    # Frames after the hello, before its answer: the host ends undecoded.
    early = Host(wine)
    early.write(frame(encode(hello_frame("https://early.example"))) +
                b"".join(frame(many_args_frame(i)) for i in range(64)))
    code, seconds = early.wait(15)
    reply = early.reply(2)
    r.check("before admission: 64 frames of 1 MiB after a hello that waits -> exit 2 undecoded, no reply",
            code == 2 and reply.get("type") == "(end)" and "before the hello" in early.stderr(),
            (code, reply, early.stderr()[-300:]))

    host = Host(wine)
    ready = host.hello("https://site.example")
    r.check("limits: ready, managedProxy false", ready.get("type") == "ready" and ready.get("managedProxy") is False,
            ready)
    for what, message, want in [
        ("8 arguments reach the control", {"type": "call", "member": "checkPin", "args": ["1"] * 8}, None),
        ("9 arguments", {"type": "call", "member": "checkPin", "args": ["1"] * 9}, E_INVALIDARG),
        ("an argument of 4097 characters", {"type": "call", "member": "checkPin", "args": ["漢" * 4097]}, E_INVALIDARG),
        ("a put of 4097 characters", {"type": "put", "member": "proxyUser", "value": "漢" * 4097}, E_INVALIDARG),
        ("a put of 4096 characters", {"type": "put", "member": "proxyUser", "value": "漢" * 4096}, "ok"),
    ]:
        reply = host.ask(message)
        id = host.next_id - 1
        passed = (is_result(reply, id) if want == "ok" else is_error(reply, id, want) if want
                  else reply.get("type") == "error" and reply.get("number") != E_INVALIDARG)
        r.check("limits: %s -> %s" % (what, want or "the control's own answer"), passed, short(reply))
    reply = host.call("proxyUser")
    r.check("limits: ... and it reads back whole", is_result(reply, host.next_id - 1, "漢" * 4096), short(reply))
    for what, payload in [("[1e400]", b"[1e400]"),
                          ("a call with 1e400", b'{"type":"call","id":9,"member":"checkPin","args":[1e400]}')]:
        host.send(payload)
        reply = host.reply()
        r.check("limits: %s -> E_INVALIDARG, id null" % what, is_error(reply, None, E_INVALIDARG), reply)
    # After admission: 64 frames of 1 MiB, each 500 000 arguments.
    before = private_kib(host.process.pid)

    def flood():
        host.write(b"".join(frame(many_args_frame(1000 + i)) for i in range(64)))
        return [host.reply(60) for _ in range(64)]
    peak, replies = peak_while(host.process.pid, flood)
    r.check("limits: 64 frames of 1 MiB with 500 000 arguments each -> 64 errors, private memory below 64 MiB "
            "(%d KiB before, peak %d KiB)" % (before, peak),
            all(is_error(x, 1000 + i, E_INVALIDARG) for i, x in enumerate(replies)) and peak < 64 * 1024,
            (before, peak, short(replies[-1])))
    reply = host.call("ver")
    r.check("limits: the connection goes on", is_result(reply, host.next_id - 1, "3.0"), reply)
    host.finish()

    quiet = waiting.reply(90)
    r.check("timeout: a box nobody answered -> refused (timeout)",
            quiet.get("type") == "refused" and quiet.get("reason") == "timeout", quiet)
    remembered = wine.strings(LOGON, "UnansweredOrigins")
    r.check("timeout: remembered with its time this logon",
            any(re.fullmatch(r"https://quiet\.example \d{10}", x) for x in remembered), remembered)

    # The person's No covers the host name; its first second is deaf.
    ignored = subprocess.Popen([wine.loader, wine.answer_box, TITLE, "early-yes", "60"], env=wine.env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    time.sleep(1)
    host = Host(wine)
    host.send(hello_frame("https://deaf.example"))
    try:
        out, _ = ignored.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        ignored.kill()
        out, _ = ignored.communicate()
    r.check("box: Yes in its first second is ignored (the box stays open)",
            ignored.returncode == 0 and b"deaf.example" in out, (ignored.returncode, out[-200:]))
    code, text = wine.box("no", 30)
    reply = host.reply()
    r.check("box: its text names the host on a line of its own, then the origin; No -> refused (person)",
            code == 0 and re.search(r"(^|\n)\s*deaf\.example\s*(\r?\n)", text) and "https://deaf.example" in text
            and reply.get("reason") == "person", (code, text, reply))
    host.finish()
    for origin in ("https://deaf.example:8443", "http://deaf.example:8080"):
        want = "person" if origin.startswith("https") else "policy"
        expect_origin(r, wine, "No for the host name", origin, want, activation=True)

    # Unanswered: that origin, ten minutes, no box.
    expect_origin(r, wine, "timeout: remembered, no box", "https://quiet.example", "timeout", activation=True)
    now = int(time.time())
    wine.reg("add", LOGON, "/v", "UnansweredOrigins", "/t", "REG_MULTI_SZ", "/d",
             "https://recent.example %d\\0https://stale.example %d" % (now - 30, now - 700), "/f")
    expect_origin(r, wine, "timeout: 30 s ago, no box", "https://recent.example", "timeout", activation=True)
    expect_origin(r, wine, "timeout: without a gesture still activation", "https://recent.example", "activation")
    host = Host(wine)
    host.send(hello_frame("https://stale.example"))
    code, text = wine.box("yes", 30)
    r.check("timeout: after ten minutes the box asks again", code == 0 and "stale.example" in text and
            host.reply().get("type") == "ready", (code, text))
    host.finish()
    code, count = wine.box("count", 0)
    r.check("hostile: no box left", count == "0", count)


def blocklist_cases(r, wine):
    allowed = ["https://*.example.org", "https://evil.example", "https://site.example", "https://[::1]"]
    wine.set_policy(AllowedOrigins=allowed, BlockedOrigins=["  evil.example ", "*.bad.example.org",
                                                             "[0:0:0:0:0:0:0:1]"])
    for origin, want in [("https://evil.example", "policy"), ("https://evil.example:8443", "policy"),
                         ("https://bad.example.org", "policy"), ("https://a.bad.example.org", "policy"),
                         ("https://[::1]", "policy"), ("https://good.example.org", "ready"),
                         ("https://site.example", "ready")]:
        expect_origin(r, wine, "blocked entries", origin, want)
    wine.set_policy(AllowedOrigins=allowed, BlockedOrigins=["https://other.example", "evil.example:8443"])
    expect_origin(r, wine, "a blocked entry not understood blocks all", "https://site.example", "policy",
                  names="evil.example:8443")
    wine.set_policy(AllowedOrigins=allowed, BlockedOrigins=["*"])
    expect_origin(r, wine, "\"*\" blocks all", "https://site.example", "policy")


def managed_proxy_cases(r, wine):
    wine.set_policy(AllowedOrigins=["https://site.example"], ProxyServer=("REG_SZ", "127.0.0.1"),
                    ProxyPort=wine.service_port, ProxyUser=("REG_SZ", "admin"), ProxyPass=("REG_SZ", "secret"))
    host = Host(wine)
    ready = host.hello("https://site.example")
    r.check("managed proxy: ready says so", ready.get("type") == "ready" and ready.get("managedProxy") is True, ready)
    steps = [("call", "proxyServer", "127.0.0.1"), ("call", "proxyPort", wine.service_port),
             ("call", "proxyUser", E_ACCESSDENIED), ("call", "proxyPass", E_ACCESSDENIED),
             ("put", "proxyServer", E_ACCESSDENIED), ("put", "proxyPort", E_ACCESSDENIED),
             ("put", "proxyUser", E_ACCESSDENIED), ("put", "proxyPass", E_ACCESSDENIED),
             ("call", "readCard", None), ("call", "checkXKMS", None), ("call", "proxyServer", "127.0.0.1")]
    for kind, member, want in steps:
        reply = host.put(member, "10.0.0.1" if member == "proxyServer" else 1) if kind == "put" else host.call(member)
        id = host.next_id - 1
        passed = is_error(reply, id, want) and "系統管理員" in reply["description"] \
            if want == E_ACCESSDENIED else is_result(reply, id, want)
        r.check("managed proxy: %s %s -> %s" % (kind, member, want), passed, reply)
    host.finish()
    wine.set_policy(AllowedOrigins=["https://site.example"], ProxyServer=1)
    expect_origin(r, wine, "managed proxy: ProxyServer not a text", "https://site.example", "policy",
                  names="ProxyServer")
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)


# --- sign-in, signing and the PIN dialog ------------------------------------

CHALLENGE = "Q2hhbGxlbmdlIGZyb20gdGhlIHNpdGUncyBzZXJ2ZXIgMTIzNDU2Nzg5MA"  # 58 characters


def logged_profile(work, card="citizen"):
    """A copy of the card's profile that logs every toolkit call: (profile, log)."""
    folder = os.path.join(CARDS, card)
    log = os.path.join(work, "calls-%s.log" % card)
    profile = os.path.join(work, "logged-%s.profile" % card)
    lines = []
    with open(os.path.join(folder, "card.profile"), encoding="utf-8") as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key in ("signCert", "encryptCert", "signKey", "encryptKey"):
                value = winpath(os.path.join(folder, value))
            lines.append("%s=%s" % (key, value) if _ else line.strip())
    lines.append("log=" + winpath(log))
    with open(profile, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    return profile, log


def logged_calls(log, method):
    """The logged calls of one method: their arguments, decoded."""
    if not os.path.exists(log):
        return []
    calls = []
    with open(log, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if parts[0] == method:
                calls.append([json.loads(p) for p in parts[1:]])
    return calls


def cms_content(signature, ca="moi.pem"):
    """(verified, content) of a Base64 CMS SignedData, checked by openssl against the test CA."""
    with tempfile.TemporaryDirectory() as folder:
        der, out = os.path.join(folder, "sig.der"), os.path.join(folder, "content")
        with open(der, "wb") as f:
            f.write(base64.b64decode(signature))
        done = subprocess.run(["openssl", "cms", "-verify", "-inform", "DER", "-in", der, "-binary", "-purpose", "any",
                               "-CAfile", os.path.join(CARDS, "ca", ca), "-out", out], capture_output=True)
        if done.returncode != 0:
            return False, done.stderr.decode("utf-8", "replace")
        with open(out, "rb") as f:
            return True, f.read()


def operation(kind, id, value, activation=True):
    return {"type": kind, "id": id, ("challenge" if kind == "authenticate" else "text"): value,
            "userActivation": activation}


def is_refusal(reply, id, number, reason):
    return is_error(reply, id, number) and reply.get("reason") == reason


def pin_cases(r, wine, work):
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)
    profile, log = logged_profile(work)
    with open(os.path.join(CARDS, "citizen", "sign.pem")) as f:
        certificate = "".join(f.read().splitlines()[1:-1])

    # A dialog nobody answers: the time-out, while the cases without a dialog run.
    lonely = Host(wine, profile=profile)
    lonely.hello("https://site.example")
    lonely.send(operation("authenticate", 1, CHALLENGE))
    code, texts = wine.pin("none", 30)
    started = time.monotonic()
    r.check("PIN dialog: it shows the host name on its own line, the origin, what it is for and the holder",
            code == 0 and re.search(r"(^|\n|\\n)\s*site\.example\s*($|\n|\\n)", texts) and
            "https://site.example" in texts and "王小明" in texts, (code, texts))

    host = Host(wine, profile=profile)
    ready = host.hello("https://site.example")
    r.check("ready lists the features", ready.get("features") == ["authenticate", "sign", "pinDialog"], ready)
    cases = [
        ("a challenge of 42 characters", operation("authenticate", 2, "A" * 42), E_INVALIDARG, None),
        ("a challenge with a space", operation("authenticate", 3, "A" * 42 + " "), E_INVALIDARG, None),
        ("an empty text", operation("sign", 4, ""), E_INVALIDARG, None),
        ("a text with U+202E", operation("sign", 5, "pay \u202e01"), E_INVALIDARG, "U+202E"),
        ("a text with ESC", operation("sign", 6, "a\u001b[0m"), E_INVALIDARG, "U+001B"),
        ("a text outside the code page", operation("sign", 7, "十😀"), E_INVALIDARG, "U+1F600"),
        ("a text with é (no best fit)", operation("sign", 8, "café"), E_INVALIDARG, "U+00E9"),
        ("a text of 16385 characters", operation("sign", 9, "a" * 16385), E_INVALIDARG, None),
        ("no gesture", operation("authenticate", 10, CHALLENGE, False), E_ACCESSDENIED, "activation"),
        ("checkPin without a PIN and without a gesture", {"type": "call", "id": 11, "member": "checkPin", "args": []},
         E_ACCESSDENIED, "activation"),
    ]
    for what, message, number, named in cases:
        reply = host.ask(message, id=message["id"])
        # A bad text's error names its first offending character; a refusal gives its reason.
        passed = is_error(reply, message["id"], number) and (
            reply.get("reason") == named if number == E_ACCESSDENIED else named is None or
            named in reply.get("description", ""))
        r.check("PIN operations: %s -> %d, no dialog" % (what, number), passed, short(reply))
    host.finish()
    expect = [("a frame", dict(top_level=False), "https://framed.example", "frame"),
              ("SigningOrigins 1, an approved origin", {}, "https://yes2.example", "policy")]
    wine.reg("add", ANSWERS, "/v", "ApprovedOrigins", "/t", "REG_MULTI_SZ", "/d", "https://yes2.example", "/f")
    for what, hello, origin, reason in expect:
        if reason == "policy":
            wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED, SigningOrigins=1)
        host = Host(wine, profile=profile)
        ready = host.hello(origin, hello.get("top_level", True))
        reply = host.ask(operation("authenticate", 1, CHALLENGE), id=1)
        r.check("PIN operations: %s -> %s" % (what, reason),
                ready.get("type") == "ready" and is_refusal(reply, 1, E_ACCESSDENIED, reason), (ready, reply))
        host.finish()
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED, PinFromPages=0)
    host = Host(wine, profile=profile)
    host.hello("https://site.example")
    reply = host.call("checkPin", "1234")
    r.check("PinFromPages 0: a PIN from the page -> refused (policy)",
            is_refusal(reply, host.next_id - 1, E_ACCESSDENIED, "policy") and "對話方塊" in reply["description"], reply)
    host.finish()
    wine.set_policy(AllowedOrigins=ALLOWED, BlockedOrigins=BLOCKED)
    r.check("nothing was signed so far", logged_calls(log, "SignData") == [], logged_calls(log, "SignData"))

    quiet = lonely.reply(150)
    r.check("PIN dialog: no answer in 120 s -> ERROR_TIMEOUT (timeout), after %.0f s" % (time.monotonic() - started),
            is_refusal(quiet, 1, -2147023436, "timeout"), quiet)
    lonely.finish()

    # Sign-in: the exact text and PIN the card gets, the token, the signature.
    host = Host(wine, profile=profile)
    host.hello("https://site.example", activation=True)
    host.send(operation("authenticate", 1, CHALLENGE, activation=False))  # the hello's gesture carries
    code, texts = wine.pin("pin", 30, "0000", "1234")
    token = host.reply(30)
    value = token.get("value") or {}
    tbs = "<TBSHeader>qelt-auth:1 https://site.example</TBSHeader><TBSBody>%s</TBSBody>" % CHALLENGE
    r.check("authenticate: a wrong PIN keeps the dialog open, the right one signs",
            code == 0 and "PinCode錯誤" in texts and token.get("type") == "result", (code, texts, short(token)))
    r.check("authenticate: the card got exactly the text and the PINs typed",
            logged_calls(log, "SignData") == [[0, tbs, "0000"], [0, tbs, "1234"]], logged_calls(log, "SignData"))
    r.check("authenticate: the token's fields in order",
            list(value) == ["format", "origin", "certificate", "signature", "codePage", "appVersion"] and
            value["format"] == "qelt-auth:1" and value["origin"] == "https://site.example" and
            value["certificate"] == certificate and value["codePage"] == 950 and value["appVersion"] == wine.version,
            short(value))
    verified, content = cms_content(value.get("signature", ""))
    r.check("authenticate: the signature verifies against the test CA over exactly the text",
            verified and content == tbs.encode("ascii"), short(content))

    text = "本人同意轉帳新臺幣十萬元整\n（卅日內有效）"
    host.send(operation("sign", 2, text))
    code, texts = wine.pin("pin", 30, "1234")
    reply = host.reply(30)
    value = reply.get("value") or {}
    verified, content = cms_content(value.get("signature", ""))
    want = ("<TBSHeader>qelt-sign:1 https://site.example</TBSHeader><TBSBody>%s</TBSBody>" % text).encode("cp950")
    r.check("sign: the dialog shows the text, the signature covers it in code page 950",
            code == 0 and "十萬元" in texts and value.get("format") == "qelt-sign:1" and verified and content == want,
            (code, texts, short(value), short(content)))

    for what, action, pins, want in [("cancel", "cancel", (), ("cancelled", -2147023673)),
                                     ("three wrong PINs", "pin", ("0000", "1111", "2222"), (None, E_UNEXPECTED))]:
        host.send(operation("authenticate", 3, CHALLENGE))
        code, texts = wine.pin(action, 30, *pins)
        reply = host.reply(30)
        passed = is_error(reply, 3, want[1]) and reply.get("reason") == want[0] and (
            want[0] or reply.get("description") == "PinCode錯誤")
        r.check("authenticate: %s -> %s" % (what, want[0] or "PinCode錯誤"), code == 0 and passed, (code, reply))

    # An early OK is ignored; a second operation while one waits is busy.
    early = wine.start_pin("early-ok", 30, "1234")
    time.sleep(1)
    host.write(frame(encode(operation("authenticate", 4, CHALLENGE))) +
               frame(encode({"type": "call", "id": 5, "member": "checkPin", "args": [], "userActivation": True})))
    out, _ = early.communicate(timeout=60)
    code, texts = wine.pin("pin", 30, "1234")
    first, second = host.reply(30), host.reply(30)
    r.check("PIN dialog: OK in its first second is ignored", early.returncode == 0, (early.returncode, out[-300:]))
    r.check("busy: a second PIN operation while one waits -> ERROR_BUSY (busy), after the first's answer",
            first.get("type") == "result" and is_refusal(second, 5, -2147024726, "busy"), (short(first), second))

    host.send({"type": "call", "id": 6, "member": "checkPin", "args": [], "userActivation": True})
    code, texts = wine.pin("pin", 30, "1234")
    reply = host.reply(30)
    want = host.call("checkPin", "1234")
    r.check("checkPin without a PIN: the dialog, then the member's own answer",
            code == 0 and reply.get("type") == "result" and reply.get("value") == want.get("value"), (reply, want))

    # The browser gone while the dialog is open: nothing signed, the host ends.
    signed = len(logged_calls(log, "SignData"))
    host.send(operation("authenticate", 7, CHALLENGE))
    wine.pin("none", 30)
    exit_code, seconds = host.finish()
    r.check("end of input with the dialog open -> exit 0 within a second, nothing signed",
            exit_code == 0 and seconds < 1.5 and len(logged_calls(log, "SignData")) == signed,
            (exit_code, "%.2f s" % seconds))
    code, count = wine.pin("count", 0)
    r.check("PIN dialog: none left", count == "0", count)


# --- command lines and the end of input ------------------------------------

def shape_cases(r, wine):
    with open(os.path.join(CARDS, "citizen", "sign.pem")) as f:
        certificate = f.read().splitlines()[1]
    for what, args, via_cmd in [
        ("Chrome: the origin", [CHROME], False),
        ("Chrome on Windows: --parent-window", ["--parent-window=123", CHROME], False),
        ("Firefox: manifest path and add-on ID", [r"C:\some path\qelt.reader.bridge.json", "qelt-reader@example.org"],
         False),
        ("through cmd.exe /c", [CHROME], True),
        # The control then prints the certificate on the process's standard output.
        ("OPT=3, the control's command-line mode", ["OPT=3"], False),
    ]:
        host = Host(wine, args=args, via_cmd=via_cmd)
        ready = host.hello("https://site.example")
        ver = host.call("ver", id=1)
        code, _ = host.finish()
        rest = host.reply(5)
        r.check("command line: %s -> ready, ver 3.0, nothing else on the output, exit 0" % what,
                ready.get("type") == "ready" and is_result(ver, 1, "3.0") and rest.get("type") == "(end)" and code == 0,
                (ready, ver, rest, code, host.stderr()[:200]))
        if "OPT=3" in args:
            r.check("command line: OPT=3's certificate went to standard error", certificate in host.stderr(),
                    host.stderr()[:200])

    host = Host(wine)
    ready = host.hello("https://site.example")
    code, seconds = host.finish()
    r.check("end of input when idle -> exit 0 within a second",
            ready.get("type") == "ready" and code == 0 and seconds < 1.5, (ready, code, "%.2f s" % seconds))


def unavailable_case(r, wine):
    wine.run(["regsvr32", "/s", "/u", winpath(wine.ocx)])
    host = Host(wine)
    reply = host.hello("https://site.example")
    code, _ = host.wait()
    r.check("control not registered -> unavailable (REGDB_E_CLASSNOTREG), exit 1",
            reply.get("type") == "unavailable" and reply.get("number") == REGDB_E_CLASSNOTREG and
            reply.get("description") and "id" not in reply and code == 1, (reply, code))
    wine.run(["regsvr32", "/s", winpath(wine.ocx)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("bridge", "ocx", "card_dll", "answer_box", "version"):
        parser.add_argument(name)
    parser.add_argument("--prefix")
    parser.add_argument("--only", help="run these groups of cases alone (comma-separated, e.g. pin,box)")
    options = parser.parse_args()
    for path in (options.bridge, options.ocx, options.card_dll, options.answer_box):
        if not os.path.isfile(path):
            print("host_test.py: missing %s" % path, file=sys.stderr)
            return 2

    work = tempfile.mkdtemp(prefix="qelt-bridge-test.")
    wine = Wine(options, work)
    r = Results()
    service, wine.service_port = start_validation_service()
    wine.slow = SlowValidator()
    started = time.monotonic()
    try:
        wine.prepare()
        # Without a first answer every case would only wait for its time-out.
        host = Host(wine)
        ready = host.hello("https://site.example", timeout=60)
        host.finish()
        if r.check("the host answers a hello from an allowed origin with ready", ready.get("type") == "ready",
                   (ready, host.stderr())):
            groups = [member_cases, frame_cases, fatal_cases, policy_cases, box_cases, hostile_cases, blocklist_cases,
                      managed_proxy_cases, later_policy_cases, shape_cases, unavailable_case,
                      lambda r, wine: pin_cases(r, wine, work)]
            names = ["member", "frame", "fatal", "policy", "box", "hostile", "blocklist", "managed_proxy",
                     "later_policy", "shape", "unavailable", "pin"]
            only = options.only.split(",") if options.only else names
            for name, cases in zip(names, groups):
                if name in only:
                    cases(r, wine)
    finally:
        Host.end_all()
        service.kill()
        service.wait()
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed (%s, %.0f s)" % (r.passed, r.failed, wine.arch, time.monotonic() - started))
    return 1 if r.failed else 0


if __name__ == "__main__":
    sys.exit(main())
