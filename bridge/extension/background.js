// Opens one native port to the bridge host for each port a document's
// content script opens, and says hello with what the browser reports about
// that document: its origin and whether it is a top-level frame.
if (typeof importScripts === "function" && typeof QeltBridgeProtocol === "undefined") importScripts("protocol.js");

(function () {
  "use strict";
  const P = globalThis.QeltBridgeProtocol;
  const api = globalThis.browser ?? globalThis.chrome;

  // A call or put as the host takes it; anything else is dropped here.
  function forHost(m) {
    if (!m || typeof m !== "object" || typeof m.member !== "string" || !Number.isSafeInteger(m.id) || m.id < 0) return null;
    if (m.type === P.type.call && Array.isArray(m.args)) return { type: m.type, id: m.id, member: m.member, args: m.args };
    if (m.type === P.type.put && "value" in m) return { type: m.type, id: m.id, member: m.member, value: m.value };
    return null;
  }

  // A message with an id deserves an answer, even when it cannot go on.
  function badMessage(m) {
    if (!m || typeof m !== "object" || !Number.isSafeInteger(m.id) || m.id < 0) return null;
    return { type: P.type.error, id: m.id, number: P.number.invalidArg, description: "Not a call or put the card reader takes." };
  }

  api.runtime.onConnect.addListener((page) => {
    if (page.name !== P.portName || !page.sender || page.sender.id !== api.runtime.id) return;
    const origin = page.sender.origin;
    let pageOpen = true;
    const closePage = (error) => {
      if (!pageOpen) return;
      pageOpen = false;
      try {
        page.postMessage({ kind: P.kind.closed, error: error ?? null });
        page.disconnect();
      } catch (ignored) {
        // the document is already gone
      }
    };
    // The origin comes from the browser alone, never from the page's URL or its words.
    if (typeof origin !== "string" || origin === "") {
      page.postMessage({
        kind: P.kind.message,
        message: { type: P.type.refused, number: P.number.accessDenied, reason: P.refusal.origin,
                   description: "The browser did not report the page's origin." },
      });
      closePage(null);
      return;
    }
    let native;
    try {
      native = api.runtime.connectNative(P.hostName);
    } catch (e) {
      closePage(String(e && e.message ? e.message : e));
      return;
    }
    // Calls sent and not yet answered: a page that writes to the channel
    // itself, past the library, meets the same cap.
    const pending = new Set();
    native.onMessage.addListener((message) => {
      if (message && message.id !== undefined) pending.delete(message.id);
      if (pageOpen) page.postMessage({ kind: P.kind.message, message });
    });
    native.onDisconnect.addListener((port) => {
      const error = (api.runtime.lastError && api.runtime.lastError.message) || (port && port.error && port.error.message) || null;
      closePage(error);
    });
    page.onMessage.addListener((message) => {
      const out = forHost(message);
      if (!out) {
        const answer = badMessage(message);
        if (answer) page.postMessage({ kind: P.kind.message, message: answer });
        return;
      }
      if (pending.size >= P.maxPendingCalls) {
        page.postMessage({
          kind: P.kind.message,
          message: { type: P.type.error, id: out.id, number: P.number.busy,
                     description: "Too many calls are waiting for the card reader." },
        });
        return;
      }
      // The same id twice would give the host two frames for one reply slot
      // and let a page pile up frames past the cap: answered here.
      if (pending.has(out.id)) {
        page.postMessage({
          kind: P.kind.message,
          message: { type: P.type.error, id: out.id, number: P.number.invalidArg,
                     description: "The id is that of a call still waiting." },
        });
        return;
      }
      pending.add(out.id);
      native.postMessage(out);
    });
    page.onDisconnect.addListener(() => {
      pageOpen = false;
      native.disconnect();
    });
    native.postMessage({
      type: P.type.hello,
      protocol: P.protocolVersion,
      origin,
      topLevel: page.sender.frameId === 0,
    });
  });
})();
