// The demo's page-like script: what a web page does with the control, run
// by Windows Script Host. Reads the card and shows every property, checks a
// PIN (right and wrong) and validates the certificate online.
// Usage: cscript //nologo demo.js OUTPUT_FILE [validate]
// Lines go to OUTPUT_FILE as UTF-16 text (the run script shows them); with
// "validate" only the validation runs.
var args = WScript.Arguments;
var fso = new ActiveXObject("Scripting.FileSystemObject");
var out = fso.OpenTextFile(args(0), 8 /* append */, true, -1 /* UTF-16 */);
var validateOnly = args.length > 1 && args(1) == "validate";

function show(label, value) { out.WriteLine("  " + label + ": " + value); }
function heading(text) { out.WriteLine(text); }
function failure(e) { return "failed: " + e.description; }

var reader = new ActiveXObject("QELTReaderProj1.QELTReader");

if (!validateOnly) {
  heading("The control, version " + reader.ver);
  heading("readCard and the card's properties:");
  try {
    reader.readCard();
    var names = ["ICCardID", "issuerName", "subjectName", "name", "idno", "usage", "email",
                 "notBefore", "notAfter", "serialNumber", "cardIssType"];
    for (var i = 0; i < names.length; ++i) show(names[i], reader[names[i]]);
  } catch (e) {
    show("readCard", failure(e));
  }
  heading("checkPin:");
  var pins = ["1234", "0000"];
  for (var i = 0; i < pins.length; ++i) {
    try {
      reader.checkPin(pins[i]);
      show(pins[i], "ok");
    } catch (e) {
      show(pins[i], failure(e));
    }
  }
}

heading("checkXKMS (card " + (validateOnly ? "revoked" : reader.ICCardID) + "):");
try {
  reader.checkXKMS();
  show("result", "valid");
} catch (e) {
  show("result", failure(e));
}
out.Close();
