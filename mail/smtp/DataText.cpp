// The text that follows DATA: the message with canonical line ends, SMTP transparency and the
// end-of-data line.
#include "mail/smtp/DataText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace MailVrex {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kStuffedDot = "..";
constexpr std::string_view kEndOfData = ".\r\n";
constexpr std::string_view kLineBreakAndEndOfData = "\r\n.\r\n";

}  // namespace

DataTextReader::DataTextReader(std::string_view header, std::string_view body)
    : header_(header), body_(body), size_(header.size() + body.size()) {
  nextCr_ = Find('\r', 0);
  nextLf_ = Find('\n', 0);
  nextDot_ = Find('.', 0);
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

// Canonical CR LF pairs and dots inside lines go out as they are, in the runs
// between: only a lone CR, a lone LF or a dot that begins a line needs doing.
std::size_t DataTextReader::NextToChange(std::size_t from) {
  for (;;) {
    if (nextCr_ < from) nextCr_ = Find('\r', from);
    if (nextLf_ < from) nextLf_ = Find('\n', from);
    if (nextDot_ < from) nextDot_ = Find('.', from);
    const std::size_t at = std::min({nextCr_, nextLf_, nextDot_});
    if (at == size_) return size_;
    if (at == nextCr_) {
      if (at + 1 == size_ || At(at + 1) != '\n') return at;
      nextCr_ = Find('\r', at + 1);  // a pair: its LF is no lone LF either
      if (nextLf_ == at + 1) nextLf_ = Find('\n', at + 2);
    } else if (at == nextLf_) {
      if (at == 0 || At(at - 1) != '\r') return at;
      nextLf_ = Find('\n', at + 1);
    } else {
      if (at == 0 || At(at - 1) == '\r' || At(at - 1) == '\n') return at;
      nextDot_ = Find('.', at + 1);
    }
  }
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
      // A last line break, whatever its form, has gone out as CR LF.
      const bool lineEnded = size_ == 0 || At(size_ - 1) == '\r' || At(size_ - 1) == '\n';
      owed_ = lineEnded ? kEndOfData : kLineBreakAndEndOfData;
      continue;
    }
    const std::size_t stop = NextToChange(at_);
    if (stop > at_) {
      const std::string_view run = RunFrom(at_).substr(0, std::min(stop - at_, room - written));
      write(run);
      at_ += run.size();
      continue;
    }
    owed_ = At(at_) == '.' ? kStuffedDot : kLineBreak;
    ++at_;
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
