// Relays the page library's messages, and only those of this document's own
// window, to the background, one port per reader. The port belongs to this
// document: a navigation ends the document and its ports with it.
(function () {
  "use strict";
  const P = globalThis.QeltBridgeProtocol;
  const api = globalThis.browser ?? globalThis.chrome;
  const ports = new Map();  // the page's reader id -> runtime.Port

  function toPage(message) {
    window.postMessage({ channel: P.channel, from: P.from.extension, ...message }, "*");
  }

  const text = (e) => String(e && e.message ? e.message : e);

  // The person's latest click or key press in this frame, and the latest
  // Cancel in a PIN dialog any reader of this frame was answered: after a
  // Cancel only a new input of the person's counts for a PIN operation, not
  // the activation left over from the input before it. Listening first, on
  // the window in the capture phase, so no page script can hide an input;
  // the page's own synthetic events are not trusted.
  let lastInput = -Infinity;
  let lastCancel = null;
  const noteInput = (event) => {
    if (event.isTrusted) lastInput = performance.now();
  };
  window.addEventListener("pointerdown", noteInput, true);
  window.addEventListener("keydown", noteInput, true);

  // Whether the person has just used this frame (clicked, typed), as the
  // browser keeps it: read here, never taken from what the page posts.
  function activated() {
    try {
      return navigator.userActivation ? navigator.userActivation.isActive === true : false;
    } catch (ignored) {
      return false;
    }
  }

  const activatedSinceCancel = () => activated() && (lastCancel === null || lastInput > lastCancel);

  // The operations the host asks the PIN for in its own dialog.
  function asksPin(m) {
    if (m.type === P.type.authenticate || m.type === P.type.sign) return true;
    return m.type === P.type.call && P.pinMethods.includes(m.member) && Array.isArray(m.args) && m.args.length === 0;
  }

  // Only what the host reads of each kind: whatever else the page wrote (an
  // origin, an activation of its own) stays behind.
  function forBackground(m) {
    const out = { type: m.type, id: m.id };
    switch (m.type) {
      case P.type.call: out.member = m.member; out.args = m.args; break;
      case P.type.put: out.member = m.member; out.value = m.value; break;
      case P.type.authenticate: out.challenge = m.challenge; break;
      case P.type.sign: out.text = m.text; break;
      default: return null;
    }
    out.userActivation = asksPin(m) ? activatedSinceCancel() : activated();
    return out;
  }

  // A port that cannot carry a message is of no more use: it goes at once,
  // so that the background frees its reader and host.
  function drop(reader, port, e) {
    ports.delete(reader);
    try {
      port.disconnect();
    } catch (ignored) {
      // already gone
    }
    toPage({ kind: P.kind.closed, reader, error: text(e) });
  }

  function open(reader) {
    // Two copies of the page library in one page must not share a port.
    if (ports.has(reader)) {
      toPage({ kind: P.kind.closed, reader, error: "A reader with this id is already open in this page." });
      return;
    }
    // A connection opened after a Cancel, on the gesture before it, would
    // give its first PIN operation the hello's activation.
    const userActivation = activatedSinceCancel();
    let port;
    try {
      port = api.runtime.connect({ name: P.portName });
    } catch (e) {
      // An extension updated or reloaded under this page leaves this script
      // without its extension: the page must hear of it, not wait.
      toPage({ kind: P.kind.closed, reader, error: text(e) });
      return;
    }
    ports.set(reader, port);
    port.onMessage.addListener((message) => {
      if (message && message.kind === P.kind.closed) {
        ports.delete(reader);
        toPage({ kind: P.kind.closed, reader, error: message.error ?? null });
      } else if (message && message.kind === P.kind.message) {
        const m = message.message;
        if (m && m.type === P.type.error && m.reason === P.callRefusal.cancelled) lastCancel = performance.now();
        toPage({ kind: P.kind.message, reader, message: message.message });
      }
    });
    port.onDisconnect.addListener(() => {
      if (ports.delete(reader)) toPage({ kind: P.kind.closed, reader, error: null });
    });
    // The background reads the activation from this first message only.
    try {
      port.postMessage({ kind: P.kind.open, userActivation });
    } catch (e) {
      drop(reader, port, e);
    }
  }

  function close(reader) {
    const port = ports.get(reader);
    if (!port) return;
    ports.delete(reader);
    port.disconnect();
  }

  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.channel !== P.channel || data.from !== P.from.page) return;
    switch (data.kind) {
      case P.kind.ping:
        toPage({ kind: P.kind.pong });
        break;
      case P.kind.open:
        if (Number.isSafeInteger(data.reader)) open(data.reader);
        break;
      case P.kind.close:
        close(data.reader);
        break;
      case P.kind.send: {
        const port = ports.get(data.reader);
        const m = data.message;
        const out = port && m && typeof m === "object" ? forBackground(m) : null;
        if (!out) break;
        try {
          port.postMessage(out);
        } catch (e) {
          // A value the port cannot carry (a BigInt, say).
          drop(data.reader, port, e);
        }
        break;
      }
    }
  });

  // Leaving the page (into the back/forward cache too) ends its connections.
  window.addEventListener("pagehide", () => {
    for (const reader of [...ports.keys()]) close(reader);
  });
})();
