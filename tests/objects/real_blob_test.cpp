// The scripting objects with the real Blob component (its own module, loaded
// and registered as a host would find it), driven through IDispatch: a
// published vector end to end, one Blob passed as both arguments, and both
// modules ready to unload once everything is released.
#include <gtest/gtest.h>

#include "objects/object_map.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/blob_loader/blob_component.h"
#include "xatlcom/module.h"

namespace orvotest {
namespace {

class RealBlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(S_OK, blobs_.Start());
    orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
  }
  void TearDown() override {
    for (IDispatch* object : held_) object->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
    blobs_.Stop();
    EXPECT_EQ(S_OK, orvo::test::BlobComponent::CanUnloadNow());
    CoUninitialize();
  }

  IDispatch* Hold(IDispatch* object) {
    held_.push_back(object);
    return object;
  }
  IDispatch* CryptoObject(REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    IDispatch* object = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)));
    factory->Release();
    return Hold(object);
  }
  IDispatch* Blob(const wchar_t* hex) {
    IDispatch* blob = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_OrvoBlob, nullptr, 7, IID_IDispatch, reinterpret_cast<void**>(&blob)));
    EXPECT_EQ(S_OK, PutProperty(blob, "Hex", Str(hex)).hr);
    return Hold(blob);
  }
  // The Hex property of a Blob a member returned (the Outcome owns it).
  static std::wstring HexOf(const Outcome& out) {
    EXPECT_EQ(VT_DISPATCH, V_VT(&out.result));
    if (V_VT(&out.result) != VT_DISPATCH) return L"";
    const Outcome hex = GetProperty(V_DISPATCH(&out.result), "Hex");
    return std::wstring(V_BSTR(&hex.result), SysStringLen(V_BSTR(&hex.result)));
  }

  orvo::test::BlobComponent blobs_;
  std::vector<IDispatch*> held_;
};

TEST_F(RealBlobTest, AesVectorThroughRealBlobs) {
  // FIPS-197 appendix C.1, the key given as the AES key blob (round count 10).
  IDispatch* aes = CryptoObject(CLSID_CryptoAES);
  ASSERT_EQ(S_OK, PutProperty(aes, "Key", Disp(Blob(L"0000000A000102030405060708090a0b0c0d0e0f"))).hr);
  const Outcome sealed = CallMethod(aes, "Encrypt", {Disp(Blob(L"00112233445566778899aabbccddeeff"))});
  ASSERT_EQ(S_OK, sealed.hr);
  EXPECT_EQ(L"69C4E0D86A7B0430D8CDB78070B4C55A", HexOf(sealed));
}

TEST_F(RealBlobTest, OneBlobAsBothArgumentsOfInsertBlobToBlob) {
  IDispatch* misc = CryptoObject(CLSID_CryptoMisc);
  IDispatch* blob = Blob(L"0A0B");
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertBlobToBlob", {Disp(blob), I4(0), Disp(blob)}).hr);
  const Outcome hex = GetProperty(blob, "Hex");
  EXPECT_EQ(L"000000020A0B0A0B", std::wstring(V_BSTR(&hex.result), SysStringLen(V_BSTR(&hex.result))));
}

TEST_F(RealBlobTest, RsaKeyFromSeedsThroughRealBlobs) {
  IDispatch* maker = CryptoObject(CLSID_CryptoRSA);
  ASSERT_EQ(S_OK, CallStatement(maker, "KeyGen", {Disp(Blob(L"616C706861")), Disp(Blob(L"62657461")), I4(64)}).hr);
  const Outcome publicKey = GetProperty(maker, "PublicKey");
  // The key from the seeds "alpha" and "beta", as the independent Python reference computes it.
  EXPECT_EQ(L"00000040000000401A43223F4DE8C0D77EB3C409D6AC9147180926B4CA3B391AD41607BC21C1E8F9D6B3A873BBCF3CE1BCD2"
            L"3C214D1187B3C8C8F50047A8590357F2B430C7BB12C900000003010001",
            HexOf(publicKey));
}

}  // namespace
}  // namespace orvotest
