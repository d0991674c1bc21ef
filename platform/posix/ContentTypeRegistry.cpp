// Content types by extension from the system's mime.types table, read once.
#include "platform/ContentTypeRegistry.h"

#include <exception>
#include <string>
#include <unordered_map>

#include "platform/Files.h"

namespace platform {
namespace {

std::string LowerAscii(std::string_view s) {
  std::string lower(s);
  for (char& ch : lower) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return lower;
}

// Both directions of the table; the first mention wins in each, as names in
// the Windows registry are unique and case-insensitive.
struct TypeTable {
  std::unordered_map<std::string, std::string> typeOfExtension;  // ".txt" -> "text/plain"
  std::unordered_map<std::string, std::string> extensionOfType;  // "text/plain" -> ".txt"
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Lines of "type extension..." with "#" starting a comment; a table that
// cannot be read leaves every lookup empty.
TypeTable LoadTable(const char* path) {
  TypeTable table;
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const std::exception&) {
    return table;
  }
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t lineEnd = rest.find('\n');
    std::string_view line = rest.substr(0, lineEnd);
    rest = lineEnd == std::string_view::npos ? std::string_view() : rest.substr(lineEnd + 1);
    line = line.substr(0, line.find('#'));
    std::string type;
    bool first = true;
    std::size_t at = 0;
    while (true) {
      while (at < line.size() && IsSpace(line[at])) ++at;
      if (at == line.size()) break;
      std::size_t end = at;
      while (end < line.size() && !IsSpace(line[end])) ++end;
      std::string_view field = line.substr(at, end - at);
      at = end;
      if (type.empty()) {
        type = field;
        continue;
      }
      std::string dotted(1, '.');
      dotted += LowerAscii(field);
      if (first) table.extensionOfType.emplace(LowerAscii(type), dotted);
      table.typeOfExtension.emplace(std::move(dotted), type);
      first = false;
    }
  }
  return table;
}

const TypeTable& Table() {
  // A function-local static is initialised once, even with racing threads.
  static const TypeTable table = LoadTable("/etc/mime.types");
  return table;
}

std::string Find(const std::unordered_map<std::string, std::string>& map, std::string_view key) {
  auto found = map.find(LowerAscii(key));
  return found == map.end() ? std::string() : found->second;
}

}  // namespace

std::string ContentTypeOfExtension(std::string_view ext) {
  return Find(Table().typeOfExtension, ext);
}

std::string ExtensionOfContentType(std::string_view type) {
  return Find(Table().extensionOfType, type);
}

}  // namespace platform
