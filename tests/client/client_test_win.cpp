// A host of our own for orvocrypto.dll and orvoblob.dll: it loads each DLL
// with LoadLibrary and reaches it only through its four exports, the class
// factories, IUnknown, IDispatch and the raw dual interfaces, the way other
// COM hosts and tools (regsvr32, script engines, compiled clients) use them.
// Covers what the script suites cannot produce: aggregation, LockServer and
// unloading, raw Invoke calls, error information after raw calls, and the
// registry entries read back through the registry API and through `reg query`.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "objects/crypto_interfaces.h"
#include "objects/guids.h"
#include "orvoblob/blob_interface.h"
#include "tests/support/outer_unknown.h"

namespace {

using Export = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

struct ClassRow {
  const char* dll;
  const CLSID* clsid;
  const IID* dual;  // the class's own interface; null: not checked
  const char* progId;
  const char* versionIndependentProgId;
};

const ClassRow kClasses[] = {
    {ORVO_CRYPTO_DLL, &CLSID_CryptoAES, &IID_ICryptoSymmetric, "Quelvar.OrvoCryptoAES.1", "Quelvar.OrvoCryptoAES"},
    {ORVO_CRYPTO_DLL, &CLSID_CryptoTwofish, &IID_ICryptoSymmetric, "Quelvar.OrvoCryptoTwofish.1",
     "Quelvar.OrvoCryptoTwofish"},
    {ORVO_CRYPTO_DLL, &CLSID_CryptoBlowfish, &IID_ICryptoSymmetric, "Quelvar.OrvoCryptoBlowfish.1",
     "Quelvar.OrvoCryptoBlowfish"},
    {ORVO_CRYPTO_DLL, &CLSID_CryptoRSA, &IID_ICryptoRSA, "Quelvar.OrvoCryptoRSA.1", "Quelvar.OrvoCryptoRSA"},
    {ORVO_CRYPTO_DLL, &CLSID_CryptoMisc, &IID_ICryptoMisc, "Quelvar.OrvoCryptoMisc.1", "Quelvar.OrvoCryptoMisc"},
    {ORVO_BLOB_DLL, &CLSID_OrvoBlob, nullptr, "Quelvar.OrvoBlob.1", "Quelvar.OrvoBlob"},
};

std::string ClsidText(REFCLSID clsid) {
  LPOLESTR wide = nullptr;
  if (FAILED(StringFromCLSID(clsid, &wide))) return {};
  char text[64];
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  CoTaskMemFree(wide);
  return text;
}

std::wstring Wide(BSTR text) { return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text)); }

// One loaded DLL, used only through its exports.
class Dll {
 public:
  explicit Dll(const char* path) : module_(LoadLibraryA(path)) {}
  ~Dll() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  HMODULE module() const { return module_; }
  HRESULT Call(const char* name) const {
    auto fn = reinterpret_cast<Export>(Find(name));
    return fn == nullptr ? E_NOTIMPL : fn();
  }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    auto fn = reinterpret_cast<::GetClassObject>(Find("DllGetClassObject"));
    return fn == nullptr ? E_NOTIMPL : fn(clsid, iid, out);
  }
  IClassFactory* Factory(REFCLSID clsid) const {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }
  // A new object of the class, asked for `iid`.
  template <class I>
  I* Create(REFCLSID clsid, REFIID iid) const {
    IClassFactory* factory = Factory(clsid);
    if (factory == nullptr) return nullptr;
    I* object = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)));
    factory->Release();
    return object;
  }
  std::string Path() const {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module_, path, sizeof path);
    return std::string(path, n);
  }

 private:
  void* Find(const char* name) const { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
  HMODULE module_;
};


class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

// ------------------------------------------------------------- exports

TEST_F(ClientTest, EachDllExportsTheFourFunctions) {
  for (const char* path : {ORVO_CRYPTO_DLL, ORVO_BLOB_DLL}) {
    SCOPED_TRACE(path);
    Dll dll(path);
    ASSERT_NE(nullptr, dll.module());
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
      EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(dll.module(), name))) << name;
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

TEST_F(ClientTest, ClassObjectsAreCachedAndHoldTheModule) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.progId);
    Dll dll(row.dll);
    ASSERT_NE(nullptr, dll.module());
    IClassFactory* first = dll.Factory(*row.clsid);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(S_FALSE, dll.Call("DllCanUnloadNow"));
    IUnknown* second = nullptr;
    ASSERT_EQ(S_OK, dll.GetClassObject(*row.clsid, IID_IUnknown, reinterpret_cast<void**>(&second)));
    EXPECT_EQ(static_cast<IUnknown*>(first), second);
    second->Release();
    first->Release();
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));

    // Still cached: asked again, the same object.
    IClassFactory* third = dll.Factory(*row.clsid);
    EXPECT_EQ(first, third);

    // LockServer counts, and only the outstanding locks hold the module.
    EXPECT_EQ(S_OK, third->LockServer(TRUE));
    EXPECT_EQ(S_OK, third->LockServer(TRUE));
    third->Release();
    EXPECT_EQ(S_FALSE, dll.Call("DllCanUnloadNow"));
    third = dll.Factory(*row.clsid);
    EXPECT_EQ(S_OK, third->LockServer(FALSE));
    third->Release();
    EXPECT_EQ(S_FALSE, dll.Call("DllCanUnloadNow"));
    third = dll.Factory(*row.clsid);
    EXPECT_EQ(S_OK, third->LockServer(FALSE));
    third->Release();
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));

    // The class factory answers IUnknown and IClassFactory only.
    IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(E_NOINTERFACE, dll.GetClassObject(*row.clsid, IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    EXPECT_EQ(nullptr, dispatch);
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

TEST_F(ClientTest, GetClassObjectRefusesForeignClassesAndNullOut) {
  Dll crypto(ORVO_CRYPTO_DLL);
  Dll blob(ORVO_BLOB_DLL);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, crypto.GetClassObject(CLSID_OrvoBlob, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, blob.GetClassObject(CLSID_CryptoAES, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, crypto.GetClassObject(CLSID_CryptoAES, IID_IClassFactory, nullptr));
  EXPECT_EQ(S_OK, crypto.Call("DllCanUnloadNow"));
  EXPECT_EQ(S_OK, blob.Call("DllCanUnloadNow"));
}

// ------------------------------------------------------------- objects

TEST_F(ClientTest, PlainObjectsFollowTheQueryInterfaceRules) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.progId);
    Dll dll(row.dll);
    IUnknown* unknown = dll.Create<IUnknown>(*row.clsid, IID_IUnknown);
    ASSERT_NE(nullptr, unknown);
    EXPECT_EQ(S_FALSE, dll.Call("DllCanUnloadNow"));

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(dispatch));
    if (row.dual != nullptr) {
      IUnknown* dual = nullptr;
      ASSERT_EQ(S_OK, unknown->QueryInterface(*row.dual, reinterpret_cast<void**>(&dual)));
      EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(dual));
      dual->Release();
    }
    // Reference counts of the plain form: 1 from creation, 1 from the QueryInterface.
    EXPECT_EQ(3u, dispatch->AddRef());
    EXPECT_EQ(2u, dispatch->Release());

    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IDispatch, nullptr));

    EXPECT_EQ(1u, dispatch->Release());
    EXPECT_EQ(0u, unknown->Release());
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

TEST_F(ClientTest, AnAesObjectIsNoRsaObject) {
  Dll dll(ORVO_CRYPTO_DLL);
  IDispatch* aes = dll.Create<IDispatch>(CLSID_CryptoAES, IID_IDispatch);
  ASSERT_NE(nullptr, aes);
  for (const IID* iid : {&IID_ICryptoRSA, &IID_ICryptoMisc, &IID_IOrvoBlob}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, aes->QueryInterface(*iid, &out));
    EXPECT_EQ(nullptr, out);
  }
  EXPECT_EQ(0u, aes->Release());
  EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
}

TEST_F(ClientTest, CreationForAMissingInterfaceLeavesNoObject) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.progId);
    Dll dll(row.dll);
    IClassFactory* factory = dll.Factory(*row.clsid);
    ASSERT_NE(nullptr, factory);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    factory->Release();
    // Only the failed object could hold the module now.
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

TEST_F(ClientTest, AggregatedObjectsForwardToTheControllingUnknown) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.progId);
    Dll dll(row.dll);
    IClassFactory* factory = dll.Factory(*row.clsid);
    ASSERT_NE(nullptr, factory);
    orvo::test::OuterUnknown outer;

    // Aggregation hands out the inner unknown only.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);

    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    factory->Release();
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), inner);
    EXPECT_EQ(1u, outer.refs) << "the aggregated object holds no reference to its outer unknown";
    EXPECT_EQ(S_FALSE, dll.Call("DllCanUnloadNow"));

    // The inner unknown counts for itself and answers IUnknown with itself.
    EXPECT_EQ(2u, inner->AddRef());
    IUnknown* again = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(inner, again);
    EXPECT_EQ(1u, outer.refs);
    again->Release();
    EXPECT_EQ(1u, inner->Release());

    // Its other interfaces count on the outer unknown.
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(dispatch));
    EXPECT_EQ(2u, outer.refs);
    dispatch->AddRef();
    EXPECT_EQ(3u, outer.refs);
    dispatch->Release();
    EXPECT_EQ(2u, outer.refs);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity) << "IUnknown through the object is the outer unknown";
    EXPECT_EQ(3u, outer.refs);
    identity->Release();
    // The outer unknown answers nothing else, and the object forwards that answer.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, dispatch->QueryInterface(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);
    dispatch->Release();
    EXPECT_EQ(1u, outer.refs);

    // The object still works as an IDispatch while aggregated.
    EXPECT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    UINT count = 7;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    dispatch->Release();

    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

// ------------------------------------------------------------- raw Invoke

class InvokeTest : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    aes = crypto.Create<IDispatch>(CLSID_CryptoAES, IID_IDispatch);
    misc = crypto.Create<IDispatch>(CLSID_CryptoMisc, IID_IDispatch);
    blob = blobs.Create<IDispatch>(CLSID_OrvoBlob, IID_IDispatch);
    ASSERT_NE(nullptr, aes);
    ASSERT_NE(nullptr, misc);
    ASSERT_NE(nullptr, blob);
    // The crypto objects create their result Blobs with CoCreateInstance.
    IClassFactory* blobClass = blobs.Factory(CLSID_OrvoBlob);
    ASSERT_NE(nullptr, blobClass);
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_OrvoBlob, blobClass, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &blobCookie));
    blobClass->Release();
  }
  void TearDown() override {
    for (IDispatch* object : {aes, misc, blob})
      if (object != nullptr) object->Release();
    if (blobCookie != 0) CoRevokeClassObject(blobCookie);
    EXPECT_EQ(S_OK, crypto.Call("DllCanUnloadNow"));
    EXPECT_EQ(S_OK, blobs.Call("DllCanUnloadNow"));
    ClientTest::TearDown();
  }
  static DISPID Id(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
    return id;
  }
  // Invoke with `args` given in the caller's order (reversed into rgvarg).
  struct Outcome {
    HRESULT hr;
    UINT argErr;
  };
  static Outcome Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args,
                      std::vector<DISPID> named = {}, VARIANT* result = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), named.empty() ? nullptr : named.data(),
                         static_cast<UINT>(reversed.size()), static_cast<UINT>(named.size())};
    EXCEPINFO excep = {};
    UINT argErr = 0xFFFF;
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argErr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return {hr, argErr};
  }
  static VARIANT Long(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
  }
  static VARIANT Object(IDispatch* value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = value;
    return v;
  }

  Dll crypto{ORVO_CRYPTO_DLL};
  Dll blobs{ORVO_BLOB_DLL};
  IDispatch* aes = nullptr;
  IDispatch* misc = nullptr;
  IDispatch* blob = nullptr;
  DWORD blobCookie = 0;
};

TEST_F(InvokeTest, NamedArgumentsOtherThanTheAssignedValueAreRefused) {
  const DISPID mode = Id(aes, L"Mode");
  struct Case {
    const char* what;
    std::vector<VARIANT> args;
    std::vector<DISPID> named;
  };
  const Case cases[] = {
      {"a named argument by number", {Long(1)}, {0}},
      {"a named argument that is a member number", {Long(1)}, {mode}},
      {"the assigned value named twice", {Long(1), Long(1)}, {DISPID_PROPERTYPUT, DISPID_PROPERTYPUT}},
      {"the assigned value and one more", {Long(1), Long(1)}, {DISPID_PROPERTYPUT, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DISP_E_NONAMEDARGS, Call(aes, mode, DISPATCH_PROPERTYPUT, c.args, c.named).hr);
    EXPECT_EQ(DISP_E_NONAMEDARGS, Call(aes, mode, DISPATCH_METHOD, c.args, c.named).hr);
  }
  // The one accepted form assigns.
  EXPECT_EQ(S_OK, Call(aes, mode, DISPATCH_PROPERTYPUT, {Long(1)}, {DISPID_PROPERTYPUT}).hr);
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(S_OK, Call(aes, mode, DISPATCH_PROPERTYGET, {}, {}, &result).hr);
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(1, V_I4(&result));
}

TEST_F(InvokeTest, WrongArgumentCountsNameTheArgument) {
  const DISPID encrypt = Id(aes, L"Encrypt");
  VARIANT result;
  VariantInit(&result);
  Outcome none = Call(aes, encrypt, DISPATCH_METHOD, {}, {}, &result);
  EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, none.hr);
  EXPECT_EQ(0u, none.argErr);
  Outcome two = Call(aes, encrypt, DISPATCH_METHOD, {Object(blob), Object(blob)}, {}, &result);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, two.hr);
  EXPECT_EQ(1u, two.argErr);
  // A member without parameters and without an object result takes no argument.
  Outcome extra = Call(aes, Id(aes, L"Mode"), DISPATCH_PROPERTYGET, {Long(1)}, {}, &result);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, extra.hr);
  // A put whose value is not the named argument is refused.
  EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, Call(aes, Id(aes, L"Mode"), DISPATCH_PROPERTYPUT, {Long(1)}).hr);
  EXPECT_EQ(VT_EMPTY, V_VT(&result));
}

TEST_F(InvokeTest, MemberNumbersWithoutAMemberAreNotFound) {
  const std::pair<IDispatch*, DISPID> cases[] = {
      {blob, DISPID_VALUE}, {aes, DISPID_VALUE}, {aes, -1},     {aes, 9},
      {aes, 0x10001},       {aes, 0x7FFF0001},   {misc, 0xFFFF}, {blob, 9},
  };
  for (const auto& [object, member] : cases) {
    SCOPED_TRACE(member);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(object, member, DISPATCH_PROPERTYGET, {}, {}, &result).hr);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(object, member, DISPATCH_METHOD, {}, {}, &result).hr);
    EXPECT_EQ(VT_EMPTY, V_VT(&result));
  }
  // A non-null riid is refused before the member is looked at.
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
            aes->Invoke(Id(aes, L"Mode"), IID_IDispatch, 0, DISPATCH_PROPERTYGET, &params, nullptr, nullptr, nullptr));
}

TEST_F(InvokeTest, AnArgumentThatCannotBeConvertedIsNamed) {
  const DISPID random = Id(misc, L"Random");
  VARIANT text;
  VariantInit(&text);
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"five");
  VARIANT result;
  VariantInit(&result);
  Outcome bad = Call(misc, random, DISPATCH_METHOD, {text}, {}, &result);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, bad.hr);
  EXPECT_EQ(0u, bad.argErr);
  EXPECT_EQ(VT_EMPTY, V_VT(&result));

  // The second of two arguments: InsertLongToBlob(blob, position, value).
  Outcome second = Call(misc, Id(misc, L"InsertLongToBlob"), DISPATCH_METHOD, {Object(blob), text, Long(1)});
  EXPECT_EQ(DISP_E_TYPEMISMATCH, second.hr);
  EXPECT_EQ(1u, second.argErr) << "rgvarg index of the position argument";
  VariantClear(&text);

  // The same member with a convertible string works.
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"5");
  EXPECT_EQ(S_OK, Call(misc, random, DISPATCH_METHOD, {text}, {}, &result).hr);
  VariantClear(&text);
  VariantClear(&result);
}

// ------------------------------------------------------------- errors

struct ErrorTexts {
  HRESULT hr;
  bool hasInfo;
  std::wstring source;
  std::wstring description;
};

// Encrypt through the raw dual interface on a keyless object, then the
// thread's error information.
ErrorTexts RawEncryptError(IDispatch* object, IDispatch* data) {
  ICryptoSymmetric* raw = nullptr;
  if (object->QueryInterface(IID_ICryptoSymmetric, reinterpret_cast<void**>(&raw)) != S_OK) return {E_NOINTERFACE, false, {}, {}};
  SetErrorInfo(0, nullptr);
  IDispatch* sealed = reinterpret_cast<IDispatch*>(1);
  ErrorTexts texts = {raw->Encrypt(data, &sealed), false, {}, {}};
  raw->Release();
  EXPECT_EQ(nullptr, sealed);
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return texts;
  texts.hasInfo = true;
  BSTR source = nullptr;
  BSTR description = nullptr;
  EXPECT_EQ(S_OK, info->GetSource(&source));
  EXPECT_EQ(S_OK, info->GetDescription(&description));
  texts.source = Wide(source);
  texts.description = Wide(description);
  SysFreeString(source);
  SysFreeString(description);
  info->Release();
  // GetErrorInfo took the information: it is gone now.
  info = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &info));
  EXPECT_EQ(nullptr, info);
  return texts;
}

TEST_F(InvokeTest, ARawCallLeavesErrorInformationNamedByTheRegisteredProgId) {
  // The source is the ProgID registered for the class: none while unregistered.
  ASSERT_EQ(S_OK, crypto.Call("DllUnregisterServer"));
  ErrorTexts unregistered = RawEncryptError(aes, blob);
  EXPECT_EQ(E_FAIL, unregistered.hr);
  EXPECT_TRUE(unregistered.hasInfo);
  EXPECT_EQ(L"", unregistered.source);
  EXPECT_EQ(L"Crypto System: Invalid key", unregistered.description);

  ASSERT_EQ(S_OK, crypto.Call("DllRegisterServer"));
  ErrorTexts registered = RawEncryptError(aes, blob);
  EXPECT_EQ(E_FAIL, registered.hr);
  EXPECT_TRUE(registered.hasInfo);
  EXPECT_EQ(L"Quelvar.OrvoCryptoAES.1", registered.source);
  EXPECT_EQ(L"Crypto System: Invalid key", registered.description);

  // The same failure through Invoke arrives composed in EXCEPINFO.
  VARIANT args[] = {Object(blob)};
  DISPPARAMS params = {args, nullptr, 1, 0};
  EXCEPINFO excep = {};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(DISP_E_EXCEPTION, aes->Invoke(Id(aes, L"Encrypt"), IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                                          &excep, nullptr));
  const std::string path = crypto.Path();
  EXPECT_EQ(L"\nModule name:" + std::wstring(path.begin(), path.end()) + L"\nSource:Quelvar.OrvoCryptoAES.1",
            Wide(excep.bstrSource));
  const std::wstring description = Wide(excep.bstrDescription);
  EXPECT_EQ(0u, description.find(L"\nError:")) << description.c_str();
  const std::wstring tail = L"\nDescription:Crypto System: Invalid key";
  EXPECT_TRUE(description.size() > tail.size() &&
              description.compare(description.size() - tail.size(), tail.size(), tail) == 0);
  EXPECT_EQ(E_FAIL, excep.scode);
  EXPECT_EQ(0, excep.wCode);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  EXPECT_EQ(S_OK, crypto.Call("DllUnregisterServer"));
}

// ------------------------------------------------------------- unloading

TEST_F(ClientTest, TheDllUnloadsOnceEverythingIsReleased) {
  for (const char* path : {ORVO_CRYPTO_DLL, ORVO_BLOB_DLL}) {
    SCOPED_TRACE(path);
    HMODULE module = LoadLibraryA(path);
    ASSERT_NE(nullptr, module);
    char name[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(module, name, sizeof name));
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, getClassObject);
    ASSERT_NE(nullptr, canUnloadNow);

    std::vector<IUnknown*> objects;
    for (const ClassRow& row : kClasses) {
      if (std::string(row.dll) != path) continue;
      IClassFactory* factory = nullptr;
      ASSERT_EQ(S_OK, getClassObject(*row.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
      for (int i = 0; i < 3; ++i) {
        IUnknown* object = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
        objects.push_back(object);
      }
      factory->Release();
    }
    EXPECT_EQ(S_FALSE, canUnloadNow());
    IUnknown* last = objects.back();
    objects.pop_back();
    for (IUnknown* object : objects) object->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow()) << "one object still lives";
    last->Release();
    EXPECT_EQ(S_OK, canUnloadNow());

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(nullptr, GetModuleHandleA(name)) << "the DLL is still mapped";
  }
}

// ------------------------------------------------------------- version resource

TEST_F(ClientTest, EachDllCarriesAVersionResource) {
  const std::pair<const char*, const char*> dlls[] = {{ORVO_CRYPTO_DLL, "orvocrypto.dll"},
                                                      {ORVO_BLOB_DLL, "orvoblob.dll"}};
  for (const auto& [path, fileName] : dlls) {
    SCOPED_TRACE(path);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_NE(0u, size);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\OriginalFilename",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(fileName, text);
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ("1.0.0.0", text);
  }
}

// ------------------------------------------------------------- registration

// A key's value through the registry API: REG_SZ text, or "<missing>".
std::string RegistryText(const std::string& key, const char* name) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<missing>";
  char data[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = MAX_PATH;
  const LONG status = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  if (size == 0 || data[size - 1] != 0) return "<not terminated>";
  return data;
}

bool KeyExists(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// Every value below a key, walked with the registry's enumeration calls:
// "<key path under HKCR>|<value name>" -> data, the default value named "".
// A value of another type than REG_SZ shows as "<type N>". Empty when there is
// no such key.
void CollectTree(HKEY parent, const std::string& path, std::map<std::string, std::string>& values) {
  char name[256];
  BYTE data[MAX_PATH + 1];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = sizeof name;
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG status = RegEnumValueA(parent, i, name, &nameLength, nullptr, &type, data, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_SUCCESS, status) << path;
    std::string text;
    if (type != REG_SZ) {
      text = "<type " + std::to_string(type) + ">";
    } else {
      ASSERT_TRUE(size > 0 && data[size - 1] == 0) << path << "|" << name << ": not terminated";
      text = reinterpret_cast<const char*>(data);
    }
    values[path + "|" + name] = text;
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = sizeof name;
    const LONG status = RegEnumKeyExA(parent, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_SUCCESS, status) << path;
    HKEY child;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, name, 0, KEY_READ, &child)) << path << "\\" << name;
    CollectTree(child, path + "\\" + name, values);
    RegCloseKey(child);
  }
}

std::map<std::string, std::string> RegQueryTree(const std::string& key) {
  std::map<std::string, std::string> values;
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return values;
  CollectTree(handle, key, values);
  RegCloseKey(handle);
  return values;
}

struct Entry {
  std::string key;
  const char* name;  // null: the default value
  std::string data;
};

std::vector<Entry> Entries(const ClassRow& row, const std::string& modulePath) {
  const std::string clsid = ClsidText(*row.clsid);
  const std::string classKey = "CLSID\\" + clsid;
  return {
      {row.progId, nullptr, "Description"},
      {std::string(row.progId) + "\\CLSID", nullptr, clsid},
      {row.versionIndependentProgId, nullptr, "Description"},
      {std::string(row.versionIndependentProgId) + "\\CLSID", nullptr, clsid},
      {classKey, nullptr, "Description"},
      {classKey + "\\ProgID", nullptr, row.progId},
      {classKey + "\\VersionIndependentProgID", nullptr, row.versionIndependentProgId},
      {classKey + "\\InprocServer32", nullptr, modulePath},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
  };
}

TEST_F(ClientTest, RegistrationWritesEveryEntryAndUnregistrationRemovesThem) {
  for (const char* path : {ORVO_CRYPTO_DLL, ORVO_BLOB_DLL}) {
    SCOPED_TRACE(path);
    Dll dll(path);
    ASSERT_NE(nullptr, dll.module());
    // Registering twice opens the keys that exist and writes the same values.
    ASSERT_EQ(S_OK, dll.Call("DllRegisterServer"));
    ASSERT_EQ(S_OK, dll.Call("DllRegisterServer"));
    for (const ClassRow& row : kClasses) {
      if (std::string(row.dll) != path) continue;
      SCOPED_TRACE(row.progId);
      // What reg lists below the three keys is exactly the expected set.
      std::map<std::string, std::string> listed;
      for (const std::string& root : {std::string(row.progId), std::string(row.versionIndependentProgId),
                                      "CLSID\\" + ClsidText(*row.clsid)})
        listed.merge(RegQueryTree(root));
      std::map<std::string, std::string> expected;
      for (const Entry& entry : Entries(row, dll.Path())) {
        SCOPED_TRACE(entry.key + " " + (entry.name == nullptr ? "(default)" : entry.name));
        EXPECT_EQ(entry.data, RegistryText(entry.key, entry.name));
        expected[entry.key + "|" + (entry.name == nullptr ? "" : entry.name)] = entry.data;
      }
      EXPECT_EQ(expected, listed);
      // Only the two values: no version-independent ProgID points at the versioned one.
      EXPECT_FALSE(KeyExists(std::string(row.versionIndependentProgId) + "\\CurVer"));
      // A subkey another tool added, two levels deep, goes with the class.
      HKEY added;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                               ("CLSID\\" + ClsidText(*row.clsid) + "\\InprocServer32\\Added\\Deeper").c_str(),
                                               0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &added, nullptr));
      RegCloseKey(added);
    }

    EXPECT_EQ(S_OK, dll.Call("DllUnregisterServer"));
    EXPECT_EQ(S_OK, dll.Call("DllUnregisterServer")) << "nothing left to remove";
    for (const ClassRow& row : kClasses) {
      if (std::string(row.dll) != path) continue;
      SCOPED_TRACE(row.progId);
      for (const Entry& entry : Entries(row, dll.Path())) EXPECT_FALSE(KeyExists(entry.key)) << entry.key;
      EXPECT_TRUE(RegQueryTree("CLSID\\" + ClsidText(*row.clsid)).empty());
    }
    EXPECT_TRUE(KeyExists("CLSID")) << "the CLSID root stays";
    EXPECT_EQ(S_OK, dll.Call("DllCanUnloadNow"));
  }
}

}  // namespace
