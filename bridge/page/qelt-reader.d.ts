// Types of the QELTReader page library (qelt-reader.js).

/** Why connect() or a call failed. */
export type QeltReaderReason =
  | "no-extension"            // the browser extension is not installed or not enabled
  | "no-host"                 // the bridge program is not installed for this browser
  | "extension-not-admitted"  // the bridge program does not admit this extension
  | "origin-refused"          // the site is not admitted: policy, a frame, or plain http elsewhere than localhost; a PIN operation the policy refuses
  | "person-refused"          // the person answered No (for this host name, until logoff)
  | "no-answer"               // nobody answered the question in time (asked again after 10 minutes)
  | "needs-activation"        // connect() of a site not admitted yet, or a PIN operation, that did not come from a click in the tab in front
  | "too-many-readers"        // 4 readers in this tab or 16 in this browser are open already: no host started
  | "unavailable"             // the control cannot be created (its module or the card toolkit is missing)
  | "protocol-mismatch"       // extension and bridge program speak different versions
  | "host-failed"             // the bridge program ended before it answered
  | "disconnected"            // the connection was lost: connect() again
  | "too-many-calls"          // 64 calls are already waiting on this reader
  | "person-cancelled"        // the person cancelled the PIN dialog
  | "pin-timeout"             // nobody answered the PIN dialog within 120 s
  | "busy"                    // another PIN operation of this reader is waiting for the person
  | "not-supported"           // the bridge program is too old for authenticate() or sign()
  | "call-failed";            // the member failed (number and description are the control's), or the call itself (unknown member, wrong arguments: the system's text)

export class QeltReaderError extends Error {
  readonly name: "QeltReaderError";
  readonly reason: QeltReaderReason;
  /**
   * The HRESULT, as a signed 32-bit number: -2147418113 for the control's own
   * failures, the host's number for a refusal or an invocation failure, 0 for
   * the library's own reasons that have none.
   */
  readonly number: number;
  /** The text, the control's message for its failures ("PinCode錯誤"). Equal to message. */
  readonly description: string;
}

export const reasons: Readonly<Record<string, QeltReaderReason>>;

export interface ConnectOptions {
  /**
   * Set before the reader is handed over, as the control's <param> elements set them;
   * skipped where the administrator sets the proxy (QeltReader.managedProxy).
   */
  proxyServer?: string;
  proxyPort?: number;
  proxyUser?: string;
  proxyPass?: string;
}

/** What the card signed, for the site's server to verify. Keys in this order. */
export interface Token<Format extends string> {
  /** What was signed: "<TBSHeader>" + format + " " + origin + "</TBSHeader><TBSBody>" + challenge or text + "</TBSBody>". */
  readonly format: Format;
  /** The page's origin as the bridge program admitted it, e.g. "https://portal.example.org". */
  readonly origin: string;
  /** The card's signing certificate, as the card toolkit gives it (Base64). */
  readonly certificate: string;
  /** The signature (PKCS#7 signed data, Base64) over the to-be-signed text. */
  readonly signature: string;
  /** The code page the to-be-signed text was signed in: 950 (Big5) on Traditional Chinese Windows. */
  readonly codePage: number;
  /** The bridge program's file version, e.g. "3.1.0.0". */
  readonly appVersion: string;
}

/** A sign-in token: reader.authenticate(challenge). */
export type AuthToken = Token<"qelt-auth:1">;
/** A signature over a text the person saw: reader.sign(text). */
export type SignatureToken = Token<"qelt-sign:1">;

/** What a bridge program offers beyond the control's members (QeltReader.features). */
export type QeltReaderFeature = "authenticate" | "sign" | "pinDialog";

export type ProxyProperty = "proxyServer" | "proxyPort" | "proxyUser" | "proxyPass";

/** The reader control's members: methods and property reads return promises. */
export interface QeltReader {
  readCard(): Promise<null>;
  /**
   * Without a PIN (where features has "pinDialog"): the person types it in the bridge
   * program's dialog; call it from a click. A PIN from the page is kept for old pages and
   * fails with origin-refused where the administrator turned that off.
   */
  checkCard(pin?: string | number): Promise<null>;
  checkPin(pin?: string | number): Promise<null>;
  checkXKMS(): Promise<null>;

  /**
   * Signs the site's challenge (43 to 128 characters of A-Z a-z 0-9 + / = - _, from the
   * site's server) with the page's origin, after the person typed the PIN in the bridge
   * program's dialog. Call it from a click in the top-level page.
   */
  authenticate(challenge: string): Promise<AuthToken>;
  /** Signs a text the bridge program's dialog shows the person in full; as authenticate(). */
  sign(text: string): Promise<SignatureToken>;

  readonly serialNumber: Promise<string>;
  readonly ICCardID: Promise<string>;
  readonly issuerName: Promise<string>;
  readonly subjectName: Promise<string>;
  readonly name: Promise<string>;
  readonly idno: Promise<string>;
  readonly usage: Promise<string>;
  readonly email: Promise<string>;
  readonly notBefore: Promise<string>;
  readonly notAfter: Promise<string>;
  readonly cardIssType: Promise<string>;
  readonly proxyServer: Promise<string>;
  readonly proxyPort: Promise<number>;
  readonly proxyUser: Promise<string>;
  readonly proxyPass: Promise<string>;
  readonly ver: Promise<string>;

  /** Writes a proxy property; with managedProxy it fails with call-failed, -2147024891. */
  set(name: ProxyProperty, value: string | number): Promise<null>;
  /** Ends the connection; later calls fail with "disconnected". */
  close(): void;
  /** False once the connection is lost or closed. */
  readonly connected: boolean;
  /** The bridge program's file version, e.g. "3.0.1.0". */
  readonly version: string;
  /** The architecture of the bridge program and so of the control: "x86" or "x64". */
  readonly arch: "x86" | "x64";
  /**
   * True where the administrator sets the proxy: proxyUser and proxyPass cannot be read,
   * no proxy property can be written; proxyServer and proxyPort read the administrator's.
   */
  readonly managedProxy: boolean;
  /** What the bridge program offers beyond the members; [] from a bridge program without them. */
  readonly features: readonly (QeltReaderFeature | string)[];
}

/**
 * Connects to the card reader through the browser bridge. Each call gives a
 * reader of its own, with its own control (as two <object> elements give two).
 * Unless the policy admits the site or the person approved it before, the
 * first call must come from a click handler: the person is asked only then.
 */
export function connect(options?: ConnectOptions): Promise<QeltReader>;
