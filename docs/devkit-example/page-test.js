// A page's card logic tested without a card: the control, the development
// kit's virtual card and its local validation service, run by Windows Script
// Host.
//   cscript //nologo page-test.js PORT EXPECTED_IDNO VALIDATION
// PORT: the validation service's port; EXPECTED_IDNO: the identity number of
// the card the kit presents; VALIDATION: "valid" or "invalid", what checkXKMS
// should find. Prints one line per check and ends with the number of
// failures as the exit code.
var args = WScript.Arguments;
var port = parseInt(args(0), 10), expectedIdno = args(1), expectValid = args(2) == "valid";
var failures = 0;

// Messages may be Chinese; shown as \uXXXX so that any console takes them.
function shown(text) {
  return String(text).replace(/[^ -~]/g, function (ch) {
    return "\\u" + ("000" + ch.charCodeAt(0).toString(16)).slice(-4);
  });
}

function check(what, passed, detail) {
  WScript.Echo((passed ? "PASS " : "FAIL ") + what + (detail ? " (" + shown(detail) + ")" : ""));
  if (!passed) failures++;
}

// Runs f; returns null when it succeeded, else the control's message.
function failureOf(f) {
  try { f(); return null; } catch (e) { return e.description; }
}

var reader = new ActiveXObject("QELTReaderProj1.QELTReader");
// The validation URL is fixed in the control; the kit's service answers as
// the proxy for it.
reader.proxyServer = "127.0.0.1";
reader.proxyPort = port;

check("reads the card", failureOf(function () { reader.readCard(); }) === null);
check("identity number is " + expectedIdno, reader.idno == expectedIdno, reader.idno);
var wrongPin = failureOf(function () { reader.checkPin("0000"); });
check("a wrong PIN is refused", wrongPin !== null, wrongPin);
var rightPin = failureOf(function () { reader.checkPin("1234"); });
check("the right PIN is accepted", rightPin === null, rightPin);
var validation = failureOf(function () { reader.checkXKMS(); });
check("the certificate is " + (expectValid ? "valid" : "refused"), (validation === null) == expectValid, validation);
WScript.Quit(failures);
