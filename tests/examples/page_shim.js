// Runs the sample page's script outside a browser, as its page would: the
// control created from the <object> element's class, its <param> values
// assigned, a PIN typed in, each button pressed once. Output lines go to
// the file named by the first argument (UTF-16).
// The page script is appended after this file by the test.
var args = WScript.Arguments;
var log = new ActiveXObject("Scripting.FileSystemObject").OpenTextFile(args(0), 8, true, -1);
var reader = new ActiveXObject("QELTReaderProj1.QELTReader");
var params = { proxyServer: "", proxyPort: 8080, proxyUser: "", proxyPass: "" };
for (var name in params) reader[name] = params[name];
var elements = {
  pin: { value: args.length > 1 ? args(1) : "" },
  log: { innerText: "" }
};
var document = { getElementById: function (id) { return elements[id]; } };
function pressButtons() {
  readCard(); checkPin(); checkCard(); checkXKMS(); showProxy();
  log.Write(elements.log.innerText.replace(/\n/g, "\r\n"));
  log.Close();
}
