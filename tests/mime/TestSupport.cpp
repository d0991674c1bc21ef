// Helpers shared by the mime tests.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace MimeTest {

using MailVrex::TMailMessageVrex;
using MailVrex::TMailPart;

std::string Sent(TMailMessageVrex& message) {
  message.Rebuild();
  return message.GetSourceText();
}

std::vector<std::string> LinesOf(std::string_view text, bool lastLineOpen) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      EXPECT_TRUE(lastLineOpen) << "last line has no CR LF";
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string_view::npos) << "lone line break";
    lines.emplace_back(line);
    start = end + 2;
  }
  return lines;
}

namespace {

void ExpectKnown(const TMailMessageVrex& message, const TMailPart* part, const char* what) {
  if (part == nullptr || part == &message) return;
  EXPECT_TRUE(message.OwnsPart(part)) << what << " refers to a part the message does not own";
}

void WalkTree(const TMailMessageVrex& message, const TMailPart& parent,
              std::set<const TMailPart*>& seen) {
  for (const TMailPart* child : parent.SubParts) {
    ASSERT_NE(child, &message) << "the message stands below itself";
    ASSERT_TRUE(message.OwnsPart(child)) << "a child the message does not own";
    ASSERT_TRUE(seen.insert(child).second) << "a part stands twice in the tree";
    EXPECT_EQ(child->ParentPart, &parent);
    EXPECT_EQ(child->OwnerMessage, &message);
    EXPECT_EQ(child->ParentBoundary, MailVrex::BoundaryOf(parent));
    WalkTree(message, *child, seen);
  }
}

}  // namespace

void ExpectTreeSound(const TMailMessageVrex& message) {
  std::set<const TMailPart*> seen;
  WalkTree(message, message, seen);
  for (const TMailPart* file : message.Attachments) ExpectKnown(message, file, "Attachments");
  ExpectKnown(message, message.TextPart, "TextPart");
  ExpectKnown(message, message.HtmlPart, "HtmlPart");
  ExpectKnown(message, message.MixedPart, "MixedPart");
  ExpectKnown(message, message.RelatedPart, "RelatedPart");
  ExpectKnown(message, message.AlternativePart, "AlternativePart");
  EXPECT_TRUE(message.MixedPart == nullptr || message.MixedPart == &message);
  // Once arranged and rebuilt, nothing is owned that the tree does not hold.
  if (!message.NeedRebuild && !message.SubParts.Empty()) {
    EXPECT_EQ(seen.size(), message.OwnedPartCount());
  }
}

std::string ByteRamp(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 256);
  return bytes;
}

TempFile::TempFile(std::string_view name, std::string_view content) {
  // Test cases run as parallel processes: each folder gets a random name.
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("pellam_mime_" + std::to_string(std::random_device{}()) +
                                  std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  path_ = (folder / std::string(name)).string();
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_).parent_path(), ignored);
}

}  // namespace MimeTest
