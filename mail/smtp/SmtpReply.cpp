// Reply-line rules of RFC 5321 section 4.2.1 that tell a finished SMTP reply from one still
// arriving.
#include "mail/smtp/SmtpReply.h"

namespace MailVrex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsDigit(char ch) {
  return ch >= '0' && ch <= '9';
}

bool BeginsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

}  // namespace

std::string_view LastReplyLine(std::string_view reply) {
  if (!reply.ends_with(kLineEnd)) return {};
  reply.remove_suffix(kLineEnd.size());
  const std::size_t previousEnd = reply.rfind(kLineEnd);
  if (previousEnd == std::string_view::npos) return reply;
  return reply.substr(previousEnd + kLineEnd.size());
}

bool IsFinalReplyLine(std::string_view line) {
  return BeginsWithCode(line) && (line.size() == 3 || line[3] == ' ');
}

bool IsContinuationLine(std::string_view line) {
  return BeginsWithCode(line) && line.size() > 3 && line[3] == '-';
}

bool IsReplyComplete(std::string_view reply) {
  return reply.ends_with(kLineEnd) && !IsContinuationLine(LastReplyLine(reply));
}

int FinalReplyCode(std::string_view line) {
  if (!IsFinalReplyLine(line)) return -1;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace MailVrex
