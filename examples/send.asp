<%@ Language="VBScript" %>
<%
' A contact form that mails what a visitor writes to the site's own address, through the
' Pellam.SMTP component. Change the five settings below; nothing else needs changing.
' The component must match the application pool: the 32-bit DLL for a pool with "Enable 32-bit
' Applications", the 64-bit one otherwise.
Option Explicit

' ---- Change these --------------------------------------------------------------------------
Const SMTP_HOST = "mail.example.com"
Const SMTP_PORT = 25
Const SMTP_USER = ""                ' empty: no authentication (HELO)
Const SMTP_PASSWORD = ""
Const SITE_ADDRESS = "Web site <webmaster@example.com>"  ' sender and recipient of every mail
' --------------------------------------------------------------------------------------------

Dim notice, sent, mail
notice = ""
If Request.ServerVariables("REQUEST_METHOD") = "POST" Then
  ' Server.CreateObject lets the host call OnStartPage and OnEndPage itself.
  Set mail = Server.CreateObject("Pellam.SMTP")
  mail.Host = SMTP_HOST
  mail.Port = SMTP_PORT
  If SMTP_USER <> "" Then
    mail.AuthType = 1
    mail.UserName = SMTP_USER
    mail.PassWord = SMTP_PASSWORD
  End If
  ' The visitor's words go into the subject and the body only: a form that lets a visitor
  ' choose the recipients turns the site into a relay for anybody's mail.
  mail.From = SITE_ADDRESS
  mail.To = SITE_ADDRESS
  mail.Subject = "Contact form: " & Request.Form("subject")
  mail.TextBody = "From: " & Request.Form("email") & vbCrLf & vbCrLf & Request.Form("message")

  ' A member that fails raises a run-time error (a value of the wrong kind, a file that cannot
  ' be read); missing values and a refusing server are SendMail's result and Status instead.
  On Error Resume Next
  sent = mail.SendMail
  If Err.Number <> 0 Then
    notice = "The mail component failed: " & Err.Description
  ElseIf sent Then
    notice = "Thank you, your message is on its way."
  Else
    ' Status holds the complaints, or the server's last replies, one a line.
    notice = "Your message could not be sent:" & vbCrLf & mail.Status
  End If
  On Error GoTo 0
  Set mail = Nothing
End If
%>
<!DOCTYPE html>
<html>
<head><title>Contact</title></head>
<body>
<% If notice <> "" Then %>
  <pre><%= Server.HTMLEncode(notice) %></pre>
<% End If %>
<form method="post" action="send.asp">
  <p><label>Your e-mail <input name="email" size="40"></label></p>
  <p><label>Subject <input name="subject" size="40"></label></p>
  <p><label>Message<br><textarea name="message" rows="8" cols="60"></textarea></label></p>
  <p><button type="submit">Send</button></p>
</form>
</body>
</html>
