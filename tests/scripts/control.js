// The control as a page's script uses it, in JScript. Arguments: the card's
// name and the part to run (card, members or xkms). Prints one line per step
// and "done" last, for the CTest wrapper to compare.
var ProgID = "QELTReaderProj1.QELTReader";
var E_UNEXPECTED = 0x8000FFFF | 0;

function hex(n) { return (n >>> 0).toString(16).toUpperCase(); }

// Wine's cscript overruns its buffer when it prints double-byte text, so
// everything outside printable ASCII goes out as \uXXXX.
function printable(v) {
  return String(v).replace(/[^ -\[\]-~]/g, function (ch) {
    return "\\u" + ("000" + ch.charCodeAt(0).toString(16).toUpperCase()).slice(-4);
  });
}

// Runs a step and prints its value, or how it failed.
function step(label, f) {
  try {
    var v = f();
    WScript.Echo(label + ": " + (v === undefined ? "ok" : typeof v + " [" + printable(v) + "]"));
  } catch (e) {
    // The control's failures carry its message; others are the platform's.
    if (e.number == E_UNEXPECTED) WScript.Echo(label + ": fails E_UNEXPECTED [" + printable(e.description) + "]");
    else WScript.Echo(label + ": fails " + hex(e.number));
  }
}

// Reading, the eleven card properties, the PIN checks, and their failures.
function card() {
  var c = new ActiveXObject(ProgID);
  step("readCard", function () { c.readCard(); });
  step("serialNumber", function () { return c.serialNumber; });
  step("ICCardID", function () { return c.ICCardID; });
  step("issuerName", function () { return c.issuerName; });
  step("subjectName", function () { return c.subjectName; });
  step("name", function () { return c.name; });
  step("idno", function () { return c.idno; });
  step("usage", function () { return c.usage; });
  step("email", function () { return c.email; });
  step("notBefore", function () { return c.notBefore; });
  step("notAfter", function () { return c.notAfter; });
  step("cardIssType", function () { return c.cardIssType; });
  // Names reach the control case-insensitively.
  step("iccardid", function () { return c.iccardid; });

  step("checkPin 1234", function () { c.checkPin("1234"); });
  step("checkPin number", function () { c.checkPin(1234); });
  step("checkPin 0000", function () { c.checkPin("0000"); });
  step("checkPin null", function () { c.checkPin(null); });
  step("checkCard 1234", function () { c.checkCard("1234"); });
  step("checkCard 0000", function () { c.checkCard("0000"); });
  // The description as the script sees it, not only as printed.
  try {
    c.checkPin("0000");
    WScript.Echo("wrong PIN accepted");
  } catch (e) {
    var wrongPin = "PinCode\u932F\u8AA4", noCard = "\u5EFA\u7ACB\u5361\u7247\u901A\u8A0A\u9023\u7D50\u5931\u6557";
    WScript.Echo("checkPin text: " + (e.description == wrongPin ? "wrong PIN" : e.description == noCard ? "no card" : "other"));
  }
  // Whatever failed before.
  step("ver", function () { return c.ver; });
}

// What needs no card: the proxy properties, ver, the missing default member
// and the read-only properties.
function members() {
  var c = new ActiveXObject(ProgID);
  step("typeof", function () { return typeof c; });
  step("ver", function () { return c.ver; });
  step("proxyServer", function () { return c.proxyServer; });
  step("proxyPort", function () { return c.proxyPort; });
  step("proxyUser", function () { return c.proxyUser; });
  step("proxyPass", function () { return c.proxyPass; });
  step("set proxy", function () {
    c.proxyServer = "proxy.example";
    c.proxyPort = 3128;
    c.proxyUser = "\u738B user";
    c.proxyPass = 42;
  });
  step("proxyServer", function () { return c.proxyServer; });
  step("proxyPort", function () { return c.proxyPort; });
  step("proxyUser", function () { return c.proxyUser; });
  step("proxyPass", function () { return c.proxyPass; });
  step("proxyPort = -1", function () { c.proxyPort = -1; return c.proxyPort; });
  step("proxyPort = 0", function () { c.proxyPort = 0; return c.proxyPort; });
  step("proxyPort = \"8080\"", function () { c.proxyPort = "8080"; return c.proxyPort; });
  step("proxyPort = \"abc\"", function () { c.proxyPort = "abc"; });
  step("proxyPort kept", function () { return c.proxyPort; });
  step("proxyServer = null", function () { c.proxyServer = null; });
  step("proxyUser = null", function () { c.proxyUser = null; });
  step("proxyPass = null", function () { c.proxyPass = null; });
  step("proxy kept", function () { return [c.proxyServer, c.proxyUser, c.proxyPass].join(","); });
  step("proxyServer = \"\"", function () { c.proxyServer = ""; return c.proxyServer; });

  // No default member: DISPID 0 is not found.
  step("c()", function () { return c(); });
  step("c(1)", function () { return c(1); });
  // Read-only properties take no assignment.
  step("ver = \"4.0\"", function () { c.ver = "4.0"; });
  step("name = \"x\"", function () { c.name = "x"; });
  step("cardIssType = \"2\"", function () { c.cardIssType = "2"; });
  step("ver after", function () { return c.ver; });

  // A second control has its own settings.
  var other = new ActiveXObject(ProgID);
  step("other proxyPort", function () { return other.proxyPort; });
}

// Validation against the local service, directly and through the test
// proxy, whose port and credentials come from the environment.
function xkms() {
  var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
  var c = new ActiveXObject(ProgID);
  step("checkXKMS", function () { c.checkXKMS(); });
  c.proxyServer = "127.0.0.1";
  c.proxyPort = parseInt(env("QELT_PROXY_PORT"), 10);
  c.proxyUser = env("QELT_PROXY_USER");
  c.proxyPass = env("QELT_PROXY_PASSWORD");
  step("checkXKMS through the proxy", function () { c.checkXKMS(); });
  // Nobody listens there: shows that the proxy settings are used.
  c.proxyPort = parseInt(env("QELT_CLOSED_PORT"), 10);
  step("checkXKMS, proxy port closed", function () { c.checkXKMS(); });
  // A refused login is left out: the proxy answers before reading the
  // request body and then resets the connection, which may lose the answer.
  // An empty server turns the proxy off, whatever else is set.
  c.proxyPass = "wrong";
  c.proxyServer = "";
  step("checkXKMS, proxy off", function () { c.checkXKMS(); });
}

var parts = { card: card, members: members, xkms: xkms };
parts[WScript.Arguments(1)]();
WScript.Echo("done");
