// Opens one native port to the bridge host for each port a document's
// content script opens, and says hello with what the browser reports about
// that document: its origin, whether it is a top-level frame, and whether the
// person has just used it in the tab in front. Every later message says the
// last again, as it was when the page sent it.
if (typeof importScripts === "function" && typeof QeltBridgeProtocol === "undefined") importScripts("protocol.js");

(function () {
  "use strict";
  const P = globalThis.QeltBridgeProtocol;
  const api = globalThis.browser ?? globalThis.chrome;

  // Readers held, per tab and in all, from their open to their end: each is
  // a host process, so a page cannot start them without end.
  const readersOfTab = new Map();  // tab id -> count
  let readers = 0;

  // Origins with a hello the host has not answered yet (it may be asking the
  // person): a later open from there waits its turn instead of starting a
  // host of its own. origin -> the starts waiting, in order.
  const turns = new Map();

  function takeTurn(origin, start) {
    const line = turns.get(origin);
    if (line) {
      line.push(start);
      return;
    }
    turns.set(origin, []);
    start();
  }

  function passTurn(origin) {
    const line = turns.get(origin);
    if (!line) return;
    const next = line.shift();
    if (next) next();
    else turns.delete(origin);
  }

  function leaveLine(origin, start) {
    const line = turns.get(origin);
    const at = line ? line.indexOf(start) : -1;
    if (at >= 0) line.splice(at, 1);
  }

  // A call, put, authenticate or sign as the host takes it, its activation
  // still to be settled; anything else is dropped here.
  function forHost(m) {
    if (!m || typeof m !== "object" || !Number.isSafeInteger(m.id) || m.id < 0) return null;
    const out = { type: m.type, id: m.id };
    if (m.type === P.type.call && typeof m.member === "string" && Array.isArray(m.args)) Object.assign(out, { member: m.member, args: m.args });
    else if (m.type === P.type.put && typeof m.member === "string" && "value" in m) Object.assign(out, { member: m.member, value: m.value });
    else if (m.type === P.type.authenticate && "challenge" in m) out.challenge = m.challenge;
    else if (m.type === P.type.sign && "text" in m) out.text = m.text;
    else return null;
    return out;
  }

  // Whether the tab is the one in front of its window now: the browser's
  // word, asked when a message comes, since a tab seen at connect time may
  // have gone behind another since.
  async function tabActive(tab) {
    if (tab < 0 || !api.tabs || !api.tabs.get) return false;
    try {
      const t = await api.tabs.get(tab);
      return !!t && t.active === true;
    } catch (ignored) {
      return false;  // closed meanwhile
    }
  }

  // A message with an id deserves an answer, even when it cannot go on.
  function badMessage(m) {
    if (!m || typeof m !== "object" || !Number.isSafeInteger(m.id) || m.id < 0) return null;
    return { type: P.type.error, id: m.id, number: P.number.invalidArg, description: "Not a message the card reader takes." };
  }

  const text = (e) => String(e && e.message ? e.message : e);

  api.runtime.onConnect.addListener((page) => {
    if (page.name !== P.portName || !page.sender || page.sender.id !== api.runtime.id) return;
    const sender = page.sender;
    const origin = sender.origin;
    const tab = sender.tab ? sender.tab.id : -1;
    let pageOpen = true;
    let opened = false;     // the content script's open arrived
    let counted = false;    // this reader counts toward the caps
    let start = null;       // waiting in its origin's line
    let holdsTurn = false;  // its hello is the one its origin waits for
    let native = null;
    let answered = false;   // the host's first message arrived
    let ready = false;
    const early = [];       // messages made before ready: only the hello goes first
    // Messages wait here for their tab's state, so that they leave in the
    // order the page sent them.
    let order = Promise.resolve();
    // Calls sent and not yet answered: a page that writes to the channel
    // itself, past the library, meets the same cap.
    const pending = new Set();

    const release = () => {
      if (counted) {
        counted = false;
        readers -= 1;
        const left = readersOfTab.get(tab) - 1;
        if (left > 0) readersOfTab.set(tab, left);
        else readersOfTab.delete(tab);
      }
      if (start) {
        leaveLine(origin, start);
        start = null;
      }
      if (holdsTurn) {
        holdsTurn = false;
        passTurn(origin);
      }
    };
    const toPage = (message) => {
      if (!pageOpen) return;
      try {
        page.postMessage({ kind: P.kind.message, message });
      } catch (ignored) {
        // the document is gone: its disconnect follows
      }
    };
    const closePage = (error) => {
      release();
      if (!pageOpen) return;
      pageOpen = false;
      try {
        page.postMessage({ kind: P.kind.closed, error: error ?? null });
        page.disconnect();
      } catch (ignored) {
        // the document is already gone
      }
    };
    const refuse = (reason, number, description) => {
      toPage({ type: P.type.refused, number, reason, description });
      closePage(null);
    };
    const toHost = (out) => {
      try {
        native.postMessage(out);
      } catch (e) {
        // Not sent, so never answered: its id is free again.
        pending.delete(out.id);
        toPage({ type: P.type.error, id: out.id, number: P.number.invalidArg,
                 description: "The message could not be sent to the card reader: " + text(e) });
      }
    };

    const connectHost = (userActivation) => {
      start = null;
      if (!pageOpen) {
        passTurn(origin);
        return;
      }
      holdsTurn = true;
      try {
        native = api.runtime.connectNative(P.hostName);
      } catch (e) {
        closePage(text(e));
        return;
      }
      native.onMessage.addListener((message) => {
        if (!answered) {
          answered = true;
          ready = !!message && message.type === P.type.ready;
          if (holdsTurn) {
            holdsTurn = false;
            passTurn(origin);
          }
        }
        if (message && message.id !== undefined) pending.delete(message.id);
        toPage(message);
        if (ready) for (const out of early.splice(0)) toHost(out);
      });
      native.onDisconnect.addListener((port) => {
        const error = (api.runtime.lastError && api.runtime.lastError.message) || (port && port.error && port.error.message) || null;
        closePage(error);
      });
      try {
        native.postMessage({
          type: P.type.hello,
          protocol: P.protocolVersion,
          origin,
          topLevel: sender.frameId === 0,
          userActivation,
        });
      } catch (e) {
        native.disconnect();
        closePage(text(e));
      }
    };

    const open = (message) => {
      // The origin comes from the browser alone, never from the page's URL or its words.
      if (typeof origin !== "string" || origin === "") {
        refuse(P.refusal.origin, P.number.accessDenied, "The browser did not report the page's origin.");
        return;
      }
      if ((readersOfTab.get(tab) || 0) >= P.maxReadersPerTab || readers >= P.maxReadersPerProfile) {
        refuse(P.reason.tooManyReaders, 0,
               `The card reader is already open ${P.maxReadersPerTab} times in this tab or ` +
               `${P.maxReadersPerProfile} times in this browser: close one first.`);
        return;
      }
      counted = true;
      readers += 1;
      readersOfTab.set(tab, (readersOfTab.get(tab) || 0) + 1);
      // The content script's word on the frame's activation, and the
      // browser's on the tab: a tab in the background asks nobody.
      const userActivation = message.userActivation === true && !!sender.tab && sender.tab.active === true;
      start = () => connectHost(userActivation);
      takeTurn(origin, start);
    };

    page.onMessage.addListener((message) => {
      if (!opened) {
        // The content script's own first message; nothing else comes before it.
        if (!message || message.kind !== P.kind.open) {
          closePage(null);
          return;
        }
        opened = true;
        open(message);
        return;
      }
      const out = forHost(message);
      // The content script's word on the frame's activation (and, for a PIN
      // operation, on an input since the last Cancel), and the browser's on the tab.
      const claimed = !!out && message.userActivation === true;
      if (!out) {
        const answer = badMessage(message);
        if (answer) toPage(answer);
        return;
      }
      if (pending.size >= P.maxPendingCalls) {
        toPage({ type: P.type.error, id: out.id, number: P.number.busy,
                 description: "Too many calls are waiting for the card reader." });
        return;
      }
      // The same id twice would give the host two frames for one reply slot
      // and let a page pile up frames past the cap: answered here.
      if (pending.has(out.id)) {
        toPage({ type: P.type.error, id: out.id, number: P.number.invalidArg,
                 description: "The id is that of a call still waiting." });
        return;
      }
      // A host that refuses is never sent the page's frames; one that has
      // not answered yet gets them once it is ready.
      if (answered && !ready) return;
      pending.add(out.id);
      const active = claimed ? tabActive(tab) : false;  // asked now, as the page sent it
      order = order.then(() => active).then((inFront) => {
        out.userActivation = inFront;
        if (!pageOpen) return;
        if (ready) toHost(out);
        else early.push(out);
      });
    });
    page.onDisconnect.addListener(() => {
      pageOpen = false;
      release();
      if (native) native.disconnect();
    });
  });
})();
