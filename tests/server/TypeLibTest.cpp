// The type library that each DLL carries, read from the file with LoadTypeLibEx: the 64-bit DLL
// under test and the 32-bit one, which this machine cannot run.
#include <gtest/gtest.h>

#include <string>

#include "tests/server/ComTestSupport.h"

namespace pellam_test {
namespace {

struct Member {
  const wchar_t* name;
  INVOKEKIND kind;
  SHORT parameters;
};

// The members of ISMTP by dispid, from 1.
const Member kMembers[] = {
    {L"OnStartPage", INVOKE_FUNC, 1},        {L"OnEndPage", INVOKE_FUNC, 0},
    {L"Host", INVOKE_PROPERTYPUT, 1},        {L"Port", INVOKE_PROPERTYPUT, 1},
    {L"UserName", INVOKE_PROPERTYPUT, 1},    {L"PassWord", INVOKE_PROPERTYPUT, 1},
    {L"AuthType", INVOKE_PROPERTYPUT, 1},    {L"Priority", INVOKE_PROPERTYPUT, 1},
    {L"ContentType", INVOKE_PROPERTYPUT, 1}, {L"From", INVOKE_PROPERTYPUT, 1},
    {L"To", INVOKE_PROPERTYPUT, 1},          {L"Cc", INVOKE_PROPERTYPUT, 1},
    {L"Bcc", INVOKE_PROPERTYPUT, 1},         {L"Subject", INVOKE_PROPERTYPUT, 1},
    {L"TextBody", INVOKE_PROPERTYPUT, 1},    {L"HtmlBody", INVOKE_PROPERTYPUT, 1},
    {L"Attachment", INVOKE_PROPERTYPUT, 1},  {L"Signature", INVOKE_PROPERTYPUT, 1},
    {L"SendMail", INVOKE_FUNC, 1},           {L"Status", INVOKE_PROPERTYGET, 1},
    {L"CopyRight", INVOKE_PROPERTYGET, 1},
};

std::wstring Documentation(ITypeLib& library, INT index, std::wstring* help = nullptr) {
  BSTR name = nullptr;
  BSTR text = nullptr;
  library.GetDocumentation(index, &name, &text, nullptr, nullptr);
  std::wstring result = name ? name : L"";
  if (help) *help = text ? text : L"";
  SysFreeString(name);
  SysFreeString(text);
  return result;
}

void CheckLibrary(const std::wstring& path, SYSKIND system) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Out()), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_Pellam));
  EXPECT_EQ(attributes->syskind, system);
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), 0);
  library->ReleaseTLibAttr(attributes);
  std::wstring help;
  EXPECT_EQ(Documentation(*library.Get(), -1, &help), L"Pellam");
  EXPECT_EQ(help, L"Pellam SMTPVrex Library");
  ASSERT_EQ(library->GetTypeInfoCount(), 2u);

  // Type 0: the dual interface; its vtable side holds the 21 members.
  EXPECT_EQ(Documentation(*library.Get(), 0, &help), L"ISMTP");
  EXPECT_EQ(help, L"Dispatch interface for SMTPVrex Object");
  ComPtr<ITypeInfo> dispatch;
  ASSERT_EQ(library->GetTypeInfo(0, dispatch.Out()), S_OK);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(dispatch->GetTypeAttr(&type), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->guid, IID_ISMTP));
  EXPECT_EQ(type->typekind, TKIND_DISPATCH);
  const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(type->wTypeFlags & dual, dual);
  dispatch->ReleaseTypeAttr(type);
  HREFTYPE vtableSide = 0;

  ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &vtableSide), S_OK);
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(dispatch->GetRefTypeInfo(vtableSide, vtable.Out()), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&type), S_OK);
  const WORD functions = type->cFuncs;
  EXPECT_EQ(type->typekind, TKIND_INTERFACE);
  EXPECT_EQ(type->wTypeFlags & (dual | TYPEFLAG_FOLEAUTOMATION), dual | TYPEFLAG_FOLEAUTOMATION);
  vtable->ReleaseTypeAttr(type);
  ASSERT_EQ(functions, 21);
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(i, &function), S_OK);
    const Member& member = kMembers[i];
    SCOPED_TRACE(member.name);
    EXPECT_EQ(function->memid, static_cast<MEMBERID>(i + 1));
    EXPECT_EQ(function->invkind, member.kind);
    EXPECT_EQ(function->cParams, member.parameters);
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(function->callconv, CC_STDCALL);
    BSTR name = nullptr;
    vtable->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(name ? name : L""), member.name);
    SysFreeString(name);
    vtable->ReleaseFuncDesc(function);
  }

  // Type 1: the creatable class with ISMTP as its default.
  EXPECT_EQ(Documentation(*library.Get(), 1, &help), L"SMTP");
  EXPECT_EQ(help, L"SMTPVrex Object");
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfo(1, coclass.Out()), S_OK);
  ASSERT_EQ(coclass->GetTypeAttr(&type), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->guid, CLSID_SMTP));
  EXPECT_EQ(type->typekind, TKIND_COCLASS);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  EXPECT_EQ(type->cImplTypes, 1);
  coclass->ReleaseTypeAttr(type);
  INT implemented = 0;
  EXPECT_EQ(coclass->GetImplTypeFlags(0, &implemented), S_OK);
  EXPECT_EQ(implemented, IMPLTYPEFLAG_FDEFAULT);
}

TEST(TypeLibrary, DllUnderTestCarriesTheLibrary) {
  CheckLibrary(DllPath(), sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

TEST(TypeLibrary, Win32DllCarriesTheLibraryForWin32) {
  const std::wstring path = WindowsPathOf(PELLAM_WIN32_DLL);
  ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES)
      << "no 32-bit DLL at " << PELLAM_WIN32_DLL << " (build the win32 preset first)";
  CheckLibrary(path, SYS_WIN32);
}

}  // namespace
}  // namespace pellam_test
