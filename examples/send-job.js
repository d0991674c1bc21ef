// A scheduled job that mails a report file, run by the Task Scheduler as
//   cscript //nologo send-job.js
// (the 32-bit component needs C:\Windows\SysWOW64\cscript.exe on 64-bit Windows).
// It prints Result and Status and exits with 0 when the server took the message, 1 otherwise,
// so that the scheduler's history shows a failed run.

// ---- Change these: your mail server, its account, the people and the report ---------------
var SMTP_HOST = "mail.example.com";
var SMTP_PORT = 25;
var SMTP_USER = "";                 // empty: no authentication (HELO)
var SMTP_PASSWORD = "";
var MAIL_FROM = "Reports <reports@example.com>";
var MAIL_SUBJECT = "Daily report";
var REPORT_FILE = "C:\\Reports\\daily.csv";  // a JScript string doubles each backslash
// ------------------------------------------------------------------------------------------

var mail = new ActiveXObject("Pellam.SMTP");
// Outside a page nobody else calls OnStartPage; without it every other member fails.
mail.OnStartPage(null);

mail.Host = SMTP_HOST;
mail.Port = SMTP_PORT;
if (SMTP_USER != "") {
  mail.AuthType = 1;                // EHLO, then AUTH CRAM-MD5 or AUTH LOGIN
  mail.UserName = SMTP_USER;
  mail.PassWord = SMTP_PASSWORD;
}
mail.From = MAIL_FROM;
// One recipient a line: "a, b" on one line would reach only a.
mail.To = ["Operations <ops@example.com>", "backup@example.com"].join("\r\n");
mail.Bcc = "archive@example.com";  // in the envelope only, never in the header
mail.Subject = MAIL_SUBJECT;
mail.TextBody = "The report of " + new Date().toDateString() + " is attached.";
mail.Attachment = REPORT_FILE;     // one path a line; a missing file stops the send

// A member that fails throws; SendMail's own verdict is its result.
var sent = false;
try {
  sent = mail.SendMail();
} catch (error) {
  WScript.Echo("Error: " + error.description);
  WScript.Quit(1);
}
WScript.Echo("Result: " + (sent ? "True" : "False"));
// The complaints about missing values, or the server's last replies.
WScript.Echo("Status:\r\n" + mail.Status);
mail.OnEndPage();
WScript.Quit(sent ? 0 : 1);
