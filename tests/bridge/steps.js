// The steps host_test.py sends through the bridge, run on the control as a
// page's script would, to give what the bridge must answer.
// Each argument is a step: "get NAME", "put NAME VALUE" or "call NAME VALUE...",
// separated by blanks. A value is s<text> (\uXXXX for anything but letters
// and digits), n<number>, b1/b0 or z (null).
// Prints one line per step: "ok z", "ok s <text>", "ok n <number>",
// "ok b <true|false>" or "err <number> <description>", texts as \uXXXX
// (Wine's cscript mangles double-byte output); "done" last.
var ProgID = "QELTReaderProj1.QELTReader";

function printable(text) {
  return String(text).replace(/[^0-9A-Za-z.:\/-]/g, function (ch) {
    return "\\u" + ("000" + ch.charCodeAt(0).toString(16).toUpperCase()).slice(-4);
  });
}

function decode(text) {
  return text.replace(/\\u([0-9A-Fa-f]{4})/g, function (all, hex) { return String.fromCharCode(parseInt(hex, 16)); });
}

function value(token) {
  switch (token.charAt(0)) {
    case "s": return decode(token.substring(1));
    case "n": return parseFloat(token.substring(1));
    case "b": return token == "b1";
    default: return null;
  }
}

function show(v) {
  if (v === undefined || v === null) return "ok z";
  if (typeof v == "string") return "ok s " + printable(v);
  if (typeof v == "number") return "ok n " + v;
  if (typeof v == "boolean") return "ok b " + v;
  return "ok ? " + printable(typeof v);
}

function run(c, step) {
  var words = step.split(" "), op = words[0], name = words[1], a = [];
  for (var i = 2; i < words.length; i++) a.push(value(words[i]));
  if (op == "get") return c[name];
  if (op == "put") { c[name] = a[0]; return null; }
  // No spread in this JScript: one call per argument count.
  switch (a.length) {
    case 0: return c[name]();
    case 1: return c[name](a[0]);
    case 2: return c[name](a[0], a[1]);
    default: return c[name](a[0], a[1], a[2]);
  }
}

var control = new ActiveXObject(ProgID);
for (var i = 0; i < WScript.Arguments.length; i++) {
  var line;
  try {
    line = show(run(control, WScript.Arguments(i)));
  } catch (e) {
    line = "err " + (e.number | 0) + " " + printable(e.description);
  }
  WScript.Echo(line);
}
WScript.Echo("done");
