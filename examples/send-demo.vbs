' The demo's message (scripts/demo runs it): plain and HTML bodies, a Cc and a Bcc recipient,
' an attached file, and a subject and sender name that may hold any character of the system's
' ANSI code page.
'   cscript //nologo send-demo.vbs HOST PORT USER PASSWORD FROM TO CC BCC ATTACHMENT SUBJECT
' An empty USER sends without authentication (HELO). The texts come from the command line
' because a script file is read in the ANSI code page, and Wine's VBScript has no ChrW to
' write other characters; a page on a server with that code page writes them directly.
' Prints Result and Status; exits with 0 when the server took the message, 1 otherwise.
Option Explicit

Dim args, mail, sent
Set args = WScript.Arguments
If args.Count <> 10 Then
  WScript.Echo "usage: cscript send-demo.vbs HOST PORT USER PASSWORD FROM TO CC BCC ATTACHMENT SUBJECT"
  WScript.Quit 2
End If

Set mail = CreateObject("Pellam.SMTP")
mail.OnStartPage Nothing            ' a page's host calls it itself
mail.Host = args(0)
mail.Port = args(1)                 ' a text converts as a number would
If args(2) <> "" Then
  mail.AuthType = 1                 ' EHLO, then AUTH CRAM-MD5 or AUTH LOGIN
  mail.UserName = args(2)
  mail.PassWord = args(3)
End If
mail.From = args(4)                 ' Display Name <address>
mail.To = args(5)
mail.Cc = args(6)
mail.Bcc = args(7)
mail.Attachment = args(8)
mail.Subject = args(9)
mail.TextBody = "Hello from Pellam SMTP." & vbCrLf & _
                "This is the plain-text body; the HTML body is its alternative." & vbCrLf & _
                "." & vbCrLf & _
                "The line above is a single dot, and it arrives as one."
mail.HtmlBody = "<h1>Hello from Pellam SMTP</h1>" & vbCrLf & _
                "<p>This is the <b>HTML</b> body.</p>"
mail.Signature = "-- The Pellam SMTP demo"

On Error Resume Next
sent = mail.SendMail
If Err.Number <> 0 Then
  WScript.Echo "Error: " & Err.Description
  WScript.Quit 1
End If
On Error GoTo 0

If sent Then WScript.Echo "Result: True" Else WScript.Echo "Result: False"
WScript.Echo "Status:" & vbCrLf & mail.Status
mail.OnEndPage
If sent Then WScript.Quit 0 Else WScript.Quit 1
