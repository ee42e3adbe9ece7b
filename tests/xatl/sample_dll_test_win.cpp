// The sample server DLL through the real COM: self-registration, creation by
// ProgID, dispatch, error texts naming the DLL, aggregation and unloading.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/outer_unknown.h"
#include "tests/xatl/com_test_support.h"

namespace {

using namespace orvotest;

using Export = HRESULT(STDAPICALLTYPE*)();

class SampleServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    dll = LoadLibraryA(ORVO_SAMPLE_SERVER);
    ASSERT_NE(nullptr, dll) << ORVO_SAMPLE_SERVER;
    ASSERT_EQ(S_OK, Call("DllRegisterServer"));
  }
  void TearDown() override {
    EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
    CoUninitialize();
    FreeLibrary(dll);
  }
  HRESULT Call(const char* name) {
    auto fn = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return fn == nullptr ? E_NOTIMPL : fn();
  }
  std::string DllPath() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(dll, path, sizeof path);
    return std::string(path, n);
  }
  HMODULE dll = nullptr;
};

TEST_F(SampleServerTest, ScriptsReachTheClassesThroughCom) {
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"Orvo.SampleCalc", &clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_SampleCalc, clsid));
  IDispatch* calc = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&calc)));
  EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
  EXPECT_EQ(0, orvo::ModuleLockCount());  // the DLL's module state is its own, not this program's

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"twice")};
  DISPID id = 0;
  ASSERT_EQ(S_OK, calc->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(kTwice, id);
  Outcome twice;
  VARIANT three = I2(3);
  orvotest::Call(calc, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {ByRef(&three)}, false, true, twice);
  EXPECT_EQ(S_OK, twice.hr);
  EXPECT_EQ(6, V_I4(&twice.result));

  Outcome failed;
  orvotest::Call(calc, kFail, DISPATCH_METHOD, {I4(E_FAIL)}, false, false, failed);
  EXPECT_EQ(DISP_E_EXCEPTION, failed.hr);
  EXPECT_EQ(E_FAIL, failed.excep.scode);
  EXPECT_EQ("\nModule name:" + DllPath() + "\nSource:Orvo.SampleCalc.1", Narrow(failed.excep.bstrSource));
  const std::string description = Narrow(failed.excep.bstrDescription);
  EXPECT_EQ(0u, description.find("\nError:"));
  EXPECT_NE(std::string::npos, description.find("\nDescription:Sample failure"));

  calc->Release();
  EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
}

TEST_F(SampleServerTest, AggregationThroughCoCreateInstance) {
  orvo::test::OuterUnknown outer;
  IUnknown* inner = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_SampleCalc, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                    reinterpret_cast<void**>(&inner)));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleCalc, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&inner)));
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  EXPECT_EQ(2u, outer.refs);
  dispatch->Release();
  EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
  EXPECT_EQ(0u, inner->Release());
  EXPECT_EQ(1u, outer.refs);
  EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
}

TEST_F(SampleServerTest, UnregisteredClassesCannotBeFound) {
  ASSERT_EQ(S_OK, Call("DllUnregisterServer"));
  CLSID clsid = GUID_NULL;
  EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Orvo.SampleCalc", &clsid)));
  IDispatch* calc = nullptr;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_SampleCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                  reinterpret_cast<void**>(&calc)));
  ASSERT_EQ(S_OK, Call("DllRegisterServer"));  // for TearDown
}

}  // namespace
