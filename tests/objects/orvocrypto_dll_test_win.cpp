// orvocrypto.dll through the real COM under Wine: self-registration, creation
// by ProgID, a call that makes a result Blob of the test Blob class registered
// in this process, error texts naming the DLL, and unloading.
#include <gtest/gtest.h>

#include <string>

#include "tests/objects/object_test_support.h"

namespace orvotest {
namespace {

using Export = HRESULT(STDAPICALLTYPE*)();

class OrvoCryptoDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Ledger().Reset();
    registration = new BlobClassRegistration;
    ASSERT_EQ(S_OK, registration->hr());
    dll = LoadLibraryA(ORVO_CRYPTO_DLL);
    ASSERT_NE(nullptr, dll) << ORVO_CRYPTO_DLL;
    ASSERT_EQ(S_OK, Call("DllRegisterServer"));
  }
  void TearDown() override {
    EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
    EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
    EXPECT_EQ(0, Ledger().live);
    EXPECT_TRUE(Ledger().violations.empty()) << ::testing::PrintToString(Ledger().violations);
    CoFreeUnusedLibraries();
    FreeLibrary(dll);
    delete registration;
    CoUninitialize();
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
  IDispatch* Create(const wchar_t* progId) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
    IDispatch* object = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&object)));
    return object;
  }

  HMODULE dll = nullptr;
  BlobClassRegistration* registration = nullptr;
};

TEST_F(OrvoCryptoDllTest, ScriptsReachEveryClassByProgId) {
  for (const wchar_t* progId : {L"Quelvar.OrvoCryptoAES", L"Quelvar.OrvoCryptoTwofish.1",
                                L"Quelvar.OrvoCryptoBlowfish", L"Quelvar.OrvoCryptoRSA.1", L"Quelvar.OrvoCryptoMisc"}) {
    IDispatch* object = Create(progId);
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
    Outcome end = CallMethod(object, "OnEndPage");
    EXPECT_EQ(S_OK, end.hr);
    object->Release();
  }
}

TEST_F(OrvoCryptoDllTest, AesEncryptsIntoATestBlobAndReportsFailures) {
  IDispatch* aes = Create(L"Quelvar.OrvoCryptoAES");
  ASSERT_NE(nullptr, aes);
  auto* key = new TestBlob("K", Hex("0000000a000102030405060708090a0b0c0d0e0f"));
  auto* data = new TestBlob("A", Hex("00112233445566778899aabbccddeeff"));
  ASSERT_EQ(S_OK, PutProperty(aes, "Key", Disp(key)).hr);
  {
    Outcome sealed = CallMethod(aes, "Encrypt", {Disp(data)});
    ASSERT_EQ(S_OK, sealed.hr);
    EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(sealed.BlobBytes()));  // FIPS-197 C.1
  }
  {
    Outcome failed = CallMethod(aes, "Decrypt", {Disp(key)});  // 20 bytes: not whole blocks
    EXPECT_EQ(DISP_E_EXCEPTION, failed.hr);
    EXPECT_EQ(E_FAIL, failed.excep.scode);
    EXPECT_EQ("Crypto System: Unable to decrypt data", failed.Description());
    EXPECT_EQ("Quelvar.OrvoCryptoAES.1", failed.Source());
    EXPECT_EQ(0u, std::string(failed.excep.bstrSource, failed.excep.bstrSource + SysStringLen(failed.excep.bstrSource))
                      .find("\nModule name:" + DllPath()));
  }
  EXPECT_EQ(1u, key->refs);
  EXPECT_EQ(1u, data->refs);
  key->Release();
  data->Release();
  EXPECT_EQ(0u, aes->Release());
}

}  // namespace
}  // namespace orvotest
