// Hands every message text the tests produce to the independent MIME parser:
// each text is written with the tree the test expects, and a Python checker
// reads them back (when PELLAM_MIME_CORPUS names a folder).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace MimeTest {

struct ExpectedPart {
  std::string Type;         // media type in lower case
  std::string Charset;      // expected "charset" parameter, empty for none
  std::string Content;      // decoded content of a leaf, byte for byte
  std::string FileName;     // decoded file name, bytes in the message charset
  std::string Disposition;  // "inline", "attachment" or empty when absent
  std::string ContentId;    // expected Content-ID, empty when absent
  std::vector<ExpectedPart> Children;
};

ExpectedPart Text(std::string_view type, std::string_view content,
                  std::string_view charset = "gb2312");
ExpectedPart File(std::string_view type, std::string_view content, std::string_view fileName,
                  std::string_view disposition = "attachment");
ExpectedPart Multipart(std::string_view type, std::vector<ExpectedPart> children);

struct ExpectedAddress {
  std::string Name;  // decoded display name
  std::string Address;
};

struct ExpectedMessage {
  ExpectedPart Tree;
  std::string Charset = "gb2312";
  std::string Subject;  // decoded; empty when not checked
  std::vector<ExpectedAddress> From;
  std::vector<ExpectedAddress> To;
};

// Writes name.eml and name.json into the corpus folder; does nothing when no
// folder is configured (single test cases run by CTest).
void Record(std::string_view name, const std::string& messageText, const ExpectedMessage& expected);

}  // namespace MimeTest
