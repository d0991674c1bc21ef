' A scheduled job that mails a report file, run by the Task Scheduler as
'   cscript //nologo send-job.vbs
' (the 32-bit component needs C:\Windows\SysWOW64\cscript.exe on 64-bit Windows).
' It prints Result and Status and exits with 0 when the server took the message, 1 otherwise,
' so that the scheduler's history shows a failed run.
Option Explicit

' ---- Change these: your mail server, its account, the people and the report --------------
Const SMTP_HOST = "mail.example.com"
Const SMTP_PORT = 25
Const SMTP_USER = ""                ' empty: no authentication (HELO)
Const SMTP_PASSWORD = ""
Const MAIL_FROM = "Reports <reports@example.com>"
Const MAIL_SUBJECT = "Daily report"
Const REPORT_FILE = "C:\Reports\daily.csv"
' -----------------------------------------------------------------------------------------

Dim mail, sent
Set mail = CreateObject("Pellam.SMTP")
' Outside a page nobody else calls OnStartPage; without it every other member fails.
mail.OnStartPage Nothing

mail.Host = SMTP_HOST
mail.Port = SMTP_PORT
If SMTP_USER <> "" Then
  mail.AuthType = 1                 ' EHLO, then AUTH CRAM-MD5 or AUTH LOGIN
  mail.UserName = SMTP_USER
  mail.PassWord = SMTP_PASSWORD
End If
mail.From = MAIL_FROM
' One recipient a line: "a, b" on one line would reach only a.
mail.To = "Operations <ops@example.com>" & vbCrLf & "backup@example.com"
mail.Bcc = "archive@example.com"   ' in the envelope only, never in the header
mail.Subject = MAIL_SUBJECT
mail.TextBody = "The report of " & Date & " is attached."
mail.Attachment = REPORT_FILE       ' one path a line; a missing file stops the send

' A member that fails raises a run-time error; SendMail's own verdict is its result.
On Error Resume Next
sent = mail.SendMail
If Err.Number <> 0 Then
  WScript.Echo "Error: " & Err.Description
  WScript.Quit 1
End If
On Error GoTo 0

If sent Then WScript.Echo "Result: True" Else WScript.Echo "Result: False"
' The complaints about missing values, or the server's last replies.
WScript.Echo "Status:" & vbCrLf & mail.Status
mail.OnEndPage
If sent Then WScript.Quit 0 Else WScript.Quit 1
