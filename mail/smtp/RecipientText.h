// Reads the comma-separated recipient text of a send into the sorted, duplicate-free list of
// envelope addresses that RCPT TO walks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace MailVrex {

// Items in the order and form written: blanks and control bytes separate items and are skipped
// around commas; a double-quoted item may hold anything, a doubled quote standing for one; a comma
// that ends the text adds an empty item. NUL separates like a blank.
std::vector<std::string> SplitCommaText(std::string_view text);

// The items of `text` in ascending order ignoring ASCII case; an item equal to an earlier one in
// that comparison is dropped (the earlier stays). ASCII rather than the system locale's collation:
// order and duplicates then come out the same on every platform and in every code page, and
// envelope addresses are ASCII wherever the two could differ.
std::vector<std::string> SortedRecipients(std::string_view text);

}  // namespace MailVrex
