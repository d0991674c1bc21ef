// The scripting object without COM: the values a script stored, the checks of SendMail with their
// complaint lines, and the composition and delivery of one message through the message and SMTP
// components. TSMTP converts the script's VARIANTs and hands them here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/codec/MailError.h"

namespace SMTPUnit {

// The texts that follow the system's ANSI code page, in that code page.
struct TCodePageTexts {
  std::string Charset;    // the MIME name of the code page
  std::string NoSubject;  // "无主题"
  std::string NoContent;  // "无内容"
};

// The texts of code page 936, in which the placeholders are written.
TCodePageTexts GbkTexts();

// Raised by every member but StartPage while there is no working state.
class TNoWorkingState : public MailVrex::MailError {
 public:
  TNoWorkingState();
};

class TSMTPCore {
 public:
  TSMTPCore();
  ~TSMTPCore();
  TSMTPCore(const TSMTPCore&) = delete;
  TSMTPCore& operator=(const TSMTPCore&) = delete;

  // The lists and the two components live from StartPage to EndPage; a second StartPage begins
  // afresh. From, Subject, Host, UserName and PassWord are kept across pages.
  void StartPage(const TCodePageTexts& texts);
  void EndPage();
  bool HasWorkingState() const { return page_ != nullptr; }
  // Throws TNoWorkingState when there is none.
  void RequireWorkingState() const;

  void SetHost(std::string value);
  void SetPort(std::int32_t value);
  void SetUserName(std::string value);
  void SetPassWord(std::string value);
  // 0 and 1; any other value stores 0.
  void SetAuthType(std::int32_t value);
  // 0 to 4; any other value stores 2.
  void SetPriority(std::int32_t value);
  // 1 stores "text/html", every other value "text/plain".
  void SetContentType(std::int32_t value);
  void SetFrom(std::string value);
  // The list values: the text up to its first NUL, split into lines.
  void SetTo(std::string_view text);
  void SetCc(std::string_view text);
  void SetBcc(std::string_view text);
  void SetSubject(std::string value);
  void SetTextBody(std::string_view text);
  void SetHtmlBody(std::string_view text);
  // One file path a line.
  void SetAttachment(std::string_view text);
  void SetSignature(std::string value);

  // Complains in Status about missing input, or composes and sends one message; true only when
  // the server accepted it. Exceptions of the components pass on; Status keeps what it has then.
  bool SendMail();
  // The lines of the last SendMail, each followed by CR LF.
  std::string Status() const;
  std::string CopyRight() const;

 private:
  struct TPage;
  TPage& Page() const;
  void ComposeMessage(TPage& page);
  void AddBodies(TPage& page);
  void AddAttachments(TPage& page);
  void PrepareSmtp(TPage& page);
  bool Deliver(TPage& page);

  std::string from_;
  std::string subject_;
  std::string host_;
  std::string userName_;
  std::string passWord_;
  std::unique_ptr<TPage> page_;
};

}  // namespace SMTPUnit
