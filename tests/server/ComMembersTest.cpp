// The members of Pellam.SMTP as clients reach them: through the vtable and through
// IDispatch::Invoke with the VARIANT kinds that script engines pass, their conversions, the
// complaint lines, the error objects and the life between OnStartPage and OnEndPage.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/server/ComTestSupport.h"

namespace pellam_test {
namespace {

const std::wstring kSender = L"Cannot send without sender information ..\r\n";
const std::wstring kRecipient = L"Cannot send without recipient to information ..\r\n";
const std::wstring kHost = L"You must fill in the SMTP host name!\r\n";
const std::wstring kPort = L"You must fill in the SMTP prot number!\r\n";
const std::wstring kMissingFile = L"Cannot find attachment file: ";
const std::wstring kNoState = L"call OnStartPage first";

class ComTest : public testing::Test {
 protected:
  Apartment apartment;
};

// ---- Every put reaches its own member

using Put = HRESULT (STDMETHODCALLTYPE ISMTP::*)(VARIANT);
struct PutMember {
  const wchar_t* name;
  Put put;
};

const PutMember kPuts[] = {{L"Host", &ISMTP::put_Host},
                           {L"Port", &ISMTP::put_Port},
                           {L"UserName", &ISMTP::put_UserName},
                           {L"PassWord", &ISMTP::put_PassWord},
                           {L"AuthType", &ISMTP::put_AuthType},
                           {L"Priority", &ISMTP::put_Priority},
                           {L"From", &ISMTP::put_From},
                           {L"To", &ISMTP::put_To},
                           {L"Cc", &ISMTP::put_Cc},
                           {L"Bcc", &ISMTP::put_Bcc},
                           {L"Subject", &ISMTP::put_Subject},
                           {L"TextBody", &ISMTP::put_TextBody},
                           {L"HtmlBody", &ISMTP::put_HtmlBody},
                           {L"Attachment", &ISMTP::put_Attachment},
                           {L"Signature", &ISMTP::put_Signature}};

// Null converts to nothing, so the error names the member that ran: the vtable slot, the
// dispid and both put flags all lead to it.
TEST_F(ComTest, EveryPutReachesItsMemberByVtableAndByEitherPutFlag) {
  ComPtr<ISMTP> smtp = StartedSmtp();
  const Variant null = Variant::Null();
  for (const PutMember& member : kPuts) {
    SCOPED_TRACE(member.name);
    const std::wstring named = std::wstring(member.name) + L": cannot convert Null";
    EXPECT_EQ(((*smtp.Get()).*member.put)(*null), E_UNEXPECTED);
    EXPECT_EQ(TakeErrorInfo().description.rfind(named, 0), 0u);
    for (WORD flags : {WORD{DISPATCH_PROPERTYPUT}, WORD{DISPATCH_PROPERTYPUTREF}}) {
      EXCEPINFO exception{};
      EXPECT_EQ(InvokePut(*smtp.Get(), member.name, *null, flags, &exception), DISP_E_EXCEPTION);
      EXPECT_EQ(exception.scode, E_UNEXPECTED);
      EXPECT_EQ(std::wstring(exception.bstrDescription).rfind(named, 0), 0u);
      EXPECT_EQ(std::wstring(exception.bstrSource), L"Pellam.SMTP");
      ClearExcepInfo(exception);
    }
    EXPECT_EQ(((*smtp.Get()).*member.put)(*Variant::Text(L"1")), S_OK);
  }
  // ContentType absorbs what does not convert.
  EXPECT_EQ(smtp->put_ContentType(*null), S_OK);
  EXPECT_EQ(InvokePut(*smtp.Get(), L"ContentType", *null), S_OK);
}

// ---- Texts: Attachment shows its value in the complaint lines

struct TextCase {
  const char* name;
  std::function<Variant()> value;
  std::wstring expected;  // the status line's path; unused when the put fails
  bool fails = false;
};

Variant Coerced(const Variant& value) {
  Variant text;
  VariantChangeTypeEx(text.Ptr(), const_cast<VARIANT*>(&*value), GetUserDefaultLCID(), 0, VT_BSTR);
  return text;
}

std::vector<TextCase> TextCases() {
  static Variant referenced = Variant::Text(L"by-ref");
  static Variant referencedBstr = Variant::Text(L"bstr-ref");
  const double aDate = 45000.5;  // a date and a time of day
  return {
      {"Bstr", [] { return Variant::Text(L"a.txt"); }, L"a.txt"},
      {"ByRefVariant", [] { return Variant::RefTo(referenced); }, L"by-ref"},
      {"ByRefBstr", [] { return Variant::BstrRefTo(referencedBstr); }, L"bstr-ref"},
      {"I2", [] { return Variant::I2(-7); }, L"-7"},
      {"I4", [] { return Variant::I4(123456); }, L"123456"},
      {"R8", [] { return Variant::R8(2.5); }, TextOf(*Coerced(Variant::R8(2.5)))},
      {"I8", [] { return Variant::I8(5000000000LL); }, L"5000000000"},
      {"Currency", [] { return Variant::Currency(12345); },
       TextOf(*Coerced(Variant::Currency(12345)))},
      {"Decimal", [] { return Variant::Decimal(-125, 2); },
       TextOf(*Coerced(Variant::Decimal(-125, 2)))},
      {"Bool", [] { return Variant::Bool(true); }, TextOf(*Coerced(Variant::Bool(true)))},
      {"DateAsLocaleText", [=] { return Variant::Date(aDate); },
       TextOf(*Coerced(Variant::Date(aDate)))},
      {"ObjectWithDefaultValue",
       [] { return Variant::Object(NewValueObject(L"form-field").Get()); }, L"form-field"},
      {"ObjectWithoutDefaultValue",
       [] { return Variant::Object(NewValueObject(L"", false).Get()); }, L"", true},
      {"Null", [] { return Variant::Null(); }, L"", true},
      {"Array", [] { return Variant::ArrayOfTwo(); }, L"", true},
      {"ListEndsAtNul", [] { return Variant::Text(std::wstring(L"ab\0cd", 5)); }, L"ab"},
      // GBK has the first character, not the Thai one, which becomes the default character.
      {"CharacterTheCodePageLacks", [] { return Variant::Text(L"\u4e2d\u0e01.txt"); },
       L"\u4e2d?.txt"},
  };
}

TEST_F(ComTest, TextValuesConvertAsAutomationCoercesThem) {
  for (const TextCase& c : TextCases()) {
    SCOPED_TRACE(c.name);
    ComPtr<ISMTP> smtp = StartedSmtp();
    const Variant value = c.value();
    for (bool byInvoke : {false, true}) {
      const HRESULT result =
          byInvoke ? InvokePut(*smtp.Get(), L"Attachment", *value) : smtp->put_Attachment(*value);
      if (c.fails) {
        EXPECT_TRUE(FAILED(result));
        continue;
      }
      ASSERT_EQ(result, S_OK);
      EXPECT_FALSE(SendMailOf(*smtp.Get()));
      EXPECT_EQ(StatusOf(*smtp.Get()),
                kSender + kRecipient + kMissingFile + c.expected + L"\r\n" + kHost);
    }
  }
}

TEST_F(ComTest, MissingArgumentAndEmptyConvertAsAutomationDoes) {
  ComPtr<ISMTP> smtp = StartedSmtp();
  // Empty is the empty text: an attachment list of no line, so no complaint.
  ASSERT_EQ(smtp->put_Attachment(*Variant()), S_OK);
  EXPECT_FALSE(SendMailOf(*smtp.Get()));
  EXPECT_EQ(StatusOf(*smtp.Get()), kSender + kRecipient + kHost);
  // A missing argument gives what VariantChangeTypeEx gives it.
  const Variant missing = Variant::Error(DISP_E_PARAMNOTFOUND);
  Variant reference;
  const HRESULT coerced = VariantChangeTypeEx(reference.Ptr(), const_cast<VARIANT*>(&*missing),
                                              GetUserDefaultLCID(), 0, VT_BSTR);
  const HRESULT put = smtp->put_Attachment(*missing);
  EXPECT_EQ(SUCCEEDED(put), SUCCEEDED(coerced));
  if (SUCCEEDED(put)) {
    EXPECT_FALSE(SendMailOf(*smtp.Get()));
    EXPECT_EQ(StatusOf(*smtp.Get()),
              kSender + kRecipient + kMissingFile + TextOf(*reference) + L"\r\n" + kHost);
  }
}

// ---- Integers: Port shows whether its value is 0

struct IntegerCase {
  const char* name;
  std::function<Variant()> value;
  enum { Zero, NotZero, Fails } outcome;
};

TEST_F(ComTest, IntegerValuesRoundHalvesToEvenAndKeepLow32Bits) {
  static Variant referencedZero = Variant::I4(0);
  const IntegerCase cases[] = {
      {"I2Zero", [] { return Variant::I2(0); }, IntegerCase::Zero},
      {"I4", [] { return Variant::I4(587); }, IntegerCase::NotZero},
      {"HalfRoundsToEvenZero", [] { return Variant::R8(0.5); }, IntegerCase::Zero},
      {"MinusHalfRoundsToZero", [] { return Variant::R8(-0.5); }, IntegerCase::Zero},
      {"OneAndAHalfRoundsToTwo", [] { return Variant::R8(1.5); }, IntegerCase::NotZero},
      {"CurrencyHalf", [] { return Variant::Currency(5000); }, IntegerCase::Zero},
      {"DecimalHalf", [] { return Variant::Decimal(5, 1); }, IntegerCase::Zero},
      {"DecimalOneAndAHalf", [] { return Variant::Decimal(15, 1); }, IntegerCase::NotZero},
      {"I8Low32BitsZero", [] { return Variant::I8(0x100000000LL); }, IntegerCase::Zero},
      {"I8Low32BitsOne", [] { return Variant::I8(0x100000001LL); }, IntegerCase::NotZero},
      {"False", [] { return Variant::Bool(false); }, IntegerCase::Zero},
      {"True", [] { return Variant::Bool(true); }, IntegerCase::NotZero},
      {"Empty", [] { return Variant(); }, IntegerCase::Zero},
      {"TextZero", [] { return Variant::Text(L"0"); }, IntegerCase::Zero},
      {"Text", [] { return Variant::Text(L"587"); }, IntegerCase::NotZero},
      {"ByRefZero", [] { return Variant::RefTo(referencedZero); }, IntegerCase::Zero},
      {"ObjectWithDefaultValue", [] { return Variant::Object(NewValueObject(L"0").Get()); },
       IntegerCase::Zero},
      {"Letters", [] { return Variant::Text(L"abc"); }, IntegerCase::Fails},
      {"Null", [] { return Variant::Null(); }, IntegerCase::Fails},
      {"Array", [] { return Variant::ArrayOfTwo(); }, IntegerCase::Fails},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool byInvoke : {false, true}) {
      ComPtr<ISMTP> smtp = StartedSmtp();
      ASSERT_EQ(smtp->put_Port(*Variant::I4(0)), S_OK);  // a failed put keeps this value
      const Variant value = c.value();
      const HRESULT result =
          byInvoke ? InvokePut(*smtp.Get(), L"Port", *value) : smtp->put_Port(*value);
      EXPECT_EQ(SUCCEEDED(result), c.outcome != IntegerCase::Fails);
      EXPECT_FALSE(SendMailOf(*smtp.Get()));
      const bool zero = c.outcome != IntegerCase::NotZero;
      EXPECT_EQ(StatusOf(*smtp.Get()), kSender + kRecipient + kHost + (zero ? kPort : L""));
    }
  }
}

// ---- Results, out values and error objects

TEST_F(ComTest, SendMailStatusAndCopyRightGiveTheirValues) {
  ComPtr<ISMTP> smtp = StartedSmtp();
  EXPECT_EQ(StatusOf(*smtp.Get()), L"");
  Variant notice;
  ASSERT_EQ(smtp->get_CopyRight(notice.Ptr()), S_OK);
  EXPECT_NE(TextOf(*notice).find(L"Pellam SMTP"), std::wstring::npos);

  Variant result;
  ASSERT_EQ(InvokeGet(*smtp.Get(), L"SendMail", result, DISPATCH_METHOD | DISPATCH_PROPERTYGET),
            S_OK);
  EXPECT_EQ(V_VT(result.Ptr()), VT_BOOL);
  EXPECT_EQ(V_BOOL(result.Ptr()), VARIANT_FALSE);
  Variant status;
  ASSERT_EQ(InvokeGet(*smtp.Get(), L"Status", status), S_OK);
  EXPECT_EQ(TextOf(*status), kSender + kRecipient + kHost);
  Variant copyRight;
  ASSERT_EQ(InvokeGet(*smtp.Get(), L"CopyRight", copyRight), S_OK);
  EXPECT_EQ(TextOf(*copyRight), TextOf(*notice));
}

TEST_F(ComTest, FailuresLeaveAnErrorObjectOfTheComponentAndEmptyOutValues) {
  ComPtr<ISMTP> smtp = CreateSmtp();
  Variant result = Variant::I4(7);
  EXPECT_EQ(smtp->SendMail(result.Ptr()), E_UNEXPECTED);
  EXPECT_EQ(V_VT(result.Ptr()), VT_EMPTY);
  const ErrorSeen seen = TakeErrorInfo();
  EXPECT_NE(seen.description.find(kNoState), std::wstring::npos) << seen.description.c_str();
  EXPECT_EQ(seen.source, L"Pellam.SMTP");
  EXPECT_TRUE(IsEqualGUID(seen.guid, IID_ISMTP));

  ComPtr<ISupportErrorInfo> support = smtp.As<ISupportErrorInfo>(IID_ISupportErrorInfo);
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ISMTP), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
}

TEST_F(ComTest, AComponentsExceptionBecomesTheErrorObjectAndKeepsTheLinesSoFar) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"pellam-locked.bin";
  // A file that exists but cannot be read: another handle holds it without sharing.
  HANDLE locked = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  ComPtr<ISMTP> smtp = StartedSmtp();
  ASSERT_EQ(smtp->put_Attachment(*Variant::Text(path)), S_OK);
  Variant result;
  EXPECT_EQ(smtp->SendMail(result.Ptr()), E_UNEXPECTED);
  EXPECT_EQ(V_VT(result.Ptr()), VT_EMPTY);
  const ErrorSeen seen = TakeErrorInfo();
  EXPECT_NE(seen.description.find(L"pellam-locked.bin"), std::wstring::npos)
      << seen.description.c_str();
  EXPECT_EQ(seen.source, L"Pellam.SMTP");
  EXPECT_EQ(StatusOf(*smtp.Get()), kSender + kRecipient);
  CloseHandle(locked);
  DeleteFileW(path.c_str());
}

// ---- The page's life

// A scripting context as the page engine passes one, counting its references.
class Context final : public IUnknown {
 public:
  explicit Context(bool isScriptingContext) : supports_(isScriptingContext) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || (supports_ && IsEqualIID(riid, IID_IScriptingContext))) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;

 private:
  bool supports_;
};

TEST_F(ComTest, MembersNeedOnStartPageAndFailAgainAfterOnEndPage) {
  ComPtr<ISMTP> smtp = CreateSmtp();
  Variant out;
  const std::vector<std::function<HRESULT()>> members = {
      [&] { return smtp->put_Host(*Variant::Text(L"h")); },
      [&] { return smtp->put_ContentType(*Variant::I4(1)); },
      [&] { return smtp->SendMail(out.Ptr()); },
      [&] { return smtp->get_Status(out.Ptr()); },
      [&] { return smtp->get_CopyRight(out.Ptr()); },
      [&] { return smtp->OnEndPage(); },
  };
  for (int page = 0; page < 2; ++page) {
    for (const auto& member : members) {
      EXPECT_EQ(member(), E_UNEXPECTED);
      EXPECT_NE(TakeErrorInfo().description.find(kNoState), std::wstring::npos);
    }
    ASSERT_EQ(smtp->OnStartPage(nullptr), S_OK);
    EXPECT_EQ(smtp->put_Host(*Variant::Text(L"h")), S_OK);
    ASSERT_EQ(smtp->OnEndPage(), S_OK);
  }
}

TEST_F(ComTest, OnStartPageKeepsAScriptingContextAndRefusesAnyOtherObject) {
  ComPtr<ISMTP> smtp = CreateSmtp();
  Context other(false);
  EXPECT_EQ(smtp->OnStartPage(&other), E_UNEXPECTED);
  EXPECT_NE(TakeErrorInfo().description.find(L"no scripting context"), std::wstring::npos);
  EXPECT_EQ(other.references, 1u);
  EXPECT_EQ(smtp->put_Host(*Variant::Text(L"h")), E_UNEXPECTED);  // nothing else was done

  // What a script passes for no context: VBScript's Nothing, JScript's null or undefined.
  for (const Variant& none : {Variant::Object(nullptr), Variant::Null(), Variant()}) {
    ComPtr<ISMTP> started = CreateSmtp();
    DISPPARAMS params{const_cast<VARIANT*>(&*none), nullptr, 1, 0};
    EXPECT_EQ(started->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr),
              S_OK);
    EXPECT_EQ(started->put_Host(*Variant::Text(L"h")), S_OK);
  }

  Context context(true);
  ComPtr<IPageObject> page = smtp.As<IPageObject>(IID_IPageObject);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->OnStartPage(&context), S_OK);
  EXPECT_EQ(context.references, 2u);
  EXPECT_EQ(smtp->put_Host(*Variant::Text(L"h")), S_OK);
  EXPECT_EQ(page->OnEndPage(), S_OK);
  EXPECT_EQ(context.references, 1u);
}

// ---- IDispatch and class information

TEST_F(ComTest, DispatchAnswersThroughTheTypeInformationOfISMTP) {
  ComPtr<ISMTP> smtp = CreateSmtp();
  UINT count = 0;
  EXPECT_EQ(smtp->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(smtp->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  ComPtr<ITypeInfo> typeInfo;
  ASSERT_EQ(smtp->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo.Out()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ISMTP));
  typeInfo->ReleaseTypeAttr(attributes);

  const wchar_t* names[] = {L"OnStartPage", L"Host", L"SendMail", L"CopyRight"};
  const DISPID expected[] = {1, 3, 19, 21};
  for (int i = 0; i < 4; ++i) {
    DISPID id = 0;
    LPOLESTR name[] = {const_cast<LPOLESTR>(names[i])};
    EXPECT_EQ(smtp->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, expected[i]);
  }

  ComPtr<IProvideClassInfo> provider = smtp.As<IProvideClassInfo>(IID_IProvideClassInfo);
  ASSERT_TRUE(provider);
  ComPtr<ITypeInfo> classInfo;
  ASSERT_EQ(provider->GetClassInfo(classInfo.Out()), S_OK);
  ASSERT_EQ(classInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_SMTP));
  classInfo->ReleaseTypeAttr(attributes);
}

}  // namespace
}  // namespace pellam_test
