// The bridge's protocol, in one place for the page library, the extension and
// the tests: how the page and the extension talk, the native host's message
// types and fields, error numbers and the reasons a page is told.
//
// A plain script with no imports or exports: the page library loads it as a
// module for its side effect, the extension as a classic script. It defines
// one frozen global, QeltBridgeProtocol.
(function (global) {
  "use strict";
  var freeze = Object.freeze;
  global.QeltBridgeProtocol = freeze({
    // The native messaging host, as the browsers' host manifests name it.
    hostName: "qelt.reader.bridge",
    // The host's protocol version; a hello names it, ready confirms it.
    protocolVersion: 1,
    // window.postMessage between the page library and the content script.
    channel: "qelt-reader-bridge",
    // runtime.connect between the content script and the background.
    portName: "qelt-reader-bridge",
    // Who a window message is from.
    from: freeze({ page: "page", extension: "extension" }),
    // Page <-> content script message kinds.
    kind: freeze({
      ping: "ping",          // page: is the extension there?
      pong: "pong",          // extension: it is
      open: "open",          // page: open a reader's connection; content script: the
                             // port's first message, with the frame's user activation
      send: "send",          // page: a call or put for the host
      close: "close",        // page: close a reader's connection
      message: "message",    // extension: a message from the host
      closed: "closed",      // extension: the connection ended (error: the browser's text)
    }),
    // The native host's message types and fields (the host's Protocol.h mirrors them).
    type: freeze({
      hello: "hello", ready: "ready", refused: "refused", unavailable: "unavailable",
      call: "call", put: "put", result: "result", error: "error",
      authenticate: "authenticate", sign: "sign",
    }),
    // Why the host refused a connection.
    refusal: freeze({
      origin: "origin", policy: "policy", frame: "frame", person: "person",
      timeout: "timeout", hello: "hello", protocol: "protocol", activation: "activation",
    }),
    // Why the host refused a PIN operation (the "reason" of an error reply).
    callRefusal: freeze({
      activation: "activation", frame: "frame", policy: "policy", busy: "busy",
      cancelled: "cancelled", timeout: "timeout",
    }),
    // What ready's "features" may offer beyond the control's members.
    feature: freeze({ authenticate: "authenticate", sign: "sign", pinDialog: "pinDialog" }),
    // The tokens' formats.
    format: freeze({ auth: "qelt-auth:1", sign: "qelt-sign:1" }),
    // HRESULTs as the host's replies carry them.
    number: freeze({
      accessDenied: -2147024891,       // E_ACCESSDENIED: refused
      invalidArg: -2147024809,         // E_INVALIDARG: a bad message
      unknownName: -2147352570,        // DISP_E_UNKNOWNNAME
      insufficientBuffer: -2147024774, // a reply over the browsers' 1 MB
      unexpected: -2147418113,         // E_UNEXPECTED: the control's failures
      classNotRegistered: -2147221164, // REGDB_E_CLASSNOTREG
      busy: -2147024726,               // ERROR_BUSY as an HRESULT: too many calls waiting, a PIN dialog open
      cancelled: -2147023673,          // ERROR_CANCELLED as an HRESULT: the person cancelled the PIN dialog
      timeout: -2147023436,            // ERROR_TIMEOUT as an HRESULT: nobody answered the PIN dialog
    }),
    // What a page's connect() or call is told (QeltReaderError.reason).
    reason: freeze({
      noExtension: "no-extension",
      noHost: "no-host",
      extensionNotAdmitted: "extension-not-admitted",
      originRefused: "origin-refused",
      personRefused: "person-refused",
      noAnswer: "no-answer",
      needsActivation: "needs-activation",
      tooManyReaders: "too-many-readers",
      unavailable: "unavailable",
      protocolMismatch: "protocol-mismatch",
      hostFailed: "host-failed",
      disconnected: "disconnected",
      tooManyCalls: "too-many-calls",
      personCancelled: "person-cancelled",
      pinTimeout: "pin-timeout",
      busy: "busy",
      notSupported: "not-supported",
      callFailed: "call-failed",
    }),
    // Calls a reader may have waiting for replies.
    maxPendingCalls: 64,
    // Readers (each a host process) the extension holds for one tab and for
    // the browser profile, those still waiting for ready included.
    maxReadersPerTab: 4,
    maxReadersPerProfile: 16,
    // The control's members: methods, card properties, proxy properties, ver.
    methods: freeze(["readCard", "checkCard", "checkPin", "checkXKMS"]),
    // Methods that, called with no argument, ask for the PIN in the host's dialog.
    pinMethods: freeze(["checkCard", "checkPin"]),
    cardProperties: freeze(["serialNumber", "ICCardID", "issuerName", "subjectName", "name", "idno",
                            "usage", "email", "notBefore", "notAfter", "cardIssType"]),
    proxyProperties: freeze(["proxyServer", "proxyPort", "proxyUser", "proxyPass"]),
    versionProperty: "ver",
  });
})(typeof globalThis !== "undefined" ? globalThis : self);
