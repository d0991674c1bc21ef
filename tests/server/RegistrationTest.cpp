// Registration as regsvr32 does it in the test prefix: the entries written under
// HKEY_CLASSES_ROOT, the short path of a folder with a blank, registering twice and unregistering
// when nothing is registered. The DLL is registered again from its build folder at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/server/ComTestSupport.h"

namespace pellam_test {
namespace {

const std::wstring kClassKey = L"CLSID\\{E4655609-A372-4B2A-90E0-6B9EF51C950F}";
const std::wstring kLibrary = L"{34DD4932-C25C-4E65-BE5F-B2D468461562}";

// regsvr32 of the prefix's system folder; its exit code.
DWORD RunRegsvr32(const std::wstring& options, const std::wstring& dll) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring command =
      L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + options + L" \"" + dll + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

struct Value {
  bool found = false;
  DWORD type = 0;
  std::wstring data;  // as stored, its terminating NUL included
};

Value ReadValue(const std::wstring& key, const wchar_t* name = nullptr) {
  Value value;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    return value;
  }
  DWORD size = 0;
  if (RegQueryValueExW(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(handle, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data.data()),
                     &size);
    value.data.assign(data.data(), size / sizeof(wchar_t));
    value.found = true;
  }
  RegCloseKey(handle);
  return value;
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

std::wstring WithNul(const std::wstring& text) {
  return text + L'\0';
}

class Registration : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(RunRegsvr32(L"/s", DllPath()), 0u); }
};

TEST_F(Registration, RegisteringTwiceWritesTheEntriesOfTheTableInPlace) {
  for (int time = 0; time < 2; ++time) {
    SCOPED_TRACE(time);
    ASSERT_EQ(RunRegsvr32(L"/s", DllPath()), 0u);
    struct Expected {
      std::wstring key;
      const wchar_t* name;
      std::wstring data;
    };
    const Expected entries[] = {
        {kClassKey, nullptr, L"SMTPVrex Object"},
        {kClassKey + L"\\InprocServer32", nullptr, DllPath()},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {L"Pellam.SMTP", nullptr, L"SMTPVrex Object"},
        {L"Pellam.SMTP\\Clsid", nullptr, L"{E4655609-A372-4B2A-90E0-6B9EF51C950F}"},
        {kClassKey + L"\\ProgID", nullptr, L"Pellam.SMTP"},
        {kClassKey + L"\\Version", nullptr, L"1.0"},
        {kClassKey + L"\\TypeLib", nullptr, kLibrary},
    };
    for (const Expected& entry : entries) {
      const Value value = ReadValue(entry.key, entry.name);
      EXPECT_TRUE(value.found) << std::string(entry.key.begin(), entry.key.end());
      EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(value.data, WithNul(entry.data));
    }
    EXPECT_TRUE(KeyExists(L"TypeLib\\" + kLibrary + L"\\1.0"));
  }
}

TEST_F(Registration, FolderWithABlankIsRegisteredByItsShortPath) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder = std::filesystem::path(temp) / L"Pellam blank folder";
  std::filesystem::create_directories(folder);
  const std::filesystem::path copy = folder / L"PellamSMTP.dll";
  std::filesystem::copy_file(DllPath(), copy, std::filesystem::copy_options::overwrite_existing);

  ASSERT_EQ(RunRegsvr32(L"/s", copy.wstring()), 0u);
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(copy.c_str(), shortPath, MAX_PATH), 0u);
  const Value server = ReadValue(kClassKey + L"\\InprocServer32");
  EXPECT_EQ(server.data, WithNul(shortPath));
  EXPECT_EQ(server.data.find(L' '), std::wstring::npos);
  // The short path names the same file, so COM can load it.
  EXPECT_NE(GetFileAttributesW(shortPath), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(RunRegsvr32(L"/u /s", copy.wstring()), 0u);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

TEST_F(Registration, UnregisteringRemovesTheEntriesAndSucceedsWhenNothingIsLeft) {
  ASSERT_EQ(RunRegsvr32(L"/s", DllPath()), 0u);
  for (int time = 0; time < 2; ++time) {
    SCOPED_TRACE(time);
    EXPECT_EQ(RunRegsvr32(L"/u /s", DllPath()), 0u);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(L"Pellam.SMTP"));
    EXPECT_FALSE(KeyExists(L"TypeLib\\" + kLibrary + L"\\1.0"));
  }
}

}  // namespace
}  // namespace pellam_test
