#include "tests/orvoblob/blob_test_support.h"

#include <cstring>

#include "objects/guids.h"

namespace blobtest {

VARIANT Array(SAFEARRAY* array) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = array;
  return v;
}

SAFEARRAY* ByteArray(const std::vector<uint8_t>& bytes, LONG lowerBound) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, lowerBound, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  if (array != nullptr && SUCCEEDED(SafeArrayAccessData(array, &data))) {
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  return array;
}

std::vector<uint8_t> BytesOf(SAFEARRAY* array) {
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  void* data = nullptr;
  std::vector<uint8_t> out;
  if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
    out.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + (upper - lower + 1));
    SafeArrayUnaccessData(array);
  }
  return out;
}

std::wstring Wide(BSTR text) { return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text)); }

void Get(IDispatch* object, DISPID member, Outcome& out) {
  Call(object, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, false, true, out);
}

void Put(IDispatch* object, DISPID member, VARIANT value, Outcome& out) {
  Call(object, member, DISPATCH_PROPERTYPUT, {value}, true, false, out);
}

void BlobFixture::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_EQ(S_OK, orvo::test::BlobComponent::RegisterServer());
  ASSERT_EQ(S_OK, component.Start());
  blob = NewBlob();
  ASSERT_NE(nullptr, blob);
  ASSERT_EQ(S_OK, blob->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&script)));
}

void BlobFixture::TearDown() {
  if (script != nullptr) script->Release();
  if (blob != nullptr) blob->Release();
  component.Stop();
  EXPECT_EQ(S_OK, orvo::test::BlobComponent::CanUnloadNow()) << "a reference was left behind";
  EXPECT_EQ(S_OK, orvo::test::BlobComponent::UnregisterServer());
  CoUninitialize();
}

IOrvoBlob* BlobFixture::NewBlob() {
  IOrvoBlob* made = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_OrvoBlob, nullptr, 7, IID_IOrvoBlob, reinterpret_cast<void**>(&made));
  EXPECT_EQ(S_OK, hr);
  return made;
}

void BlobFixture::SetHex(IDispatch* object, const wchar_t* hex) {
  Outcome out;
  Put(object, 1, Str(hex), out);
  ASSERT_EQ(S_OK, out.hr) << Narrow(out.excep.bstrDescription);
}

std::string BlobFixture::HexOf(IDispatch* object) {
  Outcome out;
  Get(object, 1, out);
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ(VT_BSTR, V_VT(&out.result));
  return V_VT(&out.result) == VT_BSTR ? Narrow(V_BSTR(&out.result)) : std::string();
}

}  // namespace blobtest
