// The scripting object's stored values and its sending flow.
#include "automation/TSMTPCore.h"

#include <algorithm>

#include "automation/FixedTexts.h"
#include "mail/codec/StringList.h"
#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "platform/Files.h"

namespace SMTPUnit {
namespace {

using MailVrex::TMailMessageVrex;
using MailVrex::TMailRecipients;

constexpr std::string_view kNoSender = "Cannot send without sender information ..";
constexpr std::string_view kNoRecipient = "Cannot send without recipient to information ..";
constexpr std::string_view kNoAttachment = "Cannot find attachment file: ";
constexpr std::string_view kNoHost = "You must fill in the SMTP host name!";
constexpr std::string_view kNoPort = "You must fill in the SMTP prot number!";
constexpr std::string_view kHtml = "text/html";
constexpr std::string_view kPlain = "text/plain";

// Whether the text is empty once every byte of code 32 or less is trimmed from its ends.
bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char ch) { return static_cast<unsigned char>(ch) <= 0x20; });
}

// A list value ends at its first NUL.
std::vector<std::string> LinesOf(std::string_view text) {
  return MailVrex::SplitLines(text.substr(0, text.find('\0')));
}

// Each line gives one recipient: the first entry of the line. A blank line names nobody, and
// sending to an empty address would be refused by every server.
void AddRecipients(const std::vector<std::string>& lines, TMailRecipients& list) {
  for (const std::string& line : lines) {
    if (IsBlank(line)) continue;
    list.Add(TMailMessageVrex::NameInList(line, 0), TMailMessageVrex::AddressInList(line, 0));
  }
}

// The body's lines with the signature, when there is one, and the footer after them; copies, so
// that a second send adds them once again and not twice.
std::string BodyText(std::vector<std::string> lines, const std::string& signature,
                     const std::string& footer) {
  if (!IsBlank(signature)) lines.push_back(signature);
  lines.push_back(footer);
  return MailVrex::JoinLines(lines);
}

}  // namespace

TCodePageTexts GbkTexts() {
  return {"gb2312", std::string(kNoSubjectGbk), std::string(kNoContentGbk)};
}

TNoWorkingState::TNoWorkingState()
    : MailError(
          "The object has no working state: call OnStartPage first (a script outside a page "
          "calls OnStartPage Nothing)") {}

// The working state of one page. The SMTP component, declared after the message it refers to, is
// destroyed before it.
struct TSMTPCore::TPage {
  std::vector<std::string> to, cc, bcc, textBody, htmlBody, attachment, status;
  TMailMessageVrex message;
  MailVrex::TSMTPVrex smtp;
  std::int32_t port = 25;
  std::int32_t authType = 0;
  std::int32_t priority = 2;
  std::string_view contentType = kPlain;
  std::string signature;
  std::string textFooter = TextFooter();
  std::string htmlFooter = HtmlFooter();
  std::string noticeText = NoticeText();
  TCodePageTexts texts;

  explicit TPage(const TCodePageTexts& codePageTexts) : texts(codePageTexts) {
    message.Charset = texts.Charset;
    smtp.MailMessage = &message;
  }
};

TSMTPCore::TSMTPCore() = default;
TSMTPCore::~TSMTPCore() = default;

void TSMTPCore::StartPage(const TCodePageTexts& texts) {
  page_.reset();
  page_ = std::make_unique<TPage>(texts);
}

void TSMTPCore::EndPage() {
  page_.reset();
}

void TSMTPCore::RequireWorkingState() const {
  if (!page_) throw TNoWorkingState();
}

TSMTPCore::TPage& TSMTPCore::Page() const {
  RequireWorkingState();
  return *page_;
}

void TSMTPCore::SetHost(std::string value) {
  RequireWorkingState();
  host_ = std::move(value);
}

void TSMTPCore::SetPort(std::int32_t value) {
  Page().port = value;
}

void TSMTPCore::SetUserName(std::string value) {
  RequireWorkingState();
  userName_ = std::move(value);
}

void TSMTPCore::SetPassWord(std::string value) {
  RequireWorkingState();
  passWord_ = std::move(value);
}

void TSMTPCore::SetAuthType(std::int32_t value) {
  Page().authType = value == 0 || value == 1 ? value : 0;
}

void TSMTPCore::SetPriority(std::int32_t value) {
  Page().priority = value >= 0 && value <= 4 ? value : 2;
}

void TSMTPCore::SetContentType(std::int32_t value) {
  Page().contentType = value == 1 ? kHtml : kPlain;
}

void TSMTPCore::SetFrom(std::string value) {
  RequireWorkingState();
  from_ = std::move(value);
}

void TSMTPCore::SetTo(std::string_view text) {
  Page().to = LinesOf(text);
}

void TSMTPCore::SetCc(std::string_view text) {
  Page().cc = LinesOf(text);
}

void TSMTPCore::SetBcc(std::string_view text) {
  Page().bcc = LinesOf(text);
}

void TSMTPCore::SetSubject(std::string value) {
  RequireWorkingState();
  subject_ = std::move(value);
}

void TSMTPCore::SetTextBody(std::string_view text) {
  Page().textBody = LinesOf(text);
}

void TSMTPCore::SetHtmlBody(std::string_view text) {
  Page().htmlBody = LinesOf(text);
}

void TSMTPCore::SetAttachment(std::string_view text) {
  Page().attachment = LinesOf(text);
}

void TSMTPCore::SetSignature(std::string value) {
  Page().signature = std::move(value);
}

std::string TSMTPCore::Status() const {
  return MailVrex::JoinLines(Page().status);
}

std::string TSMTPCore::CopyRight() const {
  return Page().noticeText;
}

bool TSMTPCore::SendMail() {
  TPage& page = Page();
  page.status.clear();
  ComposeMessage(page);
  PrepareSmtp(page);
  if (!page.status.empty()) return false;
  return Deliver(page);
}

// The checks run among the composition, each adding its complaint, so that one call collects
// every complaint in the order of the header, the files and the server.
void TSMTPCore::ComposeMessage(TPage& page) {
  TMailMessageVrex& message = page.message;
  message.Reset();
  message.SetPriority(page.priority);
  if (!IsBlank(from_)) {
    message.SetFrom(TMailMessageVrex::NameInList(from_, 0),
                    TMailMessageVrex::AddressInList(from_, 0));
  } else {
    page.status.emplace_back(kNoSender);
  }
  if (!IsBlank(MailVrex::JoinLines(page.to))) {
    AddRecipients(page.to, message.ToList);
  } else {
    page.status.emplace_back(kNoRecipient);
  }
  AddRecipients(page.cc, message.CcList);
  AddRecipients(page.bcc, message.BccList);
  message.SetSubject(IsBlank(subject_) ? page.texts.NoSubject : subject_);
  AddBodies(page);
  AddAttachments(page);
}

void TSMTPCore::AddBodies(TPage& page) {
  std::vector<std::string> html = page.htmlBody;
  if (page.contentType == kHtml && html.empty()) html.push_back(page.texts.NoContent);
  std::vector<std::string> plain = page.textBody;
  if (page.contentType == kPlain && plain.empty()) plain.push_back(page.texts.NoContent);
  if (!plain.empty()) {
    page.message.SetTextBody(BodyText(std::move(plain), page.signature, page.textFooter));
  }
  if (!html.empty()) {
    page.message.SetHtmlBody(BodyText(std::move(html), page.signature, page.htmlFooter));
  }
}

void TSMTPCore::AddAttachments(TPage& page) {
  for (const std::string& path : page.attachment) {
    if (platform::IsExistingFile(path)) {
      page.message.AttachFile(path, "", MailVrex::TEncodingType::etBase64, false);
    } else {
      page.status.push_back(std::string(kNoAttachment) + path);
    }
  }
}

void TSMTPCore::PrepareSmtp(TPage& page) {
  MailVrex::TSMTPVrex& smtp = page.smtp;
  if (IsBlank(host_)) {
    page.status.emplace_back(kNoHost);
  } else {
    smtp.Host = host_;
  }
  if (page.port != 0) {
    smtp.Port = page.port;
  } else {
    page.status.emplace_back(kNoPort);
  }
  if (!IsBlank(userName_)) smtp.UserName = userName_;
  if (!IsBlank(passWord_)) smtp.PassWord = passWord_;
  smtp.AuthType = page.authType == 1 ? MailVrex::TAuthenticationType::atLogin
                                     : MailVrex::TAuthenticationType::atNone;
}

bool TSMTPCore::Deliver(TPage& page) {
  MailVrex::TSMTPVrex& smtp = page.smtp;
  // The previous send leaves its connection open; each send makes its own.
  if (smtp.Connected()) smtp.Disconnect();
  if (!smtp.Connect()) {
    smtp.Disconnect();
    page.status.push_back(smtp.LastReply());
    return false;
  }
  page.status.push_back(smtp.LastReply());
  if (page.message.NeedRebuild) page.message.Rebuild();
  const bool sent = smtp.SendMessage();
  page.status.push_back(smtp.LastReply());
  return sent;
}

}  // namespace SMTPUnit
