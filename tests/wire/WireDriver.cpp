// Drives the scripting object without COM as send.vbs drives the registered component, one step
// an argument: Name=text (Name#=number), with {cr} and {lf} for CR and LF, or SendMail, which
// prints "Result=" and "Status=". A failing step prints "Error=" and the run goes on; the last
// line is SCRIPT-END. Texts are taken as the bytes given, in the code page of the messages.
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>

#include "automation/TSMTPCore.h"

namespace {

using SMTPUnit::TSMTPCore;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

std::string Visible(const std::string& text) {
  return Replaced(Replaced(text, "\r", "{cr}"), "\n", "{lf}");
}

void Put(TSMTPCore& core, const std::string& name, const std::string& value) {
  using Setter = std::function<void(const std::string&)>;
  const auto number = [&] { return static_cast<std::int32_t>(std::stol(value)); };
  const std::map<std::string, Setter> setters = {
      {"Host", [&](const std::string& v) { core.SetHost(v); }},
      {"Port", [&](const std::string&) { core.SetPort(number()); }},
      {"UserName", [&](const std::string& v) { core.SetUserName(v); }},
      {"PassWord", [&](const std::string& v) { core.SetPassWord(v); }},
      {"AuthType", [&](const std::string&) { core.SetAuthType(number()); }},
      {"Priority", [&](const std::string&) { core.SetPriority(number()); }},
      {"ContentType", [&](const std::string&) { core.SetContentType(number()); }},
      {"From", [&](const std::string& v) { core.SetFrom(v); }},
      {"To", [&](const std::string& v) { core.SetTo(v); }},
      {"Cc", [&](const std::string& v) { core.SetCc(v); }},
      {"Bcc", [&](const std::string& v) { core.SetBcc(v); }},
      {"Subject", [&](const std::string& v) { core.SetSubject(v); }},
      {"TextBody", [&](const std::string& v) { core.SetTextBody(v); }},
      {"HtmlBody", [&](const std::string& v) { core.SetHtmlBody(v); }},
      {"Attachment", [&](const std::string& v) { core.SetAttachment(v); }},
      {"Signature", [&](const std::string& v) { core.SetSignature(v); }},
  };
  const auto found = setters.find(name);
  if (found == setters.end()) throw std::runtime_error("no property " + name);
  found->second(value);
}

void RunStep(TSMTPCore& core, const std::string& argument) {
  if (argument == "SendMail") {
    const bool sent = core.SendMail();
    std::printf("Result=%s\n", sent ? "True" : "False");
    std::printf("Status=%s\n", Visible(core.Status()).c_str());
    return;
  }
  const std::size_t at = argument.find('=');
  std::string name = argument.substr(0, at);
  if (name.ends_with('#')) name.pop_back();
  Put(core, name, Replaced(Replaced(argument.substr(at + 1), "{cr}", "\r"), "{lf}", "\n"));
}

}  // namespace

int main(int argc, char** argv) {
  TSMTPCore core;
  core.StartPage(SMTPUnit::GbkTexts());
  for (int i = 1; i < argc; ++i) {
    try {
      RunStep(core, argv[i]);
    } catch (const std::exception& error) {
      std::printf("Error=%s\n", error.what());
    }
  }
  core.EndPage();
  std::printf("SCRIPT-END\n");
  return 0;
}
