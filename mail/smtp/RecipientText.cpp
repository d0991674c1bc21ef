// Reads the comma-separated recipient text of a send into the sorted, duplicate-free list of
// envelope addresses that RCPT TO walks.
#include "mail/smtp/RecipientText.h"

#include <algorithm>

#include "mail/codec/TextUtil.h"

namespace MailVrex {
namespace {

constexpr char kQuote = '"';
constexpr char kDelimiter = ',';

// Blanks and control bytes stand between the items of a comma text.
bool IsBlankOrControl(char ch) {
  return static_cast<unsigned char>(ch) <= ' ';
}

void SkipSeparators(std::string_view text, std::size_t& at) {
  while (at < text.size() && IsBlankOrControl(text[at])) ++at;
}

// From the opening quote at `at` to the matching closing one, or to the end when none closes it.
std::string TakeQuotedItem(std::string_view text, std::size_t& at) {
  std::string item;
  ++at;
  while (at < text.size()) {
    const char ch = text[at++];
    if (ch != kQuote) {
      item.push_back(ch);
    } else if (at < text.size() && text[at] == kQuote) {
      item.push_back(kQuote);
      ++at;
    } else {
      break;
    }
  }
  return item;
}

std::string TakePlainItem(std::string_view text, std::size_t& at) {
  const std::size_t begin = at;
  while (at < text.size() && !IsBlankOrControl(text[at]) && text[at] != kDelimiter) ++at;
  return std::string(text.substr(begin, at - begin));
}

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t at = 0;
  SkipSeparators(text, at);
  while (at < text.size()) {
    items.push_back(text[at] == kQuote ? TakeQuotedItem(text, at) : TakePlainItem(text, at));
    SkipSeparators(text, at);
    if (at < text.size() && text[at] == kDelimiter) {
      if (at + 1 == text.size()) items.emplace_back();
      ++at;
      SkipSeparators(text, at);
    }
  }
  return items;
}

std::vector<std::string> SortedRecipients(std::string_view text) {
  std::vector<std::string> sorted;
  const auto less = [](const std::string& a, const std::string& b) {
    return CompareIgnoringAsciiCase(a, b) < 0;
  };
  for (std::string& item : SplitCommaText(text)) {
    const auto place = std::lower_bound(sorted.begin(), sorted.end(), item, less);
    if (place != sorted.end() && CompareIgnoringAsciiCase(*place, item) == 0) continue;
    sorted.insert(place, std::move(item));
  }
  return sorted;
}

}  // namespace MailVrex
