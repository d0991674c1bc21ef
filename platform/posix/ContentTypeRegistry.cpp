// Content types by extension from the system's mime.types table, read once.
#include "platform/ContentTypeRegistry.h"

#include <fstream>
#include <sstream>
#include <unordered_map>

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

TypeTable LoadTable(const char* path) {
  TypeTable table;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line.substr(0, line.find('#')));
    std::string type, extension;
    if (!(fields >> type)) continue;
    bool first = true;
    while (fields >> extension) {
      std::string dotted(1, '.');
      dotted += LowerAscii(extension);
      table.typeOfExtension.emplace(dotted, type);
      if (first) table.extensionOfType.emplace(LowerAscii(type), dotted);
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
