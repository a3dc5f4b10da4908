// Windows Script Host sample (JScript): what a page does with the control.
// Reads the card, shows every property, checks a PIN and validates the
// certificate online.
// Run: cscript //nologo read-card.js [PIN [OUTPUT_FILE]]
// With OUTPUT_FILE the lines are appended to it as UTF-16 text instead of
// being echoed.
var args = WScript.Arguments;
var pin = args.length > 0 ? args(0) : "1234";
var out = args.length > 1
    ? new ActiveXObject("Scripting.FileSystemObject").OpenTextFile(args(1), 8, true, -1) : null;

function show(label, value) {
  if (out) out.WriteLine(label + ": " + value);
  else WScript.Echo(label + ": " + value);
}
function failure(e) { return "failed (" + (e.number >>> 0).toString(16) + "): " + e.description; }

var reader;
try {
  reader = new ActiveXObject("QELTReaderProj1.QELTReader");
} catch (e) {
  show("The control cannot be created", failure(e));
  WScript.Quit(1);
}
show("ver", reader.ver);

try {
  reader.readCard();
  show("ICCardID", reader.ICCardID);
  show("issuerName", reader.issuerName);
  show("subjectName", reader.subjectName);
  show("name", reader.name);
  show("idno", reader.idno);
  show("usage", reader.usage);
  show("email", reader.email);
  show("notBefore", reader.notBefore);
  show("notAfter", reader.notAfter);
  show("serialNumber", reader.serialNumber);
  show("cardIssType", reader.cardIssType);
} catch (e) {
  show("readCard", failure(e));
}

try {
  reader.checkPin(pin);
  show("checkPin", "ok");
} catch (e) {
  show("checkPin", failure(e));
}

try {
  reader.checkXKMS();
  show("checkXKMS", "valid");
} catch (e) {
  show("checkXKMS", failure(e));
}
if (out) out.Close();
