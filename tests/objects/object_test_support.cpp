#include "tests/objects/object_test_support.h"

#include <cstdio>
#include <utility>

#include "objects/object_map.h"
#include "xatlcom/module.h"

namespace orvotest {

Bytes Hex(const std::string& text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

std::string HexOf(const Bytes& bytes) {
  std::string out;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    out += pair;
  }
  return out;
}

namespace {

// The text after `label` up to the next section ("\n" + a word + ":"), or "".
std::string Section(BSTR text, const std::string& label) {
  const std::string all = Narrow(text);
  const size_t at = all.find(label);
  if (at == std::string::npos) return "";
  return all.substr(at + label.size());
}

}  // namespace

std::string Outcome::Description() const { return Section(excep.bstrDescription, "\nDescription:"); }
std::string Outcome::Source() const { return Section(excep.bstrSource, "\nSource:"); }

TestBlob* Outcome::Blob() const {
  if (V_VT(&result) != VT_DISPATCH) {
    ADD_FAILURE() << "no object returned: vt " << V_VT(&result) << ", hr " << std::hex << hr;
    return nullptr;
  }
  TestBlob* blob = TestBlob::From(V_DISPATCH(&result));
  if (blob == nullptr) ADD_FAILURE() << "the object returned is not a Blob";
  return blob;
}

Bytes Outcome::BlobBytes() const {
  TestBlob* blob = Blob();
  return blob == nullptr ? Bytes{} : blob->Bytes();
}

LONG Outcome::Long() const {
  EXPECT_EQ(VT_I4, V_VT(&result));
  return V_I4(&result);
}

Outcome Invoke(IDispatch* object, const char* name, WORD flags, std::vector<VARIANT> args, bool wantResult,
               Host host, bool putValue) {
  Outcome out;
  std::wstring wide(name, name + std::char_traits<char>::length(name));
  LPOLESTR names[] = {&wide[0]};
  DISPID member = 0;
  out.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
  if (FAILED(out.hr)) {
    ADD_FAILURE() << "GetIDsOfNames(" << name << ")";
    return out;
  }
  // VBScript passes each variable by reference.
  Call(object, member, flags, std::move(args), putValue, wantResult, out,
       host == Host::kVBScript ? ArgForm::kByReference : ArgForm::kByValue);
  return out;
}

Outcome CallMethod(IDispatch* object, const char* name, std::vector<VARIANT> args) {
  return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), true);
}
Outcome CallStatement(IDispatch* object, const char* name, std::vector<VARIANT> args) {
  return Invoke(object, name, DISPATCH_METHOD, std::move(args), false);
}
Outcome GetProperty(IDispatch* object, const char* name) {
  return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, true);
}
Outcome PutProperty(IDispatch* object, const char* name, VARIANT value, Host host) {
  const WORD flags = host == Host::kJScript && V_VT(&value) == VT_DISPATCH
                         ? static_cast<WORD>(DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)
                         : static_cast<WORD>(DISPATCH_PROPERTYPUT);
  return Invoke(object, name, flags, {value}, false, host, true);
}
Outcome PutRefProperty(IDispatch* object, const char* name, VARIANT value) {
  return Invoke(object, name, DISPATCH_PROPERTYPUTREF, {value}, false, Host::kVBScript, true);
}

void ExpectFailure(const Outcome& out, HRESULT scode, const char* message, const char* where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
  EXPECT_EQ(scode, out.excep.scode);
  if (message == nullptr) {
    EXPECT_EQ("", out.Description());
    EXPECT_EQ(std::string::npos, std::string(Narrow(out.excep.bstrDescription)).find("\nDescription:"));
  } else {
    EXPECT_EQ(message, out.Description());
  }
  EXPECT_EQ(VT_EMPTY, V_VT(&out.result));
}

void ObjectsTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  Ledger().Reset();
  ASSERT_EQ(0, Ledger().live);
  registration_ = new BlobClassRegistration;
  ASSERT_EQ(S_OK, registration_->hr());
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
  ASSERT_EQ(S_OK, DllRegisterServer());
}

void ObjectsTest::TearDown() {
  for (IDispatch* object : objects_) object->Release();
  for (TestBlob* blob : blobs_) {
    EXPECT_EQ(0, blob->lockDepth) << blob->name;
    EXPECT_EQ(1u, blob->refs) << blob->name << ": references not released";
    blob->Release();
  }
  EXPECT_EQ(0, Ledger().live) << "Blobs left alive";
  EXPECT_TRUE(Ledger().violations.empty()) << ::testing::PrintToString(Ledger().violations);
  EXPECT_EQ(S_OK, DllCanUnloadNow());
  EXPECT_EQ(S_OK, DllUnregisterServer());
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
  delete registration_;
  CoUninitialize();
}

IDispatch* CreateObject(REFCLSID clsid) {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  if (factory == nullptr) return nullptr;
  IDispatch* object = nullptr;
  EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)));
  factory->Release();
  return object;
}

IDispatch* ObjectsTest::Create(REFCLSID clsid) {
  IDispatch* object = CreateObject(clsid);
  if (object != nullptr) objects_.push_back(object);
  return object;
}

TestBlob* ObjectsTest::NewBlob(const Bytes& bytes, const std::string& name) {
  auto* blob = new TestBlob(name.empty() ? "B" + std::to_string(blobs_.size() + 1) : name, bytes);
  blobs_.push_back(blob);
  return blob;
}

TestBlob* ObjectsTest::Keep(Outcome& out) {
  TestBlob* blob = out.Blob();
  if (blob == nullptr) return nullptr;
  V_VT(&out.result) = VT_EMPTY;  // the reference moves to the fixture
  blobs_.push_back(blob);
  return blob;
}

}  // namespace orvotest
