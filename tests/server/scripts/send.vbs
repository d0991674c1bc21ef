' Sends the test message through Pellam.SMTP as a page script would, as often as asked, and
' prints each result and status with its line ends made visible. Arguments: host port authType
' attachment subject times. The last line marks that the script ran to its end, since an
' unhandled error would still end it with exit code 0.
Option Explicit

' VBScript writes a Boolean in the words of the system's locale.
Function BooleanText(value)
  If VarType(value) <> vbBoolean Then
    BooleanText = "other " & TypeName(value)
  ElseIf value Then
    BooleanText = "True"
  Else
    BooleanText = "False"
  End If
End Function

Function Visible(text)
  Visible = Replace(Replace(text, vbCr, "\r"), vbLf, "\n")
End Function

Dim args, mail, result, i
Set args = WScript.Arguments
Set mail = CreateObject("Pellam.SMTP")
mail.OnStartPage Nothing
mail.Host = args(0)
mail.Port = args(1)
mail.AuthType = CInt(args(2))
mail.UserName = "pellam"
mail.PassWord = "secret"
mail.From = "Sender Name <sender@example.org>"
mail.To = "To Person <to@example.org>"
mail.Cc = "cc@example.org"
mail.Bcc = "bcc1@example.org" & vbCrLf & "bcc2@example.org"
mail.Subject = args(4)
mail.TextBody = "Plain line one" & vbCrLf & "line two"
mail.HtmlBody = "<p>Html body</p>"
mail.Signature = "-- Signature"
mail.Attachment = args(3)
For i = 1 To CInt(args(5))
  result = mail.SendMail
  WScript.Echo "Result=" & BooleanText(result)
  WScript.Echo "Status=" & Visible(mail.Status)
Next
mail.OnEndPage
WScript.Echo "SCRIPT-END"
