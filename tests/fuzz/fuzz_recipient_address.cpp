// libFuzzer target: any name and address through Add, then the field read back by a fresh list:
// one entry with the same address and the same name, or a MailError and no field at all. The
// input is the address, a NUL, then the name (which may hold NUL bytes itself).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/codec/MailAddress.h"
#include "mail/codec/MailError.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/TMailMessageVrex.h"

namespace {

void CheckOne(std::string_view name, std::string_view address) {
  MailVrex::TMailMessageVrex message;
  try {
    message.ToList.Add(name, address);
  } catch (const MailVrex::MailError&) {
    if (MailVrex::IsMailAddress(address) || !message.HeaderLines.empty()) __builtin_trap();
    return;
  }
  if (!MailVrex::IsMailAddress(address) || message.HeaderLines.size() != 1) __builtin_trap();

  MailVrex::TMailMessageVrex reader;
  reader.HeaderLines = message.HeaderLines;
  if (reader.ToList.Count() != 1 || reader.ToList.Addresses()[0] != address) __builtin_trap();
  const std::string expectedName = MailVrex::TrimBlanks(name).empty() ? "" : std::string(name);
  if (reader.ToList.Names()[0] != expectedName) __builtin_trap();
  if (reader.ToList.AddressesAsCommaText() != address) __builtin_trap();
  if (MailVrex::TMailMessageVrex::AddressInList(reader.GetFieldValue("To"), 0) != address)
    __builtin_trap();

  // On the wire: the one field, its continuation lines, the empty line that ends the header.
  const std::string header = message.GetHeaderText();
  if (header.rfind("To: ", 0) != 0) __builtin_trap();
  for (std::size_t at = header.find("\r\n"); at + 4 < header.size();
       at = header.find("\r\n", at + 2)) {
    if (header[at + 2] != ' ' && header[at + 2] != '\t') __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t cut = input.find('\0');
  std::string_view address = input.substr(0, cut);
  std::string_view name =
      cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  CheckOne(name, address);
  // Random bytes are seldom a mail address: the name goes in once more beside one that is.
  CheckOne(name, "n@x");
  return 0;
}
