// The browser bridge in real browsers: Debian's Chromium and Firefox ESR,
// headless, the extension loaded unpacked, the native host under Wine with
// the virtual card, validation through the development kit's service. One
// table of cases, run for both browsers.
//
// Puppeteer's evaluate and wait calls give the page a user gesture: a case
// without one never touches its page and reads the page's console instead;
// one with a gesture clicks in the tab in front.
//
// The 45 s idle case must see no activity at all in its browser: both
// browsers' idle readers connect as the browsers start and are called before
// anything else happens in them, while only the script host's reference runs.
import assert from "node:assert/strict";
import { randomBytes } from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, it, test } from "node:test";
import { CARDS, E_ACCESSDENIED, E_INVALIDARG, E_UNEXPECTED, ERROR_BUSY, ERROR_CANCELLED, EXTENSION, REGDB_E_CLASSNOTREG,
         ROOT, Run, sleep } from "./harness.js";

const DISP_E_UNKNOWNNAME = -2147352570;
const IDLE_MS = 45000;
const CARD_PROPERTIES = ["serialNumber", "ICCardID", "issuerName", "subjectName", "name", "idno", "usage", "email",
                         "notBefore", "notAfter", "cardIssType"];

// Steps as page and script host both run them: [get|put|call, member, args...].
function citizenSteps(servicePort) {
  return [
    ["get", "ver"], ["get", "proxyServer"], ["get", "proxyPort"], ["get", "proxyUser"], ["get", "proxyPass"],
    ["get", "serialNumber"],  // before any read: the property reads the card itself
    ["call", "readCard"],
    ...CARD_PROPERTIES.map((name) => ["get", name]),
    ["call", "checkPin", "1234"], ["call", "checkPin", "0000"],
    ["call", "checkCard", "0000"], ["call", "checkCard", "1234"],
    // checkPin() without a PIN is the host's dialog over the bridge: its own case below.
    ["call", "checkPin", 1234],
    ["put", "proxyPort", "8080"], ["get", "proxyPort"],
    ["put", "proxyPort", "abc"], ["get", "proxyPort"],
    ["put", "proxyServer", "proxy.example"], ["get", "proxyServer"],
    ["put", "proxyUser", "王 user"], ["get", "proxyUser"],
    ["put", "proxyPass", 42], ["get", "proxyPass"],
    ["put", "name", "x"],
    ["put", "proxyServer", "127.0.0.1"], ["put", "proxyPort", servicePort], ["call", "checkXKMS"],
    ["get", "ver"],
  ];
}

function revokedSteps(servicePort) {
  return [["put", "proxyServer", "127.0.0.1"], ["put", "proxyPort", servicePort], ["call", "checkXKMS"],
          ["call", "readCard"], ["get", "serialNumber"], ["get", "name"], ["get", "cardIssType"]];
}

// A page's outcome against the script host's: equal values; equal numbers;
// the control's own texts equal, the platform's present (script gets none).
function differences(steps, script, page) {
  const out = [];
  steps.forEach((step, n) => {
    const want = script[n];
    const got = page[n];
    let same;
    if (want.error) {
      same = got.error && got.error.reason === "call-failed" && got.error.number === want.error.number &&
             (want.error.number === E_UNEXPECTED ? got.error.description === want.error.description
                                                 : typeof got.error.description === "string" && got.error.description !== "");
    } else {
      same = !got.error && got.value === want.value;
    }
    if (!same) out.push(`${JSON.stringify(step)}: page ${JSON.stringify(got)}, script ${JSON.stringify(want)}`);
  });
  return out;
}

// The sign-in and signing tokens: their keys in this order; the signature
// covers the header, the origin and the body, in the token's code page.
const TOKEN_KEYS = ["format", "origin", "certificate", "signature", "codePage", "appVersion"];
const CODE_PAGES = { 950: "big5", 1252: "windows-1252" };
const SIGNING_CERTIFICATE = Buffer.from(fs.readFileSync(path.join(CARDS, "citizen", "sign.pem"), "utf8")
  .replace(/-----[A-Z ]+-----/g, ""), "base64");
const challenge = () => randomBytes(32).toString("base64url");
// Traditional Chinese with a line feed, all of it in Big5.
const SIGN_TEXT = "本人同意下列條款：\n一、以憑證卡簽署本文件。";

function checkToken(token, format, body, version) {
  assert.deepEqual(Object.keys(token), TOKEN_KEYS, JSON.stringify(token));
  assert.equal(token.format, format);
  assert.equal(token.origin, run.origins.allowed);
  assert.equal(token.codePage, 950, "the host runs in zh_TW: Big5");
  assert.equal(token.appVersion, version, "the host's file version, as ready gave it");
  assert.ok(Buffer.from(token.certificate, "base64").equals(SIGNING_CERTIFICATE), "the card's signing certificate");
  const content = new TextDecoder(CODE_PAGES[token.codePage], { fatal: true }).decode(run.signedContent(token.signature));
  assert.equal(content, `<TBSHeader>${format} ${run.origins.allowed}</TBSHeader><TBSBody>${body}</TBSBody>`);
}

const run = new Run();
const browsers = {};
const idle = {};
const reference = {};
const outcomes = new Map();  // case -> browser -> ok / FAIL / skipped

// --- helpers on a tab -------------------------------------------------------

async function connect(page, options) {
  const r = await page.evaluate((o) => T.connect(o), options);
  assert.ok(r.reader !== undefined, `connect() failed: ${JSON.stringify(r.error)}`);
  return r.reader;
}

async function connectError(page, options) {
  const r = await page.evaluate((o) => T.connect(o), options);
  assert.ok(r.error, `connect() worked: ${JSON.stringify(r)}`);
  return r.error;
}

const steps = (page, reader, list) => page.evaluate((i, s) => T.steps(i, s), reader, list);

async function values(page, reader, list) {
  const out = await steps(page, reader, list);
  out.forEach((o, n) => assert.ok(!o.error, `${JSON.stringify(list[n])}: ${JSON.stringify(o.error)}`));
  return out.map((o) => o.value);
}

/** Connects and tells which host process the browser started for it. */
async function connectWithHost(page, options) {
  const before = new Set(run.hostPids());
  const reader = await connect(page, options);
  const pids = run.hostPids().filter((pid) => !before.has(pid));
  assert.equal(pids.length, 1, `one host started for the reader: ${pids}`);
  return { reader, pid: pids[0] };
}

async function untilTrue(what, test, ms = 10000) {
  const deadline = Date.now() + ms;
  while (!(await test())) {
    if (Date.now() > deadline) assert.fail(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

const seenRaw = (page, reader) => page.evaluate((r) => T.raw.seen(r), reader);
const waitRaw = (page, reader, count, ms = 20000) =>
  page.waitForFunction((r, n) => T.raw.count(r) >= n, { timeout: ms, polling: 20 }, reader, count);

async function openRaw(page, reader) {
  await page.evaluate((r) => T.raw.open(r), reader);
  await waitRaw(page, reader, 1);
  const [first] = await seenRaw(page, reader);
  assert.equal(first.message?.type, "ready", JSON.stringify(first));
}

async function tab(b, site, file, body) {
  const page = await b.open(site, file);
  try {
    return await body(page);
  } finally {
    await page.close();
  }
}

// --- the idle case -----------------------------------------------------------

async function beginIdle(b) {
  const page = await b.open();
  const { reader, pid } = await connectWithHost(page);
  assert.deepEqual(await values(page, reader, [["get", "ver"]]), ["3.0"]);
  return { page, reader, pid, since: Date.now() };
}

async function endIdle(state) {
  assert.ok(state, "the idle reader was connected");
  const { page, reader, pid, since } = state;
  const rest = since + IDLE_MS - Date.now();
  if (rest > 0) await sleep(rest);
  try {
    assert.equal(await page.evaluate((i) => T.connected(i), reader), true, "still connected after the idle time");
    assert.deepEqual(await values(page, reader, [["get", "ver"], ["get", "name"]]), ["3.0", "王小明"]);
    assert.ok(Run.alive(pid), "the same host serves it");
    return (Date.now() - since) / 1000;
  } finally {
    await page.close();
  }
}

// --- the table ----------------------------------------------------------------

const TABLE = [
  ["every member as a script host gets it (citizen card): values, numbers, descriptions", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const r = await page.evaluate(() => T.connect());
      assert.ok(r.reader !== undefined, JSON.stringify(r));
      assert.equal(r.arch, run.arch);
      assert.match(r.version, /^\d+\.\d+\.\d+\.\d+$/);
      assert.equal(r.managedProxy, false);
      const got = await steps(page, r.reader, reference.citizen.steps);
      assert.deepEqual(differences(reference.citizen.steps, reference.citizen.script, got), []);
    });
  }],

  ["a revoked certificate: checkXKMS and the card as a script host gets them", async (b) => {
    run.setCard("revoked");
    try {
      await tab(b, "allowed", undefined, async (page) => {
        const reader = await connect(page);
        const got = await steps(page, reader, reference.revoked.steps);
        assert.deepEqual(differences(reference.revoked.steps, reference.revoked.script, got), []);
      });
    } finally {
      run.setCard("citizen");
    }
  }],

  ["calls in flight are answered in order, behind a call that waits", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const reader = await connect(page, { proxyServer: "127.0.0.1", proxyPort: run.peer.port });
      await values(page, reader, [["call", "readCard"]]);
      const requests = run.peer.requests;
      const id = await page.evaluate((i, s) => T.start(i, s), reader, [
        ["call", "checkXKMS"], ["get", "ver"], ["put", "proxyUser", "order"], ["get", "proxyUser"],
        ["call", "checkPin", "0000"], ["get", "name"], ["call", "checkPin", "1234"], ["get", "proxyPort"]]);
      await run.peer.waitForRequests(requests + 1);
      await sleep(300);
      assert.equal(await page.evaluate((n) => T.settled(n), id), 0, "nothing answered while the first call waits");
      run.peer.release();
      const { results, order } = await page.evaluate((n) => T.finish(n), id);
      assert.deepEqual(order, [0, 1, 2, 3, 4, 5, 6, 7]);
      assert.deepEqual(results, [
        { value: null }, { value: "3.0" }, { value: null }, { value: "order" },
        { error: { name: "QeltReaderError", reason: "call-failed", number: E_UNEXPECTED, description: "PinCode錯誤" } },
        { value: "王小明" }, { value: null }, { value: run.peer.port }]);
    });
  }],

  ["connect() fails: no extension", async (b) => {
    await b.withoutExtension(async (page) => {
      const e = await connectError(page);
      assert.equal(e.reason, "no-extension");
      assert.equal(e.number, 0);
      assert.ok(e.description);
    });
  }],

  ["connect() fails: the extension removed under an open page -> no-extension at once, not a wait", async (b, t) => {
    if (b.name !== "firefox") {
      t.skip("removing the extension under an open page is arranged in Firefox only");
      return "skipped";
    }
    await tab(b, "allowed", undefined, async (page) => {
      await page.evaluate(() => T.raw.post({ channel: QeltBridgeProtocol.channel, from: "page", kind: "ping" }));
      await page.waitForFunction(() => T.raw.count("pong") > 0, { timeout: 5000 });
      await b.withAddonRemoved(async () => {
        const started = Date.now();
        const e = await connectError(page);
        assert.equal(e.reason, "no-extension");
        assert.ok(Date.now() - started < 5000, `found after ${Date.now() - started} ms`);
      });
    });
  }],

  ["connect() fails: no host", async (b) => {
    const started = run.hostPids().length;
    run.hostManifest(b.name, "none");
    try {
      await tab(b, "allowed", undefined, async (page) => {
        const e = await connectError(page);
        assert.equal(e.reason, "no-host");
        assert.ok(e.description);
      });
    } finally {
      run.hostManifest(b.name, "ours");
    }
    assert.equal(run.hostPids().length, started, "no host started");
  }],

  ["connect() fails: the host does not admit the extension", async (b) => {
    const started = run.hostPids().length;
    run.hostManifest(b.name, "foreign");
    try {
      await tab(b, "allowed", undefined, async (page) => {
        const e = await connectError(page);
        // Firefox reports a host manifest that does not list the add-on with
        // the same text as a missing one: there it is "no-host".
        assert.equal(e.reason, b.name === "chromium" ? "extension-not-admitted" : "no-host");
        assert.ok(e.description);
      });
    } finally {
      run.hostManifest(b.name, "ours");
    }
    assert.equal(run.hostPids().length, started, "no host started");
  }],

  ["connect() fails: the host ends before it answers", async (b) => {
    run.hostManifest(b.name, "exits");
    try {
      await tab(b, "allowed", undefined, async (page) => {
        // Firefox reports no error at all for a host that exits: the
        // extension and the library must still tell the page.
        const e = await connectError(page);
        assert.equal(e.reason, "host-failed");
        assert.ok(e.description);
      });
    } finally {
      run.hostManifest(b.name, "ours");
    }
  }],

  ["connect() fails: refused by policy (plain http not listed)", async (b) => {
    await tab(b, "refused", undefined, async (page) => {
      const before = new Set(run.hostPids());
      const e = await connectError(page);
      assert.equal(e.reason, "origin-refused");
      assert.equal(e.number, E_ACCESSDENIED);
      assert.ok(e.description.includes(run.origins.refused), e.description);
      const [pid] = run.hostPids().filter((p) => !before.has(p));
      await untilTrue("the refusing host to end", () => !Run.alive(pid));
    });
  }],

  ["the page's own script, no gesture: a site the policy admits connects, any other needs-activation, no box", async (b) => {
    const cases = [
      ["allowed", "connect", (r) => assert.ok(r.reader !== undefined, JSON.stringify(r))],
      ["secure", "connect", (r) => {
        assert.equal(r.error?.reason, "needs-activation", JSON.stringify(r));
        assert.equal(r.error.number, E_ACCESSDENIED);
        assert.ok(r.error.description.includes(run.origins.secure), r.error.description);
      }],
      // Past the library: an open claiming an activation the page has not.
      ["secure", "open", (r) => assert.equal(r.message?.reason, "activation", JSON.stringify(r))],
    ];
    let box;
    try {
      for (const [site, how, check] of cases) {
        const page = await b.openUntouched(site, `tests/browser/pages/reader.html?on-load=${how}`);
        try {
          check(await page.next());
        } finally {
          await page.close();
        }
      }
    } finally {
      box = await run.answerBox("no", 1);  // one that showed is answered, so that it ends
      await run.forgetAnswers();
    }
    assert.equal(box.code, 1, `no box: ${box.text}`);
  }],

  ["a click in the tab in front shows the box; a second connect() from the site waits for its answer (No)", async (b) => {
    await tab(b, "secure", undefined, async (page) => {
      try {
        const before = run.hostPids().length;
        await page.bringToFront();
        await page.click("#connect");
        const second = await page.evaluate(() => T.connectLater());
        const shown = await run.answerBox("none", 30);
        assert.equal(shown.code, 0, "a box was shown");
        assert.ok(shown.text.includes(run.origins.secure), shown.text);
        await sleep(1000);
        assert.equal(run.hostPids().length - before, 1, "one host while the box waits");
        const box = await run.answerBox("no", 30);
        assert.equal(box.code, 0, "the box was answered");
        const first = await page.evaluate(() => T.clicks[0]);
        for (const id of [first, second]) {
          const { results: r } = await page.evaluate((n) => T.finish(n), id);
          assert.equal(r.error?.reason, "person-refused", JSON.stringify(r));
          assert.equal(r.error.number, E_ACCESSDENIED);
          assert.ok(r.error.description.includes(run.origins.secure), r.error.description);
        }
        assert.equal(run.hostPids().length - before, 2, "the second host started after the answer");
      } finally {
        await run.forgetAnswers();  // the other browser gets the box too
      }
    });
  }],

  ["a click, Yes: connected; the approved site then connects from its own script, no gesture", async (b) => {
    try {
      await tab(b, "secure", undefined, async (page) => {
        await page.bringToFront();
        await page.click("#connect");
        const box = await run.answerBox("yes", 30);
        assert.equal(box.code, 0, "a box was shown and answered");
        const { results: r } = await page.evaluate(() => T.finish(T.clicks[0]));
        assert.ok(r.reader !== undefined, JSON.stringify(r));
        assert.deepEqual(await values(page, r.reader, [["get", "ver"]]), ["3.0"]);
      });
      const page = await b.openUntouched("secure", "tests/browser/pages/reader.html?on-load=connect");
      try {
        const r = await page.next();
        assert.ok(r.reader !== undefined, JSON.stringify(r));
      } finally {
        await page.close();
      }
    } finally {
      await run.forgetAnswers();
    }
  }],

  ["a click, then the tab behind another: its connect() has the click's activation, yet needs-activation, no box", async (b) => {
    const behind = await b.open("secure");
    const front = await b.open("allowed");
    let box;
    try {
      await behind.bringToFront();
      await behind.click("#connect-soon");
      await front.bringToFront();
      await behind.waitForFunction(() => T.soon !== undefined, { timeout: 10000, polling: 100 });
      const soon = await behind.evaluate(() => T.soon);
      assert.deepEqual([soon.visibility, soon.activation], ["hidden", true], "the tab was behind, its click still counted");
      const { results: r } = await behind.evaluate((n) => T.finish(n), soon.run);
      assert.equal(r.error?.reason, "needs-activation", JSON.stringify(r));
    } finally {
      box = await run.answerBox("no", 1);
      await run.forgetAnswers();
      await behind.close();
      await front.close();
    }
    assert.equal(box.code, 1, `no box: ${box.text}`);
  }],

  ["a click starts authenticate, sign or checkPin(): the PIN typed in the host's dialog; the token's signature covers origin and challenge or text", async (b) => {
    const c = challenge();
    const cases = [
      ["authenticate", [c], ["1234"], (r, version) => checkToken(r.value, "qelt-auth:1", c, version)],
      ["sign", [SIGN_TEXT], ["1234"], (r, version) => checkToken(r.value, "qelt-sign:1", SIGN_TEXT, version)],
      // A wrong PIN keeps the dialog open; the member answers as with the PIN given.
      ["checkPin", [], ["0000", "1234"], (r) => assert.equal(r.value, null)],
    ];
    for (const [op, args, pins, check] of cases) {
      await tab(b, "allowed", undefined, async (page) => {
        await page.evaluate((o, a) => { T.pin = { op: o, args: a }; }, op, args);
        await page.bringToFront();
        await page.click("#pin");
        const dialog = await run.answerPin("pin", 60, ...pins);
        assert.equal(dialog.code, 0, `${op}: the dialog was answered: ${dialog.text}`);
        assert.ok(dialog.text.includes(run.origins.allowed), dialog.text);
        if (op === "sign") assert.ok(dialog.text.includes(SIGN_TEXT.split("\n")[0]), dialog.text);
        if (pins.length > 1) assert.ok(dialog.text.includes("PinCode錯誤"), dialog.text);
        const { results: r } = await page.evaluate(() => T.finish(T.clicks[0]));
        assert.ok(!r.error, `${op}: ${JSON.stringify(r)}`);
        check(r, (await page.evaluate((i) => T.info(i), r.reader)).version);
      });
    }
  }, 240000],

  ["Cancel: person-cancelled, one more meanwhile busy; the page's retry without a new click needs-activation, no dialog; a new click shows it", async (b) => {
    const c = challenge();
    await tab(b, "allowed", undefined, async (page) => {
      await page.evaluate((a) => { T.pin = { op: "authenticate", args: [a] }; }, c);
      await page.bringToFront();
      await page.click("#pin");
      const shown = await run.answerPin("none", 30);
      assert.equal(shown.code, 0, "the dialog showed");
      // The tab's first reader, connected by the click.
      const second = await page.evaluate((a) => T.start(0, [["call", "authenticate", a]]), c);
      const cancel = await run.answerPin("cancel", 30);
      assert.equal(cancel.code, 0, cancel.text);
      const { results: first } = await page.evaluate(() => T.finish(T.clicks[0]));
      assert.deepEqual([first.error?.reason, first.error?.number], ["person-cancelled", ERROR_CANCELLED], JSON.stringify(first));
      const { results: [busy] } = await page.evaluate((n) => T.finish(n), second);
      assert.deepEqual([busy.error?.reason, busy.error?.number], ["busy", ERROR_BUSY], JSON.stringify(busy));

      // The page's own retry: the frame may still be activated (Puppeteer's
      // evaluate activates it), but no input of the person's came since the Cancel.
      const retry = await page.evaluate((a) => T.start(0, [["call", "authenticate", a]]), c);
      const none = await run.answerPin("none", 3);
      if (none.code === 0) await run.answerPin("cancel", 30);
      assert.equal(none.code, 1, `no dialog: ${none.text}`);
      const { results: [refused] } = await page.evaluate((n) => T.finish(n), retry);
      assert.deepEqual([refused.error?.reason, refused.error?.number], ["needs-activation", E_ACCESSDENIED],
                       JSON.stringify(refused));

      await page.evaluate((a) => { T.pin = { reader: 0, op: "authenticate", args: [a] }; }, c);
      await page.bringToFront();
      await page.click("#pin");
      const dialog = await run.answerPin("pin", 60, "1234");
      assert.equal(dialog.code, 0, dialog.text);
      const { results: again } = await page.evaluate(() => T.finish(T.clicks[1]));
      checkToken(again.value, "qelt-auth:1", c, (await page.evaluate(() => T.info(0))).version);
    });
  }, 180000],

  ["no click: authenticate, sign and checkPin() from the page's own script need activation, no dialog; an activation the page claims is ignored", async (b) => {
    const c = challenge();
    const page = await b.openUntouched("allowed", `tests/browser/pages/reader.html?on-load=pin&challenge=${c}` +
                                                  `&text=${encodeURIComponent(SIGN_TEXT)}`);
    let dialog;
    try {
      const r = await page.next(60000);
      assert.ok(r.steps, JSON.stringify(r));
      for (const o of r.steps) {
        assert.deepEqual([o.error?.reason, o.error?.number], ["needs-activation", E_ACCESSDENIED], JSON.stringify(r.steps));
      }
      assert.deepEqual([r.raw.message?.type, r.raw.message?.id, r.raw.message?.reason], ["error", 1, "activation"],
                       JSON.stringify(r.raw));
    } finally {
      dialog = await run.answerPin("cancel", 1);  // one that showed is answered, so that it ends
      await page.close();
    }
    assert.equal(dialog.code, 1, `no dialog: ${dialog.text}`);
  }],

  ["the library: features from ready; authenticate and sign not-supported without them; a challenge or text that is no text; a PIN from the page refused by policy", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const reader = await connect(page);
      assert.deepEqual((await page.evaluate((i) => T.info(i), reader)).features, ["authenticate", "sign", "pinDialog"]);
      // A lone surrogate would make a frame the host cannot parse, id and all: refused here, answered.
      for (const o of await steps(page, reader, [["call", "authenticate", 42], ["call", "sign", null], ["call", "authenticate"],
                                                 ["call", "sign", "a\uD800b"], ["call", "checkPin", "\uDC00"]])) {
        assert.deepEqual([o.error?.reason, o.error?.number], ["call-failed", E_INVALIDARG], JSON.stringify(o));
      }
      // A bridge program of before: its ready names no features.
      const old = await page.evaluate((arch) => T.connectAnswered({ type: "ready", protocol: 1, version: "3.0.1.0", arch }), run.arch);
      assert.ok(old.reader !== undefined, JSON.stringify(old));
      assert.deepEqual((await page.evaluate((i) => T.info(i), old.reader)).features, []);
      for (const o of await steps(page, old.reader, [["call", "authenticate", challenge()], ["call", "sign", "x"]])) {
        assert.deepEqual([o.error?.reason, o.error?.number], ["not-supported", 0], JSON.stringify(o));
      }
      await page.evaluate((i) => T.close(i), old.reader);
    });
    try {
      await run.setPolicy({ AllowedOrigins: [run.origins.allowed], PinFromPages: 0 });
      await tab(b, "allowed", undefined, async (page) => {
        const reader = await connect(page);
        const got = await steps(page, reader, [["call", "checkPin", "1234"], ["call", "checkCard", "1234"], ["get", "name"]]);
        for (const o of got.slice(0, 2)) {
          assert.deepEqual([o.error?.reason, o.error?.number], ["origin-refused", E_ACCESSDENIED], JSON.stringify(o));
        }
        assert.deepEqual(got[2], { value: "王小明" });
      });
    } finally {
      await run.setPolicy({ AllowedOrigins: [run.origins.allowed] });
    }
  }],

  ["no mark of the extension in the page's document; the version only to a connected reader", async (b) => {
    const version = JSON.parse(fs.readFileSync(path.join(EXTENSION, "manifest.json"), "utf8")).version;
    for (const site of ["allowed", "secure"]) {
      await tab(b, site, undefined, async (page) => {
        await sleep(300);
        const html = await page.evaluate(() => T.html());
        assert.deepEqual(html.atStart, []);
        assert.deepEqual(html.now, []);
        assert.ok(!html.text.includes(version), "the extension's version is in the document");
      });
    }
  }],

  ["connect() fails: no control registered", async (b) => {
    await run.register(run.ocx, true);
    try {
      await tab(b, "allowed", undefined, async (page) => {
        const e = await connectError(page);
        assert.equal(e.reason, "unavailable");
        assert.equal(e.number, REGDB_E_CLASSNOTREG);
        assert.ok(e.description);
      });
    } finally {
      await run.register(run.ocx);
    }
  }],

  ["the host killed during a long call: \"disconnected\", then a new connect() works", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const { reader, pid } = await connectWithHost(page, { proxyServer: "127.0.0.1", proxyPort: run.peer.port });
      const requests = run.peer.requests;
      const id = await page.evaluate((i) => T.start(i, [["call", "checkXKMS"], ["get", "ver"]]), reader);
      await run.peer.waitForRequests(requests + 1);
      process.kill(pid, "SIGKILL");
      const { results } = await page.evaluate((n) => T.finish(n), id);
      run.peer.release();
      assert.deepEqual(results.map((r) => r.error?.reason), ["disconnected", "disconnected"]);
      assert.equal(await page.evaluate((i) => T.connected(i), reader), false);
      const [later] = await steps(page, reader, [["get", "ver"]]);
      assert.equal(later.error?.reason, "disconnected");
      const again = await connect(page);
      assert.deepEqual(await values(page, again, [["get", "ver"], ["get", "name"]]), ["3.0", "王小明"]);
    });
  }],

  ["an admitted tab navigated to a refused site: its host ends, calls there are refused", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const { reader, pid } = await connectWithHost(page);
      assert.deepEqual(await values(page, reader, [["get", "ver"]]), ["3.0"]);
      await b.goto(page, "refused");
      await untilTrue("the first document's host to end", () => !Run.alive(pid));
      const e = await connectError(page);
      assert.equal(e.reason, "origin-refused");
      assert.ok(e.description.includes(run.origins.refused), e.description);
      // Past the library: a call sent at once is never answered.
      await page.evaluate(() => {
        T.raw.open(500);
        T.raw.send(500, { type: "call", id: 1, member: "ver", args: [] });
      });
      await waitRaw(page, 500, 2);
      const seen = await seenRaw(page, 500);
      assert.equal(seen[0].message?.type, "refused", JSON.stringify(seen));
      assert.equal(seen[0].message.reason, "policy");
      assert.deepEqual(seen.slice(1).map((m) => m.kind), ["closed"]);
    });
  }],

  ["two tabs with different proxy settings stay apart", async (b) => {
    const a = await b.open();
    const c = await b.open();
    try {
      const settings = [["a.example", 1111, "ua", "pa"], ["b.example", 2222, "ub", "pb"]];
      const [ra, rc] = await Promise.all([a, c].map((page, n) => connect(page, {
        proxyServer: settings[n][0], proxyPort: settings[n][1], proxyUser: settings[n][2], proxyPass: settings[n][3] })));
      const read = [["get", "proxyServer"], ["get", "proxyPort"], ["get", "proxyUser"], ["get", "proxyPass"]];
      assert.deepEqual(await values(a, ra, read), settings[0]);
      assert.deepEqual(await values(c, rc, read), settings[1]);
      await values(a, ra, [["put", "proxyServer", "a2.example"], ["put", "proxyPort", 3333]]);
      assert.deepEqual(await values(c, rc, read), settings[1]);
      assert.deepEqual(await values(a, ra, read), ["a2.example", 3333, "ua", "pa"]);
    } finally {
      await a.close();
      await c.close();
    }
  }],

  ["a hostile page: an origin it writes is ignored", async (b) => {
    // On a refused site: the browser's word on the origin decides.
    await tab(b, "refused", undefined, async (page) => {
      await page.evaluate((forged) => {
        T.raw.open(700, { origin: forged, topLevel: true });
        T.raw.send(700, { type: "hello", protocol: 1, origin: forged, topLevel: true });
        T.raw.send(700, { type: "call", id: 1, member: "ver", args: [], origin: forged });
      }, run.origins.allowed);
      await waitRaw(page, 700, 2);
      const seen = await seenRaw(page, 700);
      assert.equal(seen[0].message?.type, "refused", JSON.stringify(seen));
      assert.ok(seen[0].message.description.includes(run.origins.refused), seen[0].message.description);
      assert.deepEqual(seen.slice(1).map((m) => m.kind), ["closed"]);
    });
    // On the admitted site: a hello of its own never reaches the host (which
    // would answer it with an error), an origin field in a call changes nothing.
    await tab(b, "allowed", undefined, async (page) => {
      await openRaw(page, 701);
      await page.evaluate(() => {
        T.raw.send(701, { type: "hello", protocol: 1, origin: "https://evil.example", topLevel: true });
        T.raw.send(701, { type: "call", id: 2, member: "ver", args: [], origin: "https://evil.example" });
      });
      await waitRaw(page, 701, 2);
      await sleep(200);
      const seen = await seenRaw(page, 701);
      assert.deepEqual(seen.slice(1), [{ kind: "message", message: { type: "result", id: 2, value: "3.0" } }]);
    });
  }],

  ["a hostile page: malformed messages are dropped or answered, nothing else is hurt", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      const reader = await connect(page);
      await openRaw(page, 800);
      await page.evaluate(() => {
        const C = { channel: QeltBridgeProtocol.channel, from: "page" };
        for (const data of [null, 42, "open", [], { ...C }, { ...C, kind: "nope" }, { ...C, kind: "open", reader: "7" },
                            { ...C, kind: "open", reader: 1.5 }, { ...C, kind: "open", reader: 2 ** 60 },
                            { ...C, kind: "send", reader: 801, message: { type: "call", id: 1, member: "ver", args: [] } },
                            { ...C, kind: "close", reader: 802 }, { ...C, kind: "close" }]) {
          T.raw.post(data);
        }
        T.raw.sendMany(800, [
          null, "call", { type: "hello", protocol: 1, origin: "https://evil.example", topLevel: true },
          { type: "result", id: 3, value: 1 }, { type: "call" },
          { type: "call", id: "4", member: "ver", args: [] }, { type: "call", id: -1, member: "ver", args: [] },
          { type: "call", id: 1.5, member: "ver", args: [] }, { type: "call", id: 2 ** 60, member: "ver", args: [] },
          { type: "call", id: 10, member: 42, args: [] }, { type: "call", id: 11, member: "ver", args: "x" },
          { type: "call", id: 12, member: "ver", args: {} }, { type: "put", id: 13, member: "proxyUser" },
          { type: "call", id: 14, member: "nosuch", args: [] },
          { type: "call", id: 15, member: "checkPin", args: [["1234"]] },
          { type: "call", id: 16, member: "checkPin", args: [{ pin: "1234" }] },
          { type: "put", id: 17, member: "proxyUser", value: { a: 1 } },
          { type: "call", id: 18, member: "ver", args: [], extra: "x" },
          { type: "call", id: 99, member: "ver", args: [] },
        ]);
      });
      await page.waitForFunction(() => T.raw.seen(800).some((m) => m.message?.id === 99), { timeout: 20000 });
      await sleep(200);
      const answers = (await seenRaw(page, 800)).slice(1).map((m) => m.message);
      const errors = (ids, number) => ids.map((id) => ({ id, type: "error", number }));
      assert.deepEqual(answers.map((m) => (m.type === "error" ? { id: m.id, type: m.type, number: m.number }
                                                              : { id: m.id, type: m.type, value: m.value })), [
        ...errors([10, 11, 12, 13], E_INVALIDARG), ...errors([14], DISP_E_UNKNOWNNAME),
        ...errors([15, 16, 17], E_INVALIDARG), { id: 18, type: "result", value: "3.0" },
        { id: 99, type: "result", value: "3.0" }]);
      assert.ok(answers.every((m) => m.type !== "error" || m.description), "errors carry a text");
      for (const r of [801, 802, 7, "none"]) assert.deepEqual(await seenRaw(page, r), [], `nothing for reader ${r}`);

      // Faults that end a host (nesting past its limit, a frame over 1 MiB)
      // end that connection only.
      await openRaw(page, 810);
      await openRaw(page, 811);
      await page.evaluate(() => {
        T.raw.send(810, { type: "call", id: 1, member: "checkPin", args: [[[[[[[[[["1234"]]]]]]]]]] });
        T.raw.send(811, { type: "call", id: 1, member: "checkPin", args: ["9".repeat(1100000)] });
      });
      await waitRaw(page, 810, 2);
      await waitRaw(page, 811, 2);
      for (const r of [810, 811]) assert.deepEqual((await seenRaw(page, r)).slice(1).map((m) => m.kind), ["closed"]);
      assert.deepEqual(await values(page, reader, [["get", "ver"]]), ["3.0"]);
      await page.evaluate(() => T.raw.send(800, { type: "call", id: 100, member: "name", args: [] }));
      await page.waitForFunction(() => T.raw.seen(800).some((m) => m.message?.id === 100), { timeout: 20000 });
      assert.equal((await seenRaw(page, 800)).at(-1).message.value, "王小明");

      // Through the library: a write without a value is answered, not left waiting.
      const [put] = await Promise.race([steps(page, reader, [["put", "proxyUser"]]),
                                        sleep(5000).then(() => ["no answer in 5 s"])]);
      assert.equal(put.error?.reason, "call-failed", JSON.stringify(put));
      assert.equal(put.error.number, E_INVALIDARG);
    });
  }],

  ["a hostile page: 1,000 calls at once: the cap holds, nothing crashes, other pages go on", async (b) => {
    const bystander = await b.open();
    const page = await b.open();
    try {
      const { reader: other, pid: otherHost } = await connectWithHost(bystander);
      const reader = await connect(page);
      // Through the library: 64 go out, the rest are refused at once.
      const flood = await page.evaluate((i) => T.flood(i, 1000), reader);
      assert.deepEqual(flood.count, { "value 3.0": 64, [`error too-many-calls ${ERROR_BUSY}`]: 936 });

      // Past the library, behind a call that waits: the extension's own cap.
      await openRaw(page, 900);
      await page.evaluate((port) => T.raw.sendMany(900, [
        { type: "put", id: 1, member: "proxyServer", value: "127.0.0.1" },
        { type: "put", id: 2, member: "proxyPort", value: port }]), run.peer.port);
      await waitRaw(page, 900, 3);
      const requests = run.peer.requests;
      await page.evaluate(() => T.raw.send(900, { type: "call", id: 3, member: "checkXKMS", args: [] }));
      await run.peer.waitForRequests(requests + 1);
      await page.evaluate(() => T.raw.sendMany(900, Array.from({ length: 1000 },
        (_, n) => ({ type: "call", id: 1000 + n, member: "ver", args: [] }))));
      await waitRaw(page, 900, 3 + 937, 60000);
      const started = Date.now();
      assert.deepEqual(await values(bystander, other, [["get", "ver"], ["get", "name"]]), ["3.0", "王小明"]);
      const bystanderMs = Date.now() - started;
      run.peer.release();
      await waitRaw(page, 900, 3 + 1001, 60000);
      const answers = (await seenRaw(page, 900)).slice(3).map((m) => m.message);
      const busy = answers.filter((m) => m.type === "error").map((m) => m.id);
      const done = answers.filter((m) => m.type === "result").map((m) => m.id);
      assert.ok(answers.filter((m) => m.type === "error").every((m) => m.number === ERROR_BUSY));
      assert.deepEqual(busy, Array.from({ length: 937 }, (_, n) => 1063 + n));
      assert.deepEqual(done.sort((x, y) => x - y), [3, ...Array.from({ length: 63 }, (_, n) => 1000 + n)]);
      assert.ok(bystanderMs < 5000, `the other tab waited ${bystanderMs} ms`);

      assert.ok(b.browser.connected, "the browser is still there");
      assert.ok(Run.alive(otherHost), "the other tab's host is still there");
      assert.deepEqual(await values(page, reader, [["get", "ver"]]), ["3.0"]);
      assert.deepEqual(await values(bystander, other, [["get", "ver"]]), ["3.0"]);
    } finally {
      await page.close();
      await bystander.close();
    }
  }],

  ["bounded hosts: 50 connect() at once start 4 hosts, the rest fail at once; 16 readers in the browser at most", async (b) => {
    await untilTrue("the hosts of earlier cases to end", () => run.hostProcesses().length === 0, 20000);
    const pages = [];
    try {
      for (let n = 0; n < 5; n++) pages.push(await b.open());
      const before = run.hostPids().length;
      let peak = 0;
      const sample = setInterval(() => { peak = Math.max(peak, run.hostProcesses().length); }, 50);
      let flood;
      try {
        flood = await pages[0].evaluate(async () => {
          const all = await Promise.all(Array.from({ length: 50 }, () => T.connect()));
          const count = {};
          for (const r of all) {
            const key = r.error ? `${r.error.reason} ${r.error.number}` : "connected";
            count[key] = (count[key] || 0) + 1;
          }
          return count;
        });
      } finally {
        clearInterval(sample);
      }
      assert.deepEqual(flood, { connected: 4, "too-many-readers 0": 46 });
      assert.equal(run.hostPids().length - before, 4, "hosts started");
      assert.ok(peak <= 4, `${peak} hosts at once`);
      console.log(`[${b.name}] 50 connect() at once: ${run.hostPids().length - before} hosts started, at most ${peak} at once`);

      // Three more tabs of 4 make the browser's 16; a fifth tab gets none
      // until a reader anywhere closes.
      const more = await Promise.all(pages.slice(1, 4).map((page) =>
        page.evaluate(() => Promise.all(Array.from({ length: 4 }, () => T.connect())))));
      for (const r of more.flat()) assert.ok(r.reader !== undefined, JSON.stringify(r));
      const started = run.hostPids().length;
      const refused = await pages[4].evaluate(() => T.connect());
      assert.equal(refused.error?.reason, "too-many-readers", JSON.stringify(refused));
      assert.equal(refused.error.number, 0);
      assert.equal(run.hostPids().length, started, "no host started for it");
      await pages[1].evaluate(() => T.close(0));
      let last;
      await untilTrue("a place for the fifth tab", async () => (last = await pages[4].evaluate(() => T.connect())).reader !== undefined);
      assert.deepEqual(await values(pages[4], last.reader, [["get", "ver"]]), ["3.0"]);
    } finally {
      for (const page of pages) await page.close();
    }
  }, 300000],

  ["the proxy as the administrator sets it: connect() skips its options, the page cannot set it or read its account", async (b) => {
    const cases = [
      [{ ProxyServer: "127.0.0.1", ProxyPort: run.servicePort, ProxyUser: "admin", ProxyPass: "secret" },
       ["127.0.0.1", run.servicePort], [["call", "readCard"], ["call", "checkXKMS"]]],
      [{ ProxyServer: "" }, ["", 0], []],
    ];
    const refused = [["get", "proxyUser"], ["get", "proxyPass"], ["put", "proxyServer", "page.example"],
                     ["put", "proxyPort", 1], ["put", "proxyUser", "u"], ["put", "proxyPass", "p"]];
    const shown = [["get", "proxyServer"], ["get", "proxyPort"]];
    try {
      for (const [policy, proxy, works] of cases) {
        await run.setPolicy({ AllowedOrigins: [run.origins.allowed], ...policy });
        await tab(b, "allowed", undefined, async (page) => {
          const r = await page.evaluate(() => T.connect({ proxyServer: "page.example", proxyPort: 1, proxyUser: "u", proxyPass: "p" }));
          assert.ok(r.reader !== undefined, JSON.stringify(r));
          assert.equal(r.managedProxy, true, JSON.stringify(policy));
          assert.deepEqual(await values(page, r.reader, shown), proxy);
          const got = await steps(page, r.reader, refused);
          got.forEach((o, n) => {
            assert.equal(o.error?.reason, "call-failed", `${JSON.stringify(refused[n])}: ${JSON.stringify(o)}`);
            assert.equal(o.error.number, E_ACCESSDENIED);
            assert.ok(o.error.description.includes("系統管理員"), o.error.description);
          });
          assert.deepEqual(await values(page, r.reader, [...shown, ...works]), [...proxy, ...works.map(() => null)]);
        });
      }
    } finally {
      await run.setPolicy({ AllowedOrigins: [run.origins.allowed] });
    }
  }],

  ["past the library: a call sent before ready waits for it; a value no port can carry ends that reader alone", async (b) => {
    await tab(b, "allowed", undefined, async (page) => {
      // The host is sent nothing but the hello before it answers.
      await page.evaluate(() => {
        T.raw.open(950);
        T.raw.send(950, { type: "call", id: 1, member: "ver", args: [] });
      });
      await waitRaw(page, 950, 2);
      assert.deepEqual((await seenRaw(page, 950)).map((m) => m.message?.type ?? m.kind), ["ready", "result"]);

      const before = new Set(run.hostPids());
      await openRaw(page, 951);
      const [pid] = run.hostPids().filter((p) => !before.has(p));
      await page.evaluate(() => T.raw.send(951, { type: "call", id: 1, member: "checkPin", args: [1n] }));
      await waitRaw(page, 951, 2);
      const [, answer] = await seenRaw(page, 951);
      if (b.name === "chromium") {
        // Its ports serialize as JSON: the content script's port cannot carry
        // the value, so that port goes, and its host with it.
        assert.equal(answer.kind, "closed", JSON.stringify(answer));
        await untilTrue("the host of the dropped port to end", () => !Run.alive(pid));
      } else {
        // Firefox's ports clone the value to the background, whose native
        // port cannot send it: answered, and the id is free again.
        assert.deepEqual([answer.message?.type, answer.message?.id, answer.message?.number], ["error", 1, E_INVALIDARG],
                         JSON.stringify(answer));
        await page.evaluate(() => T.raw.send(951, { type: "call", id: 1, member: "ver", args: [] }));
        await waitRaw(page, 951, 3);
        assert.deepEqual((await seenRaw(page, 951))[2].message, { type: "result", id: 1, value: "3.0" });
      }
      assert.equal((await seenRaw(page, 950)).length, 2, "the other reader heard nothing");
      await page.evaluate(() => T.raw.send(950, { type: "call", id: 2, member: "ver", args: [] }));
      await waitRaw(page, 950, 3);
    });
  }],

  ["the sample page examples/reader-page-bridge.html: its output as reader-page.html's", async (b, t) => {
    if (run.servicePort !== 80) {
      t.skip("the validation service could not take port 80 (the page validates directly at http://localhost)");
      return "skipped";
    }
    await tab(b, "allowed", "examples/reader-page-bridge.html", async (page) => {
      await page.type("#pin", "4321");
      let lines = 0;
      for (const [button, count] of [["readCard", 7], ["checkPin", 1], ["checkCard", 1], ["checkXKMS", 1], ["showProxy", 1]]) {
        await page.click("#" + button);
        lines += count;
        await page.waitForFunction((n) => document.getElementById("log").textContent.split("\n").length > n,
                                   { timeout: 20000 }, lines);
      }
      const expected = fs.readFileSync(path.join(ROOT, "tests", "examples", "expected", "page.txt"), "utf8");
      assert.equal(await page.$eval("#log", (log) => log.textContent), expected.trimEnd() + "\n");
    });
  }],
];

// --- the run ------------------------------------------------------------------

const NAMES = ["chromium", "firefox"];

before(async () => {
  await run.setup();
  reference.citizen = { steps: citizenSteps(run.servicePort) };
  reference.revoked = { steps: revokedSteps(run.servicePort) };
  // The script host's runs go along with the browsers' start and idle time.
  const script = Promise.all([run.scriptHost("citizen", reference.citizen.steps),
                              run.scriptHost("revoked", reference.revoked.steps)]);
  for (const name of NAMES) {
    browsers[name] = await run.launch(name);
    idle[name] = await beginIdle(browsers[name]);
  }
  [reference.citizen.script, reference.revoked.script] = await script;
}, { timeout: 600000 });

function row(name, browser, body, timeout = 120000) {
  it(browser, { timeout }, async (t) => {
    if (!outcomes.has(name)) outcomes.set(name, {});
    outcomes.get(name)[browser] = "FAIL";
    assert.ok(browsers[browser], `${browser} was launched`);
    outcomes.get(name)[browser] = (await body(browsers[browser], t)) === "skipped" ? "skipped" : "ok";
  });
}

test("the script host's reference says what the table expects", () => {
  const at = (ref, step) => ref.script[ref.steps.findIndex((s) => JSON.stringify(s) === JSON.stringify(step))];
  assert.deepEqual(at(reference.citizen, ["get", "name"]), { value: "王小明" });
  assert.deepEqual(at(reference.citizen, ["call", "checkPin", "0000"]),
                   { error: { number: E_UNEXPECTED, description: "PinCode錯誤" } });
  assert.deepEqual(at(reference.citizen, ["call", "checkXKMS"]), { value: null });
  assert.equal(at(reference.revoked, ["call", "checkXKMS"]).error?.number, E_UNEXPECTED);
});

// Both browsers' idle readers connected as they started; nothing else has
// happened in either browser since.
const IDLE = "a connected reader left idle 45 s (no activity in its browser), then a call works";
describe(IDLE, () => {
  for (const name of NAMES) {
    row(IDLE, name, async () => {
      const state = idle[name];
      idle[name] = null;
      await endIdle(state);
    });
  }
});

for (const [name, body, timeout] of TABLE) {
  describe(name, () => {
    for (const browser of NAMES) row(name, browser, body, timeout);
  });
}

let cleaned = false;
test("every browser, host and Wine process the run started is gone", { timeout: 120000 }, async () => {
  cleaned = true;
  const left = await run.cleanup();
  assert.deepEqual(left, []);
});

after(async () => {
  if (!cleaned) await run.cleanup();
  const width = Math.max(...[...outcomes.keys()].map((n) => n.length));
  const lines = [`${"case".padEnd(width)}  ${NAMES.map((n) => n.padEnd(8)).join("  ")}`];
  for (const [name, by] of outcomes) lines.push(`${name.padEnd(width)}  ${NAMES.map((n) => (by[n] || "-").padEnd(8)).join("  ")}`);
  process.stdout.write(`\n${lines.join("\n")}\nset-up ${run.setupSeconds ?? "?"} s\n`);
});
