' Windows Script Host sample (VBScript): what a page does with the control.
' Reads the card, shows every property, checks a PIN and validates the
' certificate online.
' Run: cscript //nologo read-card.vbs [PIN [OUTPUT_FILE]]
' With OUTPUT_FILE the lines are appended to it as UTF-16 text instead of
' being echoed.
Option Explicit
Dim reader, pin, out
pin = "1234"
If WScript.Arguments.Count > 0 Then pin = WScript.Arguments(0)
Set out = Nothing
If WScript.Arguments.Count > 1 Then
  Set out = CreateObject("Scripting.FileSystemObject").OpenTextFile(WScript.Arguments(1), 8, True, -1)
End If

Sub Show(label, value)
  If out Is Nothing Then
    WScript.Echo label & ": " & value
  Else
    out.WriteLine label & ": " & value
  End If
End Sub

Function Failure()
  Failure = "failed (" & LCase(Hex(Err.Number)) & "): " & Err.Description
  Err.Clear
End Function

On Error Resume Next
Set reader = CreateObject("QELTReaderProj1.QELTReader")
If Err.Number <> 0 Then
  Show "The control cannot be created", Failure()
  WScript.Quit 1
End If
Show "ver", reader.ver

reader.readCard
If Err.Number <> 0 Then
  Show "readCard", Failure()
Else
  Show "ICCardID", reader.ICCardID
  Show "issuerName", reader.issuerName
  Show "subjectName", reader.subjectName
  Show "name", reader.name
  Show "idno", reader.idno
  Show "usage", reader.usage
  Show "email", reader.email
  Show "notBefore", reader.notBefore
  Show "notAfter", reader.notAfter
  Show "serialNumber", reader.serialNumber
  Show "cardIssType", reader.cardIssType
End If

reader.checkPin pin
If Err.Number <> 0 Then Show "checkPin", Failure() Else Show "checkPin", "ok"

reader.checkXKMS
If Err.Number <> 0 Then Show "checkXKMS", Failure() Else Show "checkXKMS", "valid"
If Not out Is Nothing Then out.Close
