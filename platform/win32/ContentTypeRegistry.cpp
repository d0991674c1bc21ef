// Content types by extension, and extensions by content type, from the
// Windows registry under HKEY_CLASSES_ROOT.
#include "platform/ContentTypeRegistry.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace platform {
namespace {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool Open(HKEY parent, const std::string& path, REGSAM access) {
    return RegOpenKeyExA(parent, path.c_str(), 0, access, &key_) == ERROR_SUCCESS;
  }
  HKEY Handle() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A key name that the registry would read differently from the text given:
// empty (the hive itself), cut short by a NUL, or a path into sub-keys.
bool IsUsableKeyName(std::string_view name) {
  return !name.empty() && name.find('\0') == std::string_view::npos &&
         name.find('\\') == std::string_view::npos;
}

// The existence test asks for read access only; the key itself is opened for
// full access, and where that is refused the caller gets its default.
bool OpenExistingKey(RegistryKey& key, HKEY parent, const std::string& path) {
  {
    RegistryKey probe;
    if (!probe.Open(parent, path, KEY_READ)) return false;
  }
  return key.Open(parent, path, KEY_ALL_ACCESS);
}

// The text value, or empty when it is missing; a value of another type is an
// error that reaches the caller.
std::string ReadText(HKEY key, const char* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw std::runtime_error(std::string("Invalid data type for '") + name + "'");
  }
  std::string value(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  value.resize(std::min<std::size_t>(size, value.size()));
  std::size_t nul = value.find('\0');
  if (nul != std::string::npos) value.resize(nul);
  return value;
}

std::string ReadValueOfKey(HKEY parent, const std::string& path, const char* name) {
  RegistryKey key;
  if (!OpenExistingKey(key, parent, path)) return {};
  return ReadText(key.Handle(), name);
}

}  // namespace

std::string ContentTypeOfExtension(std::string_view ext) {
  if (!IsUsableKeyName(ext)) return {};
  return ReadValueOfKey(HKEY_CLASSES_ROOT, std::string(ext), "Content Type");
}

std::string ExtensionOfContentType(std::string_view type) {
  if (!IsUsableKeyName(type)) return {};
  RegistryKey database;
  if (!database.Open(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type", KEY_ALL_ACCESS)) return {};
  return ReadValueOfKey(database.Handle(), std::string(type), "Extension");
}

}  // namespace platform
