// Sends the test message through Pellam.SMTP as a page script would, as often as asked, and
// prints each result and status with its line ends made visible. Arguments: host port authType
// attachment subject times. The last line marks that the script ran to its end.
function visible(text) {
  return text.replace(/\r/g, "\\r").replace(/\n/g, "\\n");
}

var args = WScript.Arguments;
var mail = new ActiveXObject("Pellam.SMTP");
mail.OnStartPage(null);
mail.Host = args(0);
mail.Port = args(1);
mail.AuthType = parseInt(args(2), 10);
mail.UserName = "pellam";
mail.PassWord = "secret";
mail.From = "Sender Name <sender@example.org>";
mail.To = "To Person <to@example.org>";
mail.Cc = "cc@example.org";
mail.Bcc = "bcc1@example.org\r\nbcc2@example.org";
mail.Subject = args(4);
mail.TextBody = "Plain line one\r\nline two";
mail.HtmlBody = "<p>Html body</p>";
mail.Signature = "-- Signature";
mail.Attachment = args(3);
for (var i = 0; i < parseInt(args(5), 10); i++) {
  var result = mail.SendMail();
  WScript.Echo("Result=" + (result === true ? "True" : result === false ? "False" : "other " + result));
  WScript.Echo("Status=" + visible(mail.Status));
}
mail.OnEndPage();
WScript.Echo("SCRIPT-END");
