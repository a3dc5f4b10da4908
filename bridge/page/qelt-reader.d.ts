// Types of the QELTReader page library (qelt-reader.js).

/** Why connect() or a call failed. */
export type QeltReaderReason =
  | "no-extension"            // the browser extension is not installed or not enabled
  | "no-host"                 // the bridge program is not installed for this browser
  | "extension-not-admitted"  // the bridge program does not admit this extension
  | "origin-refused"          // the site is not admitted: policy, a frame, or plain http elsewhere than localhost
  | "person-refused"          // the person answered No (for this host name, until logoff)
  | "no-answer"               // nobody answered the question in time (asked again after 10 minutes)
  | "needs-activation"        // not admitted yet, and connect() did not come from a click in the tab in front
  | "too-many-readers"        // 4 readers in this tab or 16 in this browser are open already: no host started
  | "unavailable"             // the control cannot be created (its module or the card toolkit is missing)
  | "protocol-mismatch"       // extension and bridge program speak different versions
  | "host-failed"             // the bridge program ended before it answered
  | "disconnected"            // the connection was lost: connect() again
  | "too-many-calls"          // 64 calls are already waiting on this reader
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

export type ProxyProperty = "proxyServer" | "proxyPort" | "proxyUser" | "proxyPass";

/** The reader control's members: methods and property reads return promises. */
export interface QeltReader {
  readCard(): Promise<null>;
  checkCard(pin: string | number): Promise<null>;
  checkPin(pin: string | number): Promise<null>;
  checkXKMS(): Promise<null>;

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
}

/**
 * Connects to the card reader through the browser bridge. Each call gives a
 * reader of its own, with its own control (as two <object> elements give two).
 * Unless the policy admits the site or the person approved it before, the
 * first call must come from a click handler: the person is asked only then.
 */
export function connect(options?: ConnectOptions): Promise<QeltReader>;
