// The module of orvocrypto: its object map and registration, the objects'
// identities and lifetimes, the member numbers of every class, and the page
// hooks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/crypto_interfaces.h"
#include "objects/object_map.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/outer_unknown.h"
#include "xatlcom/module.h"

namespace orvotest {
namespace {

struct ClassRow {
  const CLSID* clsid;
  const IID* iid;
  const wchar_t* progId;
  const wchar_t* versionIndependentProgId;
  std::vector<const char*> members;  // member n is members[n - 1]
};

const std::vector<ClassRow>& Classes() {
  static const std::vector<ClassRow> rows = {
      {&CLSID_CryptoAES, &IID_ICryptoSymmetric, L"Quelvar.OrvoCryptoAES.1", L"Quelvar.OrvoCryptoAES",
       {"OnStartPage", "OnEndPage", "KeyGen", "Key", "Encrypt", "Decrypt", "Mode", "Filler"}},
      {&CLSID_CryptoTwofish, &IID_ICryptoSymmetric, L"Quelvar.OrvoCryptoTwofish.1", L"Quelvar.OrvoCryptoTwofish",
       {"OnStartPage", "OnEndPage", "KeyGen", "Key", "Encrypt", "Decrypt", "Mode", "Filler"}},
      {&CLSID_CryptoBlowfish, &IID_ICryptoSymmetric, L"Quelvar.OrvoCryptoBlowfish.1", L"Quelvar.OrvoCryptoBlowfish",
       {"OnStartPage", "OnEndPage", "KeyGen", "Key", "Encrypt", "Decrypt", "Mode", "Filler"}},
      {&CLSID_CryptoRSA, &IID_ICryptoRSA, L"Quelvar.OrvoCryptoRSA.1", L"Quelvar.OrvoCryptoRSA",
       {"OnStartPage", "OnEndPage", "SetIV", "KeyGen", "PublicKey", "PrivateKey", "Encrypt", "Decrypt", "Sign",
        "Verify"}},
      {&CLSID_CryptoMisc, &IID_ICryptoMisc, L"Quelvar.OrvoCryptoMisc.1", L"Quelvar.OrvoCryptoMisc",
       {"OnStartPage", "OnEndPage", "MD5", "SHA1", "Random", "CRC32", "InsertLongToBlob", "ExtractLongFromBlob",
        "InsertBlobToBlob", "ExtractBlobFromBlob"}},
  };
  return rows;
}

using ModuleTest = ObjectsTest;

TEST_F(ModuleTest, ObjectMapListsTheFiveClassesInOrder) {
  const orvo::ObjectMapEntry* map = orvo::OrvoCryptoObjectMap();
  for (size_t i = 0; i < Classes().size(); ++i) {
    ASSERT_NE(nullptr, map[i].clsid);
    EXPECT_TRUE(IsEqualCLSID(*Classes()[i].clsid, *map[i].clsid)) << i;
  }
  EXPECT_EQ(nullptr, map[Classes().size()].clsid);
}

TEST_F(ModuleTest, BothProgIdsOfEveryClassAreRegistered) {
  for (const ClassRow& row : Classes()) {
    for (const wchar_t* progId : {row.progId, row.versionIndependentProgId}) {
      CLSID clsid = GUID_NULL;
      EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
      EXPECT_TRUE(IsEqualCLSID(*row.clsid, clsid));
    }
    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(*row.clsid, &progId));
    EXPECT_EQ(std::wstring(row.progId), std::wstring(progId));
    CoTaskMemFree(progId);
  }
}

TEST_F(ModuleTest, MemberNumbersFollowTheTables) {
  for (const ClassRow& row : Classes()) {
    IDispatch* object = Create(*row.clsid);
    for (size_t i = 0; i < row.members.size(); ++i) {
      std::string lower(row.members[i]);
      for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      std::wstring wide(lower.begin(), lower.end());
      LPOLESTR names[] = {&wide[0]};
      DISPID id = 0;
      EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << lower;
      EXPECT_EQ(static_cast<DISPID>(i + 1), id) << lower;
    }
    DISPPARAMS none = {};
    VARIANT result;
    VariantInit(&result);
    const DISPID past = static_cast<DISPID>(row.members.size() + 1);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              object->Invoke(past, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              object->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
  }
}

TEST_F(ModuleTest, InterfacesOfEachClass) {
  for (const ClassRow& row : Classes()) {
    IDispatch* object = Create(*row.clsid);
    IUnknown* own = nullptr;
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(*row.iid, reinterpret_cast<void**>(&own)));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(object), own);
    EXPECT_EQ(own, unknown);
    own->Release();
    unknown->Release();
    for (const IID* foreign : {&IID_ICryptoSymmetric, &IID_ICryptoRSA, &IID_ICryptoMisc, &IID_IOrvoBlob}) {
      if (foreign == row.iid) continue;
      void* none = &none;
      EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(*foreign, &none));
      EXPECT_EQ(nullptr, none);
    }
  }
}

TEST_F(ModuleTest, LiveObjectsAndResultBlobsKeepTheModuleAsTheyShould) {
  EXPECT_EQ(S_OK, DllCanUnloadNow());
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_CryptoMisc, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  IDispatch* misc = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&misc)));
  factory->Release();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  {
    Outcome digest = CallMethod(misc, "MD5", {Disp(NewBlob())});
    ASSERT_EQ(S_OK, digest.hr);
    EXPECT_EQ(0u, misc->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow()) << "a Blob it returned does not hold the module";
  }
  void* none = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_OrvoBlob, IID_IClassFactory, &none));
  EXPECT_EQ(nullptr, none);
}

TEST_F(ModuleTest, AggregatedObjectsWork) {
  orvo::test::OuterUnknown outer;
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_CryptoAES, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  IUnknown* inner = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, reinterpret_cast<void**>(&inner)));
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
  factory->Release();
  IDispatch* aes = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&aes)));
  EXPECT_EQ(2u, outer.refs);
  ASSERT_EQ(S_OK, CallStatement(aes, "KeyGen", {Disp(NewBlob()), I4(16)}).hr);
  EXPECT_EQ("0000000ad41d8cd98f00b204e9800998ecf8427e", HexOf(GetProperty(aes, "Key").BlobBytes()));
  aes->Release();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  EXPECT_EQ(0u, inner->Release());
  EXPECT_EQ(1u, outer.refs);
}

TEST_F(ModuleTest, PageHooksOnEveryClass) {
  IDispatch* context = Create(CLSID_CryptoMisc);  // any object serves as the scripting context
  for (const ClassRow& row : Classes()) {
    IDispatch* object = Create(*row.clsid);
    Outcome start = CallMethod(object, "OnStartPage", {Disp(context)});
    ASSERT_EQ(S_OK, start.hr);
    EXPECT_EQ(0, start.Long());
    VARIANT nullContext;
    VariantInit(&nullContext);
    V_VT(&nullContext) = VT_UNKNOWN;
    V_UNKNOWN(&nullContext) = nullptr;
    Outcome refused = Invoke(object, "OnStartPage", DISPATCH_METHOD, {nullContext}, true, Host::kJScript);
    ASSERT_EQ(S_OK, refused.hr);
    EXPECT_EQ(static_cast<LONG>(E_POINTER), refused.Long());
    Outcome end = CallMethod(object, "OnEndPage");
    ASSERT_EQ(S_OK, end.hr);
    EXPECT_EQ(0, end.Long());
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, CallMethod(object, "OnEndPage", {I4(1)}).hr);
  }
}

}  // namespace
}  // namespace orvotest
