// The reader control for pages in Chrome, Edge and Firefox, through the
// browser bridge (the extension and its native host). Members keep the
// control's names; methods and property reads return promises.
//
//   import { connect } from "./qelt-reader.js";
//   const reader = await connect();
//   await reader.readCard();
//   const name = await reader.name;
//   await reader.checkPin(pin);        // rejects with e.description "PinCode錯誤"
//   await reader.checkXKMS();
//   const token = await reader.authenticate(challenge);  // from a click: the PIN in the host's dialog
import "./protocol.js";

const P = globalThis.QeltBridgeProtocol;
const R = P.reason;

// How long the page waits to hear from the extension before it says there is none.
const EXTENSION_WAIT_MS = 1000;
// The host takes frames of up to 1 MiB; the frame adds the id and a little.
const MAX_MESSAGE_BYTES = 1024 * 1024 - 64;

/** A failure of the bridge or of a member: reason, number and description. */
export class QeltReaderError extends Error {
  constructor(reason, number, description) {
    super(description);
    this.name = "QeltReaderError";
    this.reason = reason;
    this.number = number;
    this.description = description;
  }
}

export const reasons = P.reason;

const TEXTS = {
  [R.originRefused]: "This page may not use the card reader: plain http is admitted only for localhost, 127.0.0.1 and [::1].",
  [R.noExtension]: "The QELTReader browser extension is not installed or not enabled in this browser.",
  [R.noHost]: "The QELTReader bridge program (native messaging host) is not installed for this browser.",
  [R.extensionNotAdmitted]: "The QELTReader bridge program does not admit this browser extension.",
  [R.protocolMismatch]: "The QELTReader extension and bridge program speak different protocol versions.",
  [R.hostFailed]: "The QELTReader bridge program ended before it answered.",
  [R.disconnected]: "The connection to the card reader was lost; connect again.",
  [R.tooManyCalls]: "Too many calls are waiting for the card reader.",
  [R.needsActivation]: "The card reader asks the person first only when the page's own button was used: connect from a click.",
  [R.tooManyReaders]: `The card reader is already open ${P.maxReadersPerTab} times in this tab or ${P.maxReadersPerProfile} times in this browser: close a reader first.`,
  [R.notSupported]: "The QELTReader bridge program is too old for this operation: install the current release.",
};

// Reasons the host gives for refusing a PIN operation, as the page is told them.
const CALL_REFUSALS = {
  [P.callRefusal.activation]: R.needsActivation,
  [P.callRefusal.frame]: R.originRefused,
  [P.callRefusal.policy]: R.originRefused,
  [P.callRefusal.cancelled]: R.personCancelled,
  [P.callRefusal.timeout]: R.pinTimeout,
  [P.callRefusal.busy]: R.busy,
};

// Reasons the host gives for a refusal, as the page is told them.
const REFUSALS = {
  [P.refusal.origin]: R.originRefused,
  [P.refusal.policy]: R.originRefused,
  [P.refusal.frame]: R.originRefused,
  [P.refusal.person]: R.personRefused,
  [P.refusal.timeout]: R.noAnswer,
  [P.refusal.protocol]: R.protocolMismatch,
  [P.refusal.hello]: R.protocolMismatch,
  [P.refusal.activation]: R.needsActivation,
};

// What JSON carries to the control; undefined, functions and the like have no such form.
function isValue(v) {
  return v === null || typeof v === "string" || typeof v === "boolean" || (typeof v === "number" && Number.isFinite(v));
}

// Where a string holds half a surrogate pair, or -1. JSON carries it, but
// the host's parser refuses the frame whole, id and all: the call would
// never be answered.
function loneSurrogate(text) {
  return text.search(/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/);
}

function bridgeError(reason, number, description) {
  return new QeltReaderError(reason, number ?? 0, description || TEXTS[reason] || reason);
}

// The browsers' texts for a native port that could not be opened.
function closedReason(error) {
  const text = String(error || "");
  if (/context invalidated/i.test(text)) return R.disconnected;  // the extension was updated or reloaded
  if (/not found|no such native application/i.test(text)) return R.noHost;
  if (/forbidden|not allowed|access/i.test(text)) return R.extensionNotAdmitted;
  return R.hostFailed;
}

// The window channel to the content script: one listener for all readers.
const readers = new Map();
// Reader ids other copies of this library in the same page will not pick.
function newReaderId() {
  for (;;) {
    const [high, low] = crypto.getRandomValues(new Uint32Array(2));
    const id = (high & 0x1fffff) * 0x100000000 + low;  // within 2^53
    if (id !== 0 && !readers.has(id)) return id;
  }
}
let extensionSeen = null;  // the question in flight, if any
let listening = false;

// To this document's own window. A sandboxed frame's origin is opaque
// ("null"), whatever its URL says: a message aimed at the URL's origin would
// be dropped there.
function post(message) {
  window.postMessage({ channel: P.channel, from: P.from.page, ...message }, self.origin === "null" ? "*" : self.origin);
}

function listen() {
  if (listening) return;
  listening = true;
  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.channel !== P.channel || data.from !== P.from.extension) return;
    if (data.kind === P.kind.pong) {
      extensionAnswered?.();
      return;
    }
    const reader = readers.get(data.reader);
    if (!reader) return;
    if (data.kind === P.kind.message) reader._receive(data.message);
    else if (data.kind === P.kind.closed) reader._closed(data.error);
  });
  // A page restored from the back/forward cache lost its connections.
  window.addEventListener("pageshow", (event) => {
    if (!event.persisted) return;
    for (const reader of readers.values()) reader._closed(null, true);
  });
}

let extensionAnswered = null;
// Asked on every connect(): nothing in the document tells, and an extension
// removed under this page must be noticed, not waited for. Connects at the
// same moment share one question.
function findExtension() {
  if (!extensionSeen) {
    extensionSeen = new Promise((resolve) => {
      const timer = setTimeout(() => resolve(false), EXTENSION_WAIT_MS);
      extensionAnswered = () => {
        clearTimeout(timer);
        resolve(true);
      };
      post({ kind: P.kind.ping });
    }).then((found) => {
      extensionSeen = null;
      extensionAnswered = null;
      return found;
    });
  }
  return extensionSeen;
}

class Reader {
  constructor(id) {
    this._id = id;
    this._pending = new Map();  // id -> {resolve, reject}
    this._nextCall = 1;
    this._state = "opening";     // opening, ready, closed
    this._opened = null;         // {resolve, reject} while opening
    this._lost = null;           // the error every later call gets
    this.version = undefined;    // the host's file version, once ready
    this.arch = undefined;       // "x86" or "x64": the control's architecture
    this.managedProxy = false;   // true: the administrator sets the proxy, not the page
    this.features = Object.freeze([]);  // what the host offers beyond the members, once ready
  }

  _receive(message) {
    if (!message || typeof message !== "object") return;
    if (this._state === "opening") {
      this._answerOpening(message);
      return;
    }
    const waiting = this._pending.get(message.id);
    if (!waiting) return;
    this._pending.delete(message.id);
    if (message.type === P.type.result) waiting.resolve(message.value);
    else waiting.reject(new QeltReaderError(CALL_REFUSALS[message.reason] || R.callFailed, message.number, message.description ?? ""));
  }

  _answerOpening(message) {
    const opened = this._opened;
    this._opened = null;
    if (message.type === P.type.ready && message.protocol === P.protocolVersion) {
      this._state = "ready";
      this.version = message.version;
      this.arch = message.arch;
      this.managedProxy = message.managedProxy === true;
      if (Array.isArray(message.features)) this.features = Object.freeze(message.features.filter((f) => typeof f === "string"));
      opened.resolve(this);
      return;
    }
    let error;
    if (message.type === P.type.ready) error = bridgeError(R.protocolMismatch);
    // The extension's own refusal: it started no host.
    else if (message.type === P.type.refused && message.reason === R.tooManyReaders) error = bridgeError(R.tooManyReaders);
    else if (message.type === P.type.refused) error = bridgeError(REFUSALS[message.reason] || R.originRefused, message.number, message.description);
    else if (message.type === P.type.unavailable) error = bridgeError(R.unavailable, message.number, message.description);
    else error = bridgeError(R.protocolMismatch);
    this._end(error);
    opened.reject(error);
  }

  _closed(browserText, restored = false) {
    if (this._state === "closed") return;
    if (this._state === "opening") {
      const opened = this._opened;
      this._opened = null;
      const error = bridgeError(restored ? R.disconnected : closedReason(browserText), 0, undefined);
      this._end(error);
      opened?.reject(error);
      return;
    }
    this._end(bridgeError(R.disconnected));
  }

  _end(error) {
    this._state = "closed";
    this._lost = error;
    readers.delete(this._id);
    post({ kind: P.kind.close, reader: this._id });
    for (const waiting of this._pending.values()) waiting.reject(error);
    this._pending.clear();
  }

  _send(message) {
    if (this._state !== "ready") return Promise.reject(this._lost || bridgeError(R.disconnected));
    if (this._pending.size >= P.maxPendingCalls) return Promise.reject(bridgeError(R.tooManyCalls, P.number.busy));
    const values = message.type === P.type.call ? message.args : message.type === P.type.put ? [message.value] : [];
    if (!values.every(isValue))
      return Promise.reject(bridgeError(R.callFailed, P.number.invalidArg, "A value must be a string, a number, true, false or null."));
    if (values.some((v) => typeof v === "string" && loneSurrogate(v) >= 0))
      return Promise.reject(bridgeError(R.callFailed, P.number.invalidArg, "A text holds a lone surrogate."));
    // A frame over the host's 1 MiB would end the whole connection: this call fails alone.
    if (new TextEncoder().encode(JSON.stringify(message)).length > MAX_MESSAGE_BYTES)
      return Promise.reject(bridgeError(R.callFailed, P.number.invalidArg, "The call's values are too large for the card reader."));
    const id = this._nextCall++;
    return new Promise((resolve, reject) => {
      this._pending.set(id, { resolve, reject });
      post({ kind: P.kind.send, reader: this._id, message: { ...message, id } });
    });
  }

  _call(member, args) { return this._send({ type: P.type.call, member, args }); }

  readCard() { return this._call("readCard", []); }
  checkCard(pin) { return this._call("checkCard", arguments.length ? [pin] : []); }
  checkPin(pin) { return this._call("checkPin", arguments.length ? [pin] : []); }
  checkXKMS() { return this._call("checkXKMS", []); }

  // The host judges the challenge and the text; only what is not text at
  // all is turned back here.
  _operation(type, field, value) {
    if (this._state === "ready" && !this.features.includes(type)) return Promise.reject(bridgeError(R.notSupported));
    if (typeof value !== "string")
      return Promise.reject(bridgeError(R.callFailed, P.number.invalidArg, `The ${field} must be a string.`));
    const lone = loneSurrogate(value);
    if (lone >= 0) {
      const unit = value.charCodeAt(lone).toString(16).toUpperCase();
      return Promise.reject(bridgeError(R.callFailed, P.number.invalidArg,
                                        `Character ${lone + 1} of the ${field}, U+${unit}, is a lone surrogate.`));
    }
    return this._send({ type, [field]: value });
  }

  /** A sign-in token: the card's signature over the site's challenge and origin. */
  authenticate(challenge) { return this._operation(P.type.authenticate, "challenge", challenge); }

  /** The card's signature over a text the person saw in the host's dialog. */
  sign(text) { return this._operation(P.type.sign, "text", text); }

  /** Writes a proxy property: await reader.set("proxyPort", 8080). */
  set(name, value) { return this._send({ type: P.type.put, member: name, value }); }

  /** Ends the connection: the host and its control go away. */
  close() {
    if (this._state !== "closed") this._end(bridgeError(R.disconnected));
  }

  get connected() { return this._state === "ready"; }
}

// Property reads under the control's names: await reader.name.
for (const name of [...P.cardProperties, ...P.proxyProperties, P.versionProperty]) {
  Object.defineProperty(Reader.prototype, name, {
    get() { return this._call(name, []); },
    enumerable: true,
  });
}

/**
 * Connects to the card reader. Each call gives a reader of its own, with its
 * own control, as two <object> elements give two controls.
 * options.proxyServer, proxyPort, proxyUser, proxyPass: set before the
 * reader is handed over, as <param> elements set them on the control;
 * skipped where the administrator sets the proxy (reader.managedProxy).
 * Without the site's admission by policy or an earlier Yes, the first
 * connect() must come from a click (or a key) on the page.
 */
export async function connect(options = {}) {
  listen();
  // The extension runs on https pages and on http only for this machine's
  // own addresses: elsewhere it is not missing, the page may not use it.
  if (location.protocol === "http:" && !["localhost", "127.0.0.1", "[::1]"].includes(location.hostname))
    throw bridgeError(R.originRefused, P.number.accessDenied, TEXTS[R.originRefused]);
  if (!(await findExtension())) throw bridgeError(R.noExtension);
  const id = newReaderId();
  const reader = new Reader(id);
  readers.set(id, reader);
  const ready = new Promise((resolve, reject) => { reader._opened = { resolve, reject }; });
  post({ kind: P.kind.open, reader: id });
  await ready;
  try {
    for (const name of reader.managedProxy ? [] : P.proxyProperties) {
      if (options[name] !== undefined) await reader.set(name, options[name]);
    }
  } catch (error) {
    reader.close();  // the page gets no reader: its host must not stay behind
    throw error;
  }
  return reader;
}
