// Error reporting: ReportError's error information, KorDispatchError and the
// EXCEPINFO texts FillExcepInfo composes.
#include <gtest/gtest.h>

#include <string>

#include "tests/xatl/com_test_support.h"
#include "xatlcom/error.h"

namespace {

using namespace orvotest;

std::string ModulePart() {
  char path[500];
  const DWORD n = GetModuleFileNameA(orvo::ModuleInstance(), path, sizeof path);
  return "\nModule name:" + std::string(path, n < sizeof path ? n : 0);
}

std::string SystemText(HRESULT code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 static_cast<DWORD>(code), LOCALE_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out = text != nullptr ? text : "";
  if (text != nullptr) LocalFree(text);
  return out;
}

struct Filled {
  EXCEPINFO info{};
  explicit Filled(const KorDispatchError& error) {
    info.wReserved = 7;  // every field is written
    info.dwHelpContext = 7;
    error.FillExcepInfo(&info);
  }
  ~Filled() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
};

// An error object whose texts can be made to fail.
class FakeErrorInfo final : public IErrorInfo {
 public:
  virtual ~FakeErrorInfo() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override {
    *out = nullptr;
    if (sourceFails) return E_OUTOFMEMORY;
    *out = SysAllocString(L"Fake.Source");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override {
    *out = nullptr;
    if (descriptionFails) return E_OUTOFMEMORY;
    *out = SysAllocString(L"fake text");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD*) override { return E_NOTIMPL; }
  bool sourceFails = false;
  bool descriptionFails = false;
  ULONG refs = 1;
};

class ErrorTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    IErrorInfo* stale = nullptr;
    if (GetErrorInfo(0, &stale) == S_OK && stale != nullptr) stale->Release();
  }
};

TEST_F(ErrorTest, ReportErrorRecordsTheThreadsErrorInformation) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  EXPECT_EQ(E_INVALIDARG, orvo::ReportError(CLSID_SampleCalc, "Bad position", E_INVALIDARG, IID_ISample));
  IErrorInfo* info = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
  ASSERT_NE(nullptr, info);
  BSTR text = nullptr;
  EXPECT_EQ(S_OK, info->GetDescription(&text));
  EXPECT_EQ("Bad position", Narrow(text));
  SysFreeString(text);
  EXPECT_EQ(S_OK, info->GetSource(&text));
  EXPECT_EQ("Orvo.SampleCalc.1", Narrow(text));  // the versioned ProgID
  SysFreeString(text);
  GUID guid = GUID_NULL;
  EXPECT_EQ(S_OK, info->GetGUID(&guid));
  EXPECT_TRUE(IsEqualGUID(IID_ISample, guid));
  info->Release();
  IErrorInfo* again = nullptr;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &again));  // taken once
  EXPECT_EQ(nullptr, again);
  DllUnregisterServer();
}

TEST_F(ErrorTest, ReportErrorOfAnUnregisteredClassHasNoSource) {
  EXPECT_EQ(DISP_E_EXCEPTION, orvo::ReportError(CLSID_SampleCalc, "", 0, IID_NULL));  // 0 maps to DISP_E_EXCEPTION
  IErrorInfo* info = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
  KorDispatchError error(E_FAIL, info);  // takes the reference
  EXPECT_EQ(E_FAIL, error.Code());
  EXPECT_EQ(0u, SysStringLen(error.Description()));
  EXPECT_EQ(0u, SysStringLen(error.Source()));
  Filled filled(error);
  EXPECT_EQ(ModulePart(), Narrow(filled.info.bstrSource));
  EXPECT_EQ("\nError:" + SystemText(E_FAIL), Narrow(filled.info.bstrDescription));
}

TEST_F(ErrorTest, CodesBetween1000And32767GoToWCode) {
  const struct {
    uint32_t code;
    WORD wCode;
    uint32_t scode;
  } cases[] = {{1000, 0, 1000},      {1001, 1001, 0},           {32766, 32766, 0},
               {32767, 0, 32767},    {0x80004005u, 0, 0x80004005u}, {0xFFFFFFFFu, 0, 0xFFFFFFFFu},
               {0, 0, 0},            {0x8000FFFFu, 0, 0x8000FFFFu}};
  for (const auto& c : cases) {
    Filled filled{KorDispatchError(static_cast<SCODE>(c.code))};
    EXPECT_EQ(c.wCode, filled.info.wCode) << c.code;
    EXPECT_EQ(c.scode, static_cast<uint32_t>(filled.info.scode)) << c.code;
    EXPECT_EQ(0, filled.info.wReserved);
    EXPECT_EQ(nullptr, filled.info.bstrHelpFile);
    EXPECT_EQ(0u, filled.info.dwHelpContext);
    EXPECT_EQ(nullptr, filled.info.pvReserved);
    EXPECT_EQ(nullptr, filled.info.pfnDeferredFillIn);
  }
}

TEST_F(ErrorTest, TextsAreComposedInFourSections) {
  Filled both{KorDispatchError(E_FAIL, L"Crypto System: Invalid key - AES", L"Orvo.SampleCalc.1")};
  EXPECT_EQ(ModulePart() + "\nSource:Orvo.SampleCalc.1", Narrow(both.info.bstrSource));
  EXPECT_EQ("\nError:" + SystemText(E_FAIL) + "\nDescription:Crypto System: Invalid key - AES",
            Narrow(both.info.bstrDescription));
  EXPECT_EQ(E_FAIL, both.info.scode);

  // A code without a system text and an error without texts.
  const SCODE unknown = static_cast<SCODE>(0xA0071234u);
  ASSERT_EQ("", SystemText(unknown));
  Filled bare{KorDispatchError(unknown, L"", nullptr)};
  EXPECT_EQ(ModulePart(), Narrow(bare.info.bstrSource));
  EXPECT_NE(nullptr, bare.info.bstrDescription);
  EXPECT_EQ(0u, SysStringLen(bare.info.bstrDescription));
}

TEST_F(ErrorTest, UnreadableTextsTurnTheCodeIntoEUnexpected) {
  FakeErrorInfo noSource;
  noSource.sourceFails = true;
  KorDispatchError first(E_FAIL, &noSource);
  EXPECT_EQ(E_UNEXPECTED, first.Code());
  EXPECT_EQ("fake text", Narrow(first.Description()));  // what was read is kept
  EXPECT_EQ(nullptr, first.Source());
  EXPECT_EQ(0u, noSource.refs);  // the reference handed over was released

  FakeErrorInfo noDescription;
  noDescription.descriptionFails = true;
  KorDispatchError second(E_INVALIDARG, &noDescription);
  EXPECT_EQ(E_UNEXPECTED, second.Code());
  EXPECT_EQ("Fake.Source", Narrow(second.Source()));
}

TEST_F(ErrorTest, CopiesOwnTheirTexts) {
  KorDispatchError copy(E_FAIL);
  {
    const KorDispatchError original(E_INVALIDARG, L"text", L"source");
    copy = original;
    const KorDispatchError constructed(original);
    EXPECT_NE(original.Description(), constructed.Description());
    EXPECT_EQ("text", Narrow(constructed.Description()));
  }
  EXPECT_EQ(E_INVALIDARG, copy.Code());
  EXPECT_EQ("text", Narrow(copy.Description()));
  EXPECT_EQ("source", Narrow(copy.Source()));
}

TEST_F(ErrorTest, ThrowOnFailureTakesTheThreadsErrorInformation) {
  EXPECT_NO_THROW(orvo::ThrowOnFailure(S_OK));
  EXPECT_NO_THROW(orvo::ThrowOnFailure(S_FALSE));
  try {
    orvo::ThrowOnFailure(E_OUTOFMEMORY);
    FAIL() << "no exception";
  } catch (const KorDispatchError& e) {
    EXPECT_EQ(E_OUTOFMEMORY, e.Code());
    EXPECT_EQ(nullptr, e.Description());
    EXPECT_EQ(nullptr, e.Source());
  }
  orvo::ReportError(CLSID_SampleCalc, "Sample failure", E_FAIL, IID_ISample);
  try {
    orvo::ThrowOnFailure(E_FAIL);
    FAIL() << "no exception";
  } catch (const KorDispatchError& e) {
    EXPECT_EQ(E_FAIL, e.Code());
    EXPECT_EQ("Sample failure", Narrow(e.Description()));
  }
  IErrorInfo* left = nullptr;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &left));  // consumed by the error
}

}  // namespace
