// Drives Pellam.SMTP as a page script would, one step an argument:
//   Name=text     puts the text into the property; {cr} and {lf} stand for CR and LF
//   Name#=number  puts the number
//   SendMail      calls SendMail and prints "Result=" and "Status=", with {cr} and {lf}
// A failing step prints "Error=" and the error's description, and the script goes on. The last
// line marks that the script ran to its end.
function visible(text) {
  return text.replace(/\r/g, "{cr}").replace(/\n/g, "{lf}");
}

function runStep(mail, argument) {
  if (argument == "SendMail") {
    var result = mail.SendMail();
    WScript.Echo("Result=" + (result === true ? "True" : result === false ? "False" : "other " + result));
    WScript.Echo("Status=" + visible(mail.Status));
    return;
  }
  var at = argument.indexOf("=");
  var name = argument.substring(0, at);
  var value = argument.substring(at + 1).replace(/\{cr\}/g, "\r").replace(/\{lf\}/g, "\n");
  if (name.charAt(name.length - 1) == "#") {
    mail[name.substring(0, name.length - 1)] = parseInt(value, 10);
  } else {
    mail[name] = value;
  }
}

var args = WScript.Arguments;
var mail = new ActiveXObject("Pellam.SMTP");
mail.OnStartPage(null);
for (var i = 0; i < args.length; i++) {
  try {
    runStep(mail, args(i));
  } catch (error) {
    WScript.Echo("Error=" + error.description);
  }
}
mail.OnEndPage();
WScript.Echo("SCRIPT-END");
