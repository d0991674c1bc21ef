// Values of the kinds scripts pass, sent through IDispatch::Invoke to the real server: each
// reaches the delivered message as the conversions say.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/server/ComTestSupport.h"
#include "tests/smtp/RealSmtpServer.h"

namespace pellam_test {
namespace {

std::string DeliveredWith(const std::string& token) {
  for (const auto& entry : std::filesystem::directory_iterator(TheRealSmtpServer().folder)) {
    if (entry.path().extension() != ".eml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find(token) != std::string::npos) return text;
  }
  return {};
}

TEST(ComSend, ValuesOfEveryKindReachTheMessage) {
  const RealSmtpServer& server = TheRealSmtpServer();
  ASSERT_TRUE(server.problem.empty()) << server.problem;
  Apartment apartment;
  ComPtr<ISMTP> smtp = StartedSmtp();
  IDispatch& object = *smtp.Get();
  const std::string token =
      "kinds-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
  Variant to = Variant::Text(L"to@example.org");
  Variant subject = Variant::Text(std::wstring(token.begin(), token.end()));
  ComPtr<IDispatch> field = NewValueObject(L"Form Field <field@example.org>");

  ASSERT_EQ(InvokePut(object, L"Host", *Variant::Text(L"127.0.0.1")), S_OK);
  ASSERT_EQ(InvokePut(object, L"Port", *Variant::Text(std::to_wstring(server.port))), S_OK);
  ASSERT_EQ(InvokePut(object, L"From", *Variant::Object(field.Get())), S_OK);
  ASSERT_EQ(InvokePut(object, L"To", *Variant::RefTo(to)), S_OK);
  ASSERT_EQ(InvokePut(object, L"Subject", *Variant::BstrRefTo(subject)), S_OK);
  ASSERT_EQ(InvokePut(object, L"Priority", *Variant::R8(3.5)), S_OK);  // halves to even: 4
  ASSERT_EQ(InvokePut(object, L"ContentType", *Variant::Text(L"1")), S_OK);
  ASSERT_EQ(InvokePut(object, L"AuthType", *Variant::Bool(true)), S_OK);  // -1 stores 0
  ASSERT_EQ(InvokePut(object, L"Signature", *Variant::Text(std::wstring(L"sig\0nul", 7))), S_OK);
  ASSERT_EQ(InvokePut(object, L"TextBody", *Variant::Text(L"plain")), S_OK);
  Variant result;
  ASSERT_EQ(InvokeGet(object, L"SendMail", result, DISPATCH_METHOD), S_OK);
  ASSERT_EQ(V_BOOL(result.Ptr()), VARIANT_TRUE) << StatusOf(*smtp.Get()).c_str();
  EXPECT_EQ(StatusOf(*smtp.Get()).rfind(L"250 ", 0), 0u);  // HELO, not an authentication

  const std::string text = DeliveredWith(token);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.find("From: \"Form Field\" <field@example.org>\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("To: <to@example.org>\r\n"), std::string::npos);
  EXPECT_NE(text.find("X-Priority: 4\r\n"), std::string::npos);
  // The text keeps its NUL, escaped by the body's quoted-printable.
  EXPECT_NE(text.find("sig=00nul"), std::string::npos) << text;
  EXPECT_NE(text.find("=CE=DE=C4=DA=C8=DD"), std::string::npos);  // the HTML placeholder

  // The second send of the object, with the other half.
  ASSERT_EQ(InvokePut(object, L"Priority", *Variant::R8(2.5)), S_OK);
  const std::string second = token + "-second";
  ASSERT_EQ(
      InvokePut(object, L"Subject", *Variant::Text(std::wstring(second.begin(), second.end()))),
      S_OK);
  ASSERT_EQ(InvokeGet(object, L"SendMail", result, DISPATCH_METHOD), S_OK);
  ASSERT_EQ(V_BOOL(result.Ptr()), VARIANT_TRUE) << StatusOf(*smtp.Get()).c_str();
  EXPECT_NE(DeliveredWith(second).find("X-Priority: 2\r\n"), std::string::npos);
}

}  // namespace
}  // namespace pellam_test
