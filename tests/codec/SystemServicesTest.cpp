// The parts of the codec that lean on the system: content types, the clock
// and the process-wide random generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <thread>
#include <vector>

#include "mail/codec/ContentTypes.h"
#include "mail/codec/MailError.h"
#include "mail/codec/Random.h"
#include "platform/Clock.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace MailVrex;

namespace {

TEST(ContentTypeOfFile, FallsBackToOctetStream) {
  for (const char* name : {"README", "C:\\dir.d\\file", "a.zzunknownzz", "dir.v2:stream", "",
                           "name.", "C:\\x\\.txt\\y"}) {
    EXPECT_EQ(ContentTypeOfFile(name), "application/octet-stream") << name;
  }
}

#ifdef _WIN32
// A fresh Wine prefix registers no content types, so the tests register
// their own (and remove them afterwards).
class RegisteredType : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetText(".pellamtst", "Content Type", "application/x-pellam-test");
    SetText("MIME\\Database\\Content Type\\application/x-pellam-test", "Extension", ".pellamtst");
    DWORD number = 7;
    RegSetKeyValueA(HKEY_CLASSES_ROOT, ".pellamnum", "Content Type", REG_DWORD, &number,
                    sizeof number);
  }
  static void TearDownTestSuite() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".pellamtst");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".pellamnum");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-pellam-test");
  }
  static void SetText(const std::string& key, const char* name, const std::string& value) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                              static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
  }
  static constexpr char kExtension[] = ".pellamtst";
  static constexpr char kUpperExtension[] = ".PELLAMTST";
  static constexpr char kType[] = "application/x-pellam-test";
};

TEST_F(RegisteredType, AValueOfAnotherTypeThanTextRaises) {
  EXPECT_THROW(ContentTypeOfFile("count.pellamnum"), MailError);
}
#else
// Debian's media-types table.
class RegisteredType : public ::testing::Test {
 protected:
  static constexpr char kExtension[] = ".zip";
  static constexpr char kUpperExtension[] = ".ZIP";
  static constexpr char kType[] = "application/zip";
};
#endif

TEST_F(RegisteredType, ContentTypeOfFileFindsItIgnoringCase) {
  EXPECT_EQ(ContentTypeOfFile(std::string("C:\\mail\\notes") + kExtension), kType);
  EXPECT_EQ(ContentTypeOfFile(std::string("report.tar") + kUpperExtension), kType);
}

TEST_F(RegisteredType, ExtensionOfContentTypeFindsIt) {
  EXPECT_EQ(ExtensionOfContentType(kType), kExtension);
}

TEST(ExtensionOfContentType, GivesNothingForUnknownTypes) {
  EXPECT_EQ(ExtensionOfContentType("x-unknown/none"), "");
  EXPECT_EQ(ExtensionOfContentType(""), "");
  EXPECT_EQ(ExtensionOfContentType("text\\..\\plain"), "");
}

TEST(MakeBoundaryText, IsBoundaryAndEightUpperCaseHexDigits) {
  for (int i = 0; i < 50; ++i) {
    std::string boundary = MakeBoundaryText();
    ASSERT_EQ(boundary.size(), 16u);
    EXPECT_EQ(boundary.substr(0, 8), "boundary");
    EXPECT_TRUE(std::all_of(boundary.begin() + 8, boundary.end(), [](char ch) {
      return std::isdigit(static_cast<unsigned char>(ch)) || (ch >= 'A' && ch <= 'F');
    })) << boundary;
  }
  EXPECT_NE(MakeBoundaryText(), MakeBoundaryText());
}

TEST(NextRandom, DrawsFromSeveralThreadsWithoutRepeats) {
  constexpr int kThreads = 4, kDraws = 2000;
  std::vector<std::vector<std::uint32_t>> draws(kThreads);
  std::vector<std::thread> threads;
  for (auto& mine : draws) {
    threads.emplace_back([&mine] {
      for (int i = 0; i < kDraws; ++i) mine.push_back(NextRandom());
    });
  }
  for (auto& t : threads) t.join();
  std::vector<std::uint32_t> all;
  for (const auto& mine : draws) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  auto repeats = all.end() - std::unique(all.begin(), all.end());
  // 8000 honest 32-bit draws repeat once in a hundred runs or so; shared or
  // torn state would repeat thousands of times.
  EXPECT_LE(repeats, 2);
}

TEST(Clock, LocalTimeAgreesWithUtcMilliseconds) {
  platform::LocalTime now = platform::NowLocal();
  std::uint32_t ms = platform::MillisecondsSinceUtcMidnight();
  EXPECT_LT(ms, 86400000u);
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.weekday >= 0 && now.weekday <= 6);
  EXPECT_LE(std::abs(now.utcOffsetMinutes), 14 * 60);
  int localMinutes = now.hour * 60 + now.minute;
  int utcMinutes = static_cast<int>(ms / 60000);
  int difference = ((localMinutes - now.utcOffsetMinutes - utcMinutes) % 1440 + 1440) % 1440;
  EXPECT_TRUE(difference <= 1 || difference == 1439) << difference;
}

}  // namespace
