// Helpers shared by the mime tests: sending a message as the SMTP layer
// would, cutting texts into lines, checking the part tree, test files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/TMailMessageVrex.h"

namespace MimeTest {

// Rebuild, then the text the SMTP layer transmits.
std::string Sent(MailVrex::TMailMessageVrex& message);

// The lines of a CR LF text, without their line ends; fails the test when a
// lone CR or LF is found or the last line lacks its CR LF (unless
// lastLineOpen, for a body that ends without one).
std::vector<std::string> LinesOf(std::string_view text, bool lastLineOpen = false);

// Every reference in the tree, the attachment list and the role fields points
// to the message or to a part it owns; parents and children agree; the
// message stands nowhere below itself.
void ExpectTreeSound(const MailVrex::TMailMessageVrex& message);

// Every byte value once, repeated to the given size.
std::string ByteRamp(std::size_t size);

// A file in the temporary folder, removed again with the object.
class TempFile {
 public:
  TempFile(std::string_view name, std::string_view content);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace MimeTest
