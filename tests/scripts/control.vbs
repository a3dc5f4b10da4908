' The control as a page's script uses it, in VBScript. Arguments: the card's
' name and the part to run (card, members or xkms). Prints one line per step
' and "done" last, for the CTest wrapper to compare.
Option Explicit
Const ProgID = "QELTReaderProj1.QELTReader"
Const E_UNEXPECTED = &H8000FFFF

' Wine's cscript overruns its buffer when it prints double-byte text, and
' its VBScript has no AscW: everything outside printable ASCII goes out as
' \x{HHHH}, its code in the ANSI code page.
Function Printable(text)
  Dim i, ch, code, out
  out = ""
  For i = 1 To Len(text)
    ch = Mid(text, i, 1)
    code = Asc(ch) And &HFFFF&
    If code >= 32 And code < 127 And ch <> "\" Then
      out = out & ch
    Else
      out = out & "\x{" & Hex(code) & "}"
    End If
  Next
  Printable = out
End Function

' Prints how the statement before it ended: the failure, or the value.
Sub Report(label, value)
  If Err.Number = 0 Then
    WScript.Echo label & ": " & TypeName(value) & " [" & Printable(CStr(value)) & "]"
  Else
    Failed label
  End If
End Sub

Sub Done(label)
  If Err.Number = 0 Then WScript.Echo label & ": ok" Else Failed label
End Sub

' The control's failures carry its message; others are the platform's.
Sub Failed(label)
  If Err.Number = E_UNEXPECTED Then
    WScript.Echo label & ": fails E_UNEXPECTED [" & Printable(Err.Description) & "]"
  Else
    WScript.Echo label & ": fails " & Hex(Err.Number)
  End If
  Err.Clear
End Sub

' Reading, the eleven card properties, the PIN checks, and their failures.
Sub CardPart(c)
  Dim v
  On Error Resume Next
  c.readCard : Done "readCard"
  v = Empty : v = c.serialNumber : Report "serialNumber", v
  v = Empty : v = c.ICCardID : Report "ICCardID", v
  v = Empty : v = c.issuerName : Report "issuerName", v
  v = Empty : v = c.subjectName : Report "subjectName", v
  v = Empty : v = c.name : Report "name", v
  v = Empty : v = c.idno : Report "idno", v
  v = Empty : v = c.usage : Report "usage", v
  v = Empty : v = c.email : Report "email", v
  v = Empty : v = c.notBefore : Report "notBefore", v
  v = Empty : v = c.notAfter : Report "notAfter", v
  v = Empty : v = c.cardIssType : Report "cardIssType", v
  c.checkPin "1234" : Done "checkPin 1234"
  c.checkPin 1234 : Done "checkPin number"
  c.checkPin "0000" : Done "checkPin 0000"
  c.checkPin Null : Done "checkPin Null"
  c.checkCard "1234" : Done "checkCard 1234"
  c.checkCard "0000" : Done "checkCard 0000"
  v = Empty : v = c.ver : Report "ver", v
End Sub

' What needs no card: the proxy properties, ver, the missing default member
' and the read-only properties.
Sub MembersPart(c)
  Dim v
  On Error Resume Next
  v = Empty : v = c.ver : Report "ver", v
  c.proxyServer = "proxy.example" : Done "proxyServer ="
  c.proxyPort = 3128 : Done "proxyPort ="
  c.proxyUser = "user" : Done "proxyUser ="
  c.proxyPass = 42 : Done "proxyPass ="
  v = Empty : v = c.proxyServer : Report "proxyServer", v
  v = Empty : v = c.proxyPort : Report "proxyPort", v
  v = Empty : v = c.proxyUser : Report "proxyUser", v
  v = Empty : v = c.proxyPass : Report "proxyPass", v
  c.proxyPort = -1 : v = Empty : v = c.proxyPort : Report "proxyPort = -1", v
  c.proxyPort = 0 : v = Empty : v = c.proxyPort : Report "proxyPort = 0", v
  c.proxyPort = "abc" : Done "proxyPort = ""abc"""
  c.proxyServer = Null : Done "proxyServer = Null"
  v = Empty : v = c.proxyServer : Report "proxyServer kept", v
  ' No default member: reading the object's value fails.
  v = Empty : v = c : Report "default member", v
  c.ver = "4.0" : Done "ver = ""4.0"""
  c.name = "x" : Done "name = ""x"""
  v = Empty : v = c.ver : Report "ver after", v
End Sub

' Validation against the local service, directly and through the test
' proxy, whose port and credentials come from the environment.
Sub XkmsPart(c)
  Dim env
  On Error Resume Next
  Set env = CreateObject("WScript.Shell").Environment("PROCESS")
  c.checkXKMS : Done "checkXKMS"
  c.proxyServer = "127.0.0.1"
  c.proxyPort = CLng(env("QELT_PROXY_PORT"))
  c.proxyUser = env("QELT_PROXY_USER")
  c.proxyPass = env("QELT_PROXY_PASSWORD")
  c.checkXKMS : Done "checkXKMS through the proxy"
  c.proxyPass = "wrong"
  c.proxyServer = ""
  c.checkXKMS : Done "checkXKMS, proxy off"
End Sub

' Each part goes on after a failure (On Error holds within a procedure).
Dim control
Set control = CreateObject(ProgID)
Select Case WScript.Arguments(1)
  Case "card" : CardPart control
  Case "members" : MembersPart control
  Case "xkms" : XkmsPart control
End Select
WScript.Echo "done"
