// The browser tests' world: a folder of the run's own (HOME, profiles, Wine
// prefix, host manifests), the page servers, the validation services, the
// script host's reference answers, the browsers, and a cleanup that ends
// every process the run started.
//
// Settings (run.sh sets them): QELT_ARCH, QELT_BRIDGE_EXE, QELT_OCX,
// QELT_CARD_DLL, QELT_ANSWER_BOX, QELT_ANSWER_PIN (else answer_pin.exe beside
// answer_box), QELT_SERVICE_EXE, QELT_EXTENSION_DIR, QELT_BROWSER_WORK (the
// run's folder, else a new one); QELT_BROWSER_KEEP=1 keeps that folder.
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import https from "node:https";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

// import.meta.dirname is Node 20.11 and later; Debian 12 has Node 18.
export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..", "..");
// The extension folder loaded unpacked: the build's (links resolved) or the source.
export const EXTENSION = process.env.QELT_EXTENSION_DIR || path.join(ROOT, "bridge", "extension");
export const IDS = JSON.parse(fs.readFileSync(path.join(ROOT, "bridge", "extension", "ids.json"), "utf8"));
export const CARDS = path.join(ROOT, "tests", "cards");

export const E_ACCESSDENIED = -2147024891;
export const E_INVALIDARG = -2147024809;
export const E_UNEXPECTED = -2147418113;
export const REGDB_E_CLASSNOTREG = -2147221164;
export const ERROR_BUSY = -2147024726;
export const ERROR_CANCELLED = -2147023673;

const POLICY = "HKLM\\SOFTWARE\\Policies\\QELTReader\\Bridge";
const ANSWERS = "HKCU\\Software\\QELTReader\\Bridge";

// A validation reply for any certificate: valid.
const VALID = '<?xml version="1.0" encoding="utf-8"?><ValidateResult><ResultMajor>Success</ResultMajor>' +
              "<ResultMinor>NoMatch</ResultMinor></ValidateResult>";

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function winpath(p) {
  return "Z:" + path.resolve(p).replaceAll("/", "\\");
}

function required(name) {
  const value = process.env[name];
  if (!value || !fs.existsSync(value)) throw new Error(`${name} must name an existing file (run.sh sets it): ${value}`);
  return value;
}

async function until(what, test, ms, every = 100) {
  const deadline = Date.now() + ms;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${ms} ms waiting for ${what}`);
    await sleep(every);
  }
}

// Processes whose environment has the run's HOME or Wine prefix: everything
// the run started, browsers and Wine included (never selected by name: other
// sessions run Wine and browsers on this machine too).
function processesOf(run) {
  const marks = [`\0HOME=${run.home}\0`, `\0WINEPREFIX=${run.prefix}\0`];
  const found = [];
  for (const entry of fs.readdirSync("/proc")) {
    if (!/^\d+$/.test(entry) || Number(entry) === process.pid) continue;
    try {
      const environ = "\0" + fs.readFileSync(`/proc/${entry}/environ`, "latin1");
      if (marks.some((mark) => environ.includes(mark))) {
        const cmd = fs.readFileSync(`/proc/${entry}/cmdline`, "latin1").replaceAll("\0", " ").trim();
        found.push({ pid: Number(entry), cmd });
      }
    } catch {
      // gone meanwhile, or not ours to read
    }
  }
  return found;
}

// --- servers ---------------------------------------------------------------

const TYPES = { ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
                ".json": "application/json", ".css": "text/css", ".txt": "text/plain; charset=utf-8" };

// The repository's files, so that a page's relative import of the library works.
function serveRepository(request, response) {
  const url = new URL(request.url, "http://x");
  const file = path.join(ROOT, decodeURIComponent(url.pathname));
  if (!file.startsWith(ROOT + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream",
                            "Cache-Control": "no-store" });
  fs.createReadStream(file).pipe(response);
}

function listen(server, port = 0) {
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(port, "127.0.0.1", () => resolve(server.address().port));
  });
}

/** A validation peer that holds each request until told to answer it. */
export class HoldingPeer {
  constructor() {
    this.held = [];
    this.requests = 0;
    this.sockets = new Set();
    this.server = net.createServer((socket) => {
      this.sockets.add(socket);
      socket.on("close", () => this.sockets.delete(socket));
      socket.on("error", () => {});
      let data = Buffer.alloc(0);
      socket.on("data", (piece) => {
        data = Buffer.concat([data, piece]);
        const end = data.indexOf("\r\n\r\n");
        if (end < 0) return;
        const length = Number((/content-length:\s*(\d+)/i.exec(data.subarray(0, end).toString()) || [])[1] || 0);
        if (data.length < end + 4 + length || socket.counted) return;
        socket.counted = true;
        this.requests += 1;
        this.held.push(socket);
      });
    });
  }

  async start() {
    this.port = await listen(this.server);
    return this;
  }

  waitForRequests(count, ms = 20000) {
    return until(`${count} request(s) at the holding peer`, () => this.requests >= count, ms, 20);
  }

  release() {
    for (const socket of this.held.splice(0)) {
      socket.end(`HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: ${VALID.length}\r\n\r\n${VALID}`);
    }
  }

  close() {
    for (const socket of this.sockets) socket.destroy();
    this.server.close();
  }
}

// --- the run ---------------------------------------------------------------

export class Run {
  constructor() {
    this.arch = process.env.QELT_ARCH;
    if (this.arch !== "x86" && this.arch !== "x64") throw new Error(`QELT_ARCH must be x86 or x64: ${this.arch}`);
    this.bridge = required("QELT_BRIDGE_EXE");
    this.ocx = required("QELT_OCX");
    this.cardDll = required("QELT_CARD_DLL");
    this.answerBoxExe = required("QELT_ANSWER_BOX");
    // Looked for when a case needs it: the cases without a PIN dialog run without it.
    this.answerPinExe = process.env.QELT_ANSWER_PIN || path.join(path.dirname(this.answerBoxExe), "answer_pin.exe");
    this.serviceExe = required("QELT_SERVICE_EXE");
    this.loader = this.arch === "x64" ? "/usr/lib/wine/wine64" : "/usr/lib/wine/wine";
    this.work = process.env.QELT_BROWSER_WORK || fs.mkdtempSync(path.join(os.tmpdir(), "qelt-browser."));
    this.home = path.join(this.work, "home");
    this.prefix = path.join(this.work, "wineprefix");
    for (const dir of ["home/.config", "home/.local/share", "home/.cache", "runtime", "host", "tls"]) {
      fs.mkdirSync(path.join(this.work, dir), { recursive: true, mode: 0o700 });
    }
    const env = { ...process.env };
    for (const name of ["QELT_CARD_PROFILE", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "WINESERVER"]) {
      delete env[name];
    }
    this.env = Object.assign(env, {
      HOME: this.home, XDG_CONFIG_HOME: path.join(this.home, ".config"),
      XDG_DATA_HOME: path.join(this.home, ".local", "share"), XDG_CACHE_HOME: path.join(this.home, ".cache"),
      XDG_RUNTIME_DIR: path.join(this.work, "runtime"),
      WINEPREFIX: this.prefix, QELT_WINEPREFIX: this.prefix, WINEARCH: this.arch === "x64" ? "win64" : "win32",
      WINELOADER: this.loader, WINEDEBUG: "-all", WINEDLLOVERRIDES: "mscoree,mshtml=",
    });
    this.wineEnv = { ...this.env, LC_ALL: process.env.QELT_LOCALE || "zh_TW.UTF-8" };
    this.children = new Set();   // long-running processes we started
    this.servers = [];
    this.browsers = [];
    this.hostPidFile = path.join(this.work, "host", "pids");
    this.cardFile = path.join(this.work, "host", "card");
    this.hostExeFile = path.join(this.work, "host", "exe");
  }

  // --- Wine -----------------------------------------------------------------

  /** A Windows program to its end: { code, stdout, stderr }. Output goes
   *  through files: Wine's background processes inherit pipes and would hold
   *  them open. */
  wine(args, { timeout = 60000, env = this.wineEnv } = {}) {
    return this.program(this.loader, args, { timeout, env });
  }

  program(file, args, { timeout = 60000, env = this.env } = {}) {
    const out = path.join(this.work, `out.${process.hrtime.bigint()}`);
    const fds = [fs.openSync(out + ".1", "w+"), fs.openSync(out + ".2", "w+")];
    return new Promise((resolve) => {
      const child = spawn(file, args, { env, stdio: ["ignore", fds[0], fds[1]] });
      const timer = setTimeout(() => child.kill("SIGKILL"), timeout);
      let ended = false;
      const done = (code) => {
        if (ended) return;
        ended = true;
        clearTimeout(timer);
        const read = (n) => fs.readFileSync(out + "." + n, "utf8");
        const result = { code, stdout: read(1), stderr: read(2) };
        fds.forEach((fd) => fs.closeSync(fd));
        fs.rmSync(out + ".1");
        fs.rmSync(out + ".2");
        resolve(result);
      };
      child.on("exit", (code, signal) => done(signal ? signal : code));
      child.on("error", (e) => done(String(e)));
    });
  }

  /** reg.exe; the 64-bit prefix's own view for the x64 host. */
  reg(...args) {
    return this.wine(["reg", ...args, ...(this.arch === "x64" ? ["/reg:64"] : [])]);
  }

  async setPolicy(values) {
    await this.reg("delete", POLICY, "/f");
    for (const [name, value] of Object.entries(values)) {
      const [type, data] = Array.isArray(value) ? ["REG_MULTI_SZ", value.join("\\0")]
        : typeof value === "string" ? ["REG_SZ", value] : ["REG_DWORD", String(value)];
      const r = await this.reg("add", POLICY, "/v", name, "/t", type, "/d", data, "/f");
      if (r.code !== 0) throw new Error(`reg add ${name}: ${r.code} ${r.stdout}${r.stderr}`);
    }
  }

  /** Forgets the answers the box was given. */
  forgetAnswers() {
    return this.reg("delete", ANSWERS, "/f");
  }

  async register(module, unregister = false) {
    const r = await this.wine(["regsvr32", "/s", ...(unregister ? ["/u"] : []), winpath(module)]);
    if (r.code !== 0) throw new Error(`regsvr32 ${unregister ? "/u " : ""}${module}: ${r.code} ${r.stderr}`);
  }

  /** answer_box: the person in front of the host's question box. */
  async answerBox(action, seconds) {
    const r = await this.wine([this.answerBoxExe, "QELTReader", action, String(seconds)], { timeout: (seconds + 30) * 1000 });
    return { code: r.code, text: r.stdout.trim() };
  }

  /** answer_pin: the person in front of the host's PIN dialog. action "pin"
   *  with the PINs to type, "cancel", "none" (reads it only); code 1 when no
   *  dialog showed within the seconds; text: the dialog's texts, a line each. */
  async answerPin(action, seconds, ...pins) {
    if (!fs.existsSync(this.answerPinExe)) throw new Error(`answer_pin.exe is not built: ${this.answerPinExe}`);
    const r = await this.wine([this.answerPinExe, "QELTReader", action, String(seconds), ...pins],
                              { timeout: (seconds + 60) * 1000 });
    return { code: r.code, text: r.stdout.replaceAll("\r", "").trim() };
  }

  /** The content a Base64 PKCS#7 signature covers, as bytes, once openssl
   *  verified it against the citizen card's CA. */
  signedContent(signature) {
    const der = path.join(this.work, `sig.${process.hrtime.bigint()}.der`);
    fs.writeFileSync(der, Buffer.from(signature, "base64"));
    try {
      return execFileSync("openssl", ["cms", "-verify", "-inform", "DER", "-in", der, "-CAfile",
                                      path.join(CARDS, "ca", "moi.pem"), "-purpose", "any"],
                          { stdio: ["ignore", "pipe", "pipe"] });
    } finally {
      fs.rmSync(der, { force: true });
    }
  }

  /** The program the next host runs: qelt-bridge.exe, or another speaking
   *  its protocol (the benchmark's echo host). */
  setHostExe(file = this.bridge) {
    fs.writeFileSync(this.hostExeFile, file);
  }

  /** The card the next host reads: a folder of tests/cards. */
  setCard(name) {
    fs.writeFileSync(this.cardFile, winpath(path.join(CARDS, name, "card.profile")));
  }

  /** Hosts started so far (the wrapper records each), those still running. */
  hostPids() {
    const text = fs.existsSync(this.hostPidFile) ? fs.readFileSync(this.hostPidFile, "utf8") : "";
    return text.split("\n").filter(Boolean).map(Number);
  }

  /** qelt-bridge.exe processes of this run running now. */
  hostProcesses() {
    return processesOf(this).filter((p) => p.cmd.includes("qelt-bridge.exe"));
  }

  static alive(pid) {
    try {
      return fs.readFileSync(`/proc/${pid}/cmdline`, "latin1").includes("qelt-bridge");
    } catch {
      return false;
    }
  }

  // --- set-up ---------------------------------------------------------------

  async setup() {
    const started = Date.now();
    const pages = http.createServer(serveRepository);
    const refused = http.createServer(serveRepository);
    const tls = path.join(this.work, "tls");
    execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                             "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", path.join(tls, "key.pem"),
                             "-out", path.join(tls, "cert.pem")], { stdio: "ignore" });
    const secure = https.createServer({ key: fs.readFileSync(path.join(tls, "key.pem")),
                                        cert: fs.readFileSync(path.join(tls, "cert.pem")) }, serveRepository);
    this.servers.push(pages, refused, secure);
    const [p, r, s] = await Promise.all([listen(pages), listen(refused), listen(secure)]);
    // Admitted by policy; plain http elsewhere (refused); https, for the box.
    this.origins = { allowed: `http://127.0.0.1:${p}`, refused: `http://127.0.0.1:${r}`, secure: `https://127.0.0.1:${s}` };
    this.peer = await new HoldingPeer().start();
    this.servers.push(this.peer);

    const prefix = await this.program("bash", [path.join(ROOT, "tools", "wine-prefix.sh")],
                                      { timeout: 300000, env: { ...this.env, QELT_ARCH: this.arch } });
    if (prefix.code !== 0) throw new Error(`wine-prefix.sh: ${prefix.code} ${prefix.stderr}`);
    // One server for the run (it outlives a run cut short by 30 s only);
    // Wine's services started with nothing of ours to hold.
    await this.program("wineserver", ["-p30"]);
    await this.wine(["cmd", "/c", "exit"], { timeout: 120000 });
    await Promise.all([this.register(this.ocx), this.register(this.cardDll)]);
    await this.forgetAnswers();
    await this.setPolicy({ AllowedOrigins: [this.origins.allowed] });
    await this.startService();
    this.writeHostWrapper();
    this.setHostExe();
    this.setCard("citizen");
    this.setupSeconds = (Date.now() - started) / 1000;
  }

  /** The development kit's validation service under Wine: on port 80 when it
   *  can (the default validation URL, for the sample page), else anywhere. */
  async startService() {
    for (const port of ["80", "0"]) {
      const ready = path.join(this.work, `service-${port}.port`);
      const child = spawn(this.loader, [this.serviceExe, "--port", port, "--ready-file", winpath(ready),
                                        "--revoked-file", winpath(path.join(CARDS, "revoked-serials.txt"))],
                          { env: this.wineEnv, stdio: "ignore" });
      this.children.add(child);
      let exited = false;
      child.on("exit", () => { exited = true; this.children.delete(child); });
      try {
        await until("the validation service", () => exited || (fs.existsSync(ready) && fs.readFileSync(ready, "utf8").trim()), 30000);
      } catch (e) {
        child.kill("SIGKILL");
        throw e;
      }
      if (!exited) {
        this.servicePort = Number(fs.readFileSync(ready, "utf8").trim());
        this.service = child;
        return;
      }
    }
    throw new Error("the validation service did not start");
  }

  /** The native host as the browsers start it: the run's prefix, locale and
   *  card, its PID recorded; exec, so the browser's process is the host. */
  writeHostWrapper() {
    const q = (s) => `'${s.replaceAll("'", "'\\''")}'`;
    this.hostScript = path.join(this.work, "host", "qelt-bridge.sh");
    fs.writeFileSync(this.hostScript, [
      "#!/bin/sh",
      `echo $$ >> ${q(this.hostPidFile)}`,
      `export LC_ALL=${q(this.wineEnv.LC_ALL)} WINEPREFIX=${q(this.prefix)} WINELOADER=${q(this.loader)}`,
      "export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='",
      `QELT_CARD_PROFILE="$(cat ${q(this.cardFile)})"`,
      "export QELT_CARD_PROFILE",
      `exec ${q(this.loader)} "$(cat ${q(this.hostExeFile)})" "$@"`,
      "",
    ].join("\n"), { mode: 0o755 });
  }

  /** What steps.js (Windows Script Host) gets for the steps, as the page's
   *  outcomes look: { value } or { error: { number, description } }. */
  async scriptHost(card, steps) {
    const args = steps.map(([kind, member, ...rest]) => [kind, member, ...rest.map(scriptToken)].join(" "));
    const env = { ...this.wineEnv, QELT_CARD_PROFILE: winpath(path.join(CARDS, card, "card.profile")) };
    const cscript = () => this.wine(["cscript", "//nologo", winpath(path.join(ROOT, "tests", "bridge", "steps.js")),
                                     ...args], { env, timeout: 120000 });
    let r = await cscript();
    if (r.code === 0 && !r.stdout.trim() && !r.stderr.trim()) {
      // Wine's cscript once ended with 0 and wrote nothing at all (x64, one
      // run in about five); the reference is asked once more, said aloud.
      console.error(`[reference] cscript steps.js (${card}) printed nothing: asked again`);
      r = await cscript();
    }
    const lines = r.stdout.replaceAll("\r", "").split("\n");
    const end = lines.indexOf("done");
    if (end !== steps.length) throw new Error(`cscript steps.js (${r.code}): ${r.stdout} ${r.stderr}`);
    const decode = (t) => t.replace(/\\u([0-9A-F]{4})/g, (_, h) => String.fromCharCode(parseInt(h, 16)));
    return lines.slice(0, end).map((line) => {
      const [word, kind, ...rest] = line.split(" ");
      const text = decode(rest.join(" "));
      if (word === "err") return { error: { number: Number(kind), description: text } };
      return { value: kind === "z" ? null : kind === "n" ? Number(text) : kind === "b" ? text === "true" : text };
    });
  }

  // --- browsers -------------------------------------------------------------

  /** A host manifest in the place each browser reads it: "ours", "foreign"
   *  (admitting someone else's extension), "exits" (a host that ends before
   *  it answers) or "none". */
  hostManifest(browser, mode) {
    const file = browser === "chromium"
      ? path.join(this.work, "chromium", "NativeMessagingHosts", `${IDS.hostName}.json`)
      : path.join(this.home, ".mozilla", "native-messaging-hosts", `${IDS.hostName}.json`);
    if (mode === "none") {
      fs.rmSync(file, { force: true });
      return;
    }
    const ours = mode !== "foreign";
    let host = this.hostScript;
    if (mode === "exits") {
      host = path.join(this.work, "host", "exits.sh");
      fs.writeFileSync(host, "#!/bin/sh\nexit 3\n", { mode: 0o755 });
    }
    const manifest = { name: IDS.hostName, description: "QELTReader bridge (browser tests)", path: host, type: "stdio" };
    if (browser === "chromium") {
      manifest.allowed_origins = ours ? IDS.chromium.map((e) => `chrome-extension://${e.id}/`)
                                      : ["chrome-extension://abcdefghijklmnopabcdefghijklmnop/"];
    } else {
      manifest.allowed_extensions = ours ? IDS.firefox.map((e) => e.id) : ["someone-else@example.org"];
    }
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, JSON.stringify(manifest, null, 2));
  }

  async launch(name) {
    if (!fs.existsSync(path.join(EXTENSION, "manifest.json"))) throw new Error(`no extension in ${EXTENSION}`);
    this.hostManifest(name, "ours");
    let browser;
    if (name === "chromium") {
      browser = await puppeteer.launch({
        executablePath: "/usr/lib/chromium/chromium", headless: false, pipe: true, env: this.env,
        userDataDir: path.join(this.work, "chromium"), ignoreDefaultArgs: ["--disable-extensions"],
        protocolTimeout: 120000,
        args: ["--headless=new", "--no-sandbox", "--no-first-run", "--no-default-browser-check", "--disable-sync",
               "--disable-background-networking", "--disable-component-update", "--ignore-certificate-errors",
               "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1, EXCLUDE localhost, EXCLUDE ::1",
               `--load-extension=${EXTENSION}`, `--disable-extensions-except=${EXTENSION}`],
      });
    } else {
      const profile = path.join(this.work, "firefox");
      fs.mkdirSync(profile);
      browser = await puppeteer.launch({
        browser: "firefox", executablePath: "/usr/lib/firefox-esr/firefox-esr", headless: true, env: this.env,
        userDataDir: profile, acceptInsecureCerts: true, protocolTimeout: 120000,
      });
      await browser.installExtension(EXTENSION);
    }
    const b = new BrowserUnderTest(this, name, browser);
    this.browsers.push(b);
    return b;
  }

  // --- cleanup ----------------------------------------------------------------

  /** Ends everything the run started; returns what was still running after
   *  that had been asked nicely (and was then killed). */
  async cleanup() {
    for (const b of this.browsers.splice(0)) await b.close();
    for (const server of this.servers.splice(0)) server.close();
    for (const child of this.children) child.kill("SIGKILL");
    for (const pid of this.hostPids()) if (Run.alive(pid)) process.kill(pid, "SIGKILL");
    await this.program("wineserver", ["-k"], { timeout: 30000 });
    let left = [];
    try {
      await until("the run's processes to end", () => (left = processesOf(this)).length === 0, 10000, 200);
    } catch {
      for (const { pid } of left) {
        try {
          process.kill(pid, "SIGKILL");
        } catch {
          // gone meanwhile
        }
      }
    }
    if (!process.env.QELT_BROWSER_KEEP) fs.rmSync(this.work, { recursive: true, force: true });
    return left;
  }
}

/** steps.js's argument for a value: s<text>, n<number>, b1/b0 or z. */
function scriptToken(value) {
  if (value === null) return "z";
  if (typeof value === "boolean") return value ? "b1" : "b0";
  if (typeof value === "number") return "n" + value;
  let out = "s";
  for (let i = 0; i < value.length; i++) {
    const c = value[i];
    out += /[0-9A-Za-z]/.test(c) ? c : "\\u" + value.charCodeAt(i).toString(16).toUpperCase().padStart(4, "0");
  }
  return out;
}

export class BrowserUnderTest {
  constructor(run, name, browser) {
    this.run = run;
    this.name = name;
    this.browser = browser;
  }

  url(site, file = "tests/browser/pages/reader.html") {
    return `${this.run.origins[site]}/${file}`;
  }

  /** A new tab with the test page (or another file) of a site. */
  async open(site = "allowed", file, context = this.browser) {
    const page = await context.newPage();
    page.on("pageerror", (e) => console.error(`[${this.name} page] ${e.message}`));
    await this.goto(page, site, file);
    return page;
  }

  /** A new tab whose page is never evaluated, waited on or queried, so that
   *  it has no user activation of the test's making: it reports through its
   *  console ("qelt-test JSON" lines); next() waits for the next report. */
  async openUntouched(site, file) {
    const page = await this.browser.newPage();
    page.on("pageerror", (e) => console.error(`[${this.name} page] ${e.message}`));
    const reports = [];
    page.on("console", (m) => {
      const text = m.text();
      if (text.startsWith("qelt-test ")) reports.push(JSON.parse(text.slice("qelt-test ".length)));
    });
    let taken = 0;
    page.next = (ms = 30000) => until("the page's report", () => (reports.length > taken ? [reports[taken++]] : null), ms, 20)
      .then(([r]) => r);
    await page.goto(this.url(site, file), { waitUntil: "load" });
    return page;
  }

  async goto(page, site, file) {
    await page.goto(this.url(site, file), { waitUntil: "load" });
    if (!file) await page.waitForFunction(() => window.T !== undefined, { timeout: 10000 });
  }

  /** A tab where the extension does not run: Chromium's off-the-record
   *  context (unpacked extensions stay out of it); Firefox: the add-on
   *  removed for the while. */
  async withoutExtension(body) {
    if (this.name === "chromium") {
      const context = await this.browser.createBrowserContext();
      try {
        return await body(await this.open("allowed", undefined, context));
      } finally {
        await context.close();
      }
    }
    return this.withAddonRemoved(async () => {
      const page = await this.open("allowed");
      try {
        return await body(page);
      } finally {
        await page.close();
      }
    });
  }

  /** Firefox: body runs with the add-on removed (pages open meanwhile keep
   *  what it wrote into them); it is installed again after. */
  async withAddonRemoved(body) {
    await this.browser.uninstallExtension(IDS.firefox[0].id);
    try {
      return await body();
    } finally {
      await this.browser.installExtension(EXTENSION);
    }
  }

  async close() {
    const child = this.browser.process();
    try {
      await Promise.race([this.browser.close(), sleep(15000).then(() => { throw new Error("close timed out"); })]);
    } catch {
      child?.kill("SIGKILL");
    }
  }
}
