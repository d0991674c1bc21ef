// The text that follows DATA: the message with canonical line ends, SMTP transparency and the
// end-of-data line.
#include "mail/smtp/DataText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace MailVrex {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kExtraDot = ".";
constexpr std::string_view kEndOfData = ".\r\n";
constexpr std::string_view kLineBreakAndEndOfData = "\r\n.\r\n";

}  // namespace

DataTextReader::DataTextReader(std::string_view header, std::string_view body)
    : header_(header), body_(body), size_(header.size() + body.size()) {
  nextCr_ = Find('\r', 0);
  nextLf_ = Find('\n', 0);
  // The same walk, counted only, announces the size.
  DataTextReader counter(*this);
  total_ = counter.Produce(nullptr, std::numeric_limits<std::size_t>::max());
}

char DataTextReader::At(std::size_t at) const {
  return at < header_.size() ? header_[at] : body_[at - header_.size()];
}

std::string_view DataTextReader::RunFrom(std::size_t at) const {
  return at < header_.size() ? header_.substr(at) : body_.substr(at - header_.size());
}

std::size_t DataTextReader::Find(char wanted, std::size_t from) const {
  while (from < size_) {
    const std::string_view run = RunFrom(from);
    const void* found = std::memchr(run.data(), wanted, run.size());
    if (found != nullptr)
      return from + static_cast<std::size_t>(static_cast<const char*>(found) - run.data());
    from += run.size();
  }
  return size_;
}

std::size_t DataTextReader::NextLineBreak(std::size_t from) {
  if (nextCr_ < from) nextCr_ = Find('\r', from);
  if (nextLf_ < from) nextLf_ = Find('\n', from);
  return std::min(nextCr_, nextLf_);
}

std::size_t DataTextReader::Produce(char* out, std::size_t room) {
  std::size_t written = 0;
  const auto write = [&](std::string_view bytes) {
    if (out != nullptr) std::memcpy(out + written, bytes.data(), bytes.size());
    written += bytes.size();
  };
  while (written < room) {
    if (!owed_.empty()) {
      const std::string_view piece = owed_.substr(0, room - written);
      write(piece);
      owed_.remove_prefix(piece.size());
      continue;
    }
    if (at_ == size_) {
      if (ended_) break;
      ended_ = true;
      owed_ = lineStart_ ? kEndOfData : kLineBreakAndEndOfData;
      continue;
    }
    if (lineStart_ && At(at_) == '.') {
      owed_ = kExtraDot;  // the dot itself follows in the run below
      lineStart_ = false;
      continue;
    }
    const std::size_t stop = NextLineBreak(at_);
    if (stop > at_) {
      const std::string_view run = RunFrom(at_).substr(0, std::min(stop - at_, room - written));
      write(run);
      at_ += run.size();
      lineStart_ = false;
      continue;
    }
    // One line break, whatever form it had; a CR LF may stand across header and body.
    at_ += At(at_) == '\r' && at_ + 1 < size_ && At(at_ + 1) == '\n' ? 2 : 1;
    owed_ = kLineBreak;
    lineStart_ = true;
  }
  return written;
}

std::string MakeDataText(std::string_view message) {
  DataTextReader reader({}, message);
  std::string data(reader.TotalSize(), '\0');
  data.resize(reader.Read(data.data(), data.size()));
  return data;
}

}  // namespace MailVrex
