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

  // Whether the person has just used this frame (clicked, typed), as the
  // browser keeps it: read here, never taken from what the page posts.
  function activated() {
    try {
      return navigator.userActivation ? navigator.userActivation.isActive === true : false;
    } catch (ignored) {
      return false;
    }
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
    const userActivation = activated();
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
        // Only calls and puts, and only the fields the host reads: whatever
        // else the page wrote (an origin, say) stays behind.
        const port = ports.get(data.reader);
        const m = data.message;
        if (!port || !m || (m.type !== P.type.call && m.type !== P.type.put)) break;
        const out = { type: m.type, id: m.id, member: m.member };
        if (m.type === P.type.call) out.args = m.args;
        else out.value = m.value;
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
