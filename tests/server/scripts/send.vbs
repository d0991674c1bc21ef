' Drives Pellam.SMTP as a page script would, one step an argument:
'   Name=text     puts the text into the property; {cr} and {lf} stand for CR and LF
'   Name#=number  puts the number
'   SendMail      calls SendMail and prints "Result=" and "Status=", with {cr} and {lf}
' A failing step prints "Error=" and the error's description, and the script goes on. The last
' line marks that the script ran to its end, since an unhandled error would still exit with 0.
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
  Visible = Replace(Replace(text, vbCr, "{cr}"), vbLf, "{lf}")
End Function

Sub Put(mail, name, value)
  Select Case name
    Case "Host": mail.Host = value
    Case "Port": mail.Port = value
    Case "UserName": mail.UserName = value
    Case "PassWord": mail.PassWord = value
    Case "AuthType": mail.AuthType = value
    Case "Priority": mail.Priority = value
    Case "ContentType": mail.ContentType = value
    Case "From": mail.From = value
    Case "To": mail.To = value
    Case "Cc": mail.Cc = value
    Case "Bcc": mail.Bcc = value
    Case "Subject": mail.Subject = value
    Case "TextBody": mail.TextBody = value
    Case "HtmlBody": mail.HtmlBody = value
    Case "Attachment": mail.Attachment = value
    Case "Signature": mail.Signature = value
    Case Else: Err.Raise 438, "send.vbs", "no property " & name
  End Select
End Sub

Sub RunStep(mail, argument)
  Dim at, name, value
  If argument = "SendMail" Then
    ' A failing call leaves this sub here, for the caller to report.
    value = mail.SendMail
    WScript.Echo "Result=" & BooleanText(value)
    WScript.Echo "Status=" & Visible(mail.Status)
  Else
    at = InStr(argument, "=")
    name = Left(argument, at - 1)
    value = Replace(Replace(Mid(argument, at + 1), "{cr}", vbCr), "{lf}", vbLf)
    If Right(name, 1) = "#" Then
      Put mail, Left(name, Len(name) - 1), CLng(value)
    Else
      Put mail, name, value
    End If
  End If
End Sub

Dim mail, i
Set mail = CreateObject("Pellam.SMTP")
mail.OnStartPage Nothing
On Error Resume Next
For i = 0 To WScript.Arguments.Count - 1
  RunStep mail, WScript.Arguments(i)
  If Err.Number <> 0 Then WScript.Echo "Error=" & Err.Description
  Err.Clear
Next
mail.OnEndPage
WScript.Echo "SCRIPT-END"
