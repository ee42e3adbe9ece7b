// VariantChangeType for the types script hosts send, with no flags. The
// expected values were measured with the real oleaut32 (Wine 8's, whose own
// tests hold it to Windows), and this table runs against it in the cross build.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/dispatch_calls.h"
#include "xatlcom/platform.h"

namespace {

// A hand-made object: member 0 gives 7, or (without default) nothing.
class Obj final : public IDispatch {
 public:
  explicit Obj(bool withDefault, bool isDispatch = true) : hasDefault(withDefault), dispatch(isDispatch) {}
  virtual ~Obj() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || (dispatch && IsEqualIID(riid, IID_IDispatch))) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (member != DISPID_VALUE || !hasDefault || result == nullptr) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_I4;
    V_I4(result) = 7;
    return S_OK;
  }
  bool hasDefault;
  bool dispatch;
  ULONG refs = 1;
};

Obj withDefault(true);
Obj withoutDefault(false);
Obj notDispatch(false, false);

using orvotest::Bool;
using orvotest::ByRef;
using orvotest::Disp;
using orvotest::Empty;
using orvotest::I2;
using orvotest::I4;
using orvotest::Null;
using orvotest::R8;
using orvotest::Str;
using orvotest::UI4;
using orvotest::Unk;

VARIANT* Held(VARIANT value) {
  static VARIANT slots[4];
  static int next = 0;
  VARIANT* slot = &slots[next++ % 4];
  *slot = value;
  return slot;
}

struct Conversion {
  const char* what;
  std::function<VARIANT()> source;
  VARTYPE target;
  HRESULT hr;
  double number;          // the numeric result (VT_I2, VT_I4, VT_UI4, VT_R8, VT_BOOL)
  const wchar_t* text;    // the VT_BSTR result
  IUnknown* object;       // the VT_DISPATCH / VT_UNKNOWN result
};

constexpr HRESULT OK = S_OK;
constexpr HRESULT MISMATCH = DISP_E_TYPEMISMATCH;
constexpr HRESULT OVERFLOW_ = DISP_E_OVERFLOW;

const Conversion kConversions[] = {
    // VT_EMPTY (JScript's undefined).
    {"empty to I2", Empty, VT_I2, OK, 0, nullptr, nullptr},
    {"empty to I4", Empty, VT_I4, OK, 0, nullptr, nullptr},
    {"empty to UI4", Empty, VT_UI4, OK, 0, nullptr, nullptr},
    {"empty to R8", Empty, VT_R8, OK, 0, nullptr, nullptr},
    {"empty to BOOL", Empty, VT_BOOL, OK, 0, nullptr, nullptr},
    {"empty to BSTR", Empty, VT_BSTR, OK, 0, L"", nullptr},
    {"empty to DISPATCH", Empty, VT_DISPATCH, MISMATCH, 0, nullptr, nullptr},
    {"empty to UNKNOWN", Empty, VT_UNKNOWN, MISMATCH, 0, nullptr, nullptr},
    {"empty to NULL", Empty, VT_NULL, OK, 0, nullptr, nullptr},
    // VT_NULL (JScript's null).
    {"null to I4", Null, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"null to BSTR", Null, VT_BSTR, MISMATCH, 0, nullptr, nullptr},
    {"null to DISPATCH", Null, VT_DISPATCH, MISMATCH, 0, nullptr, nullptr},
    {"null to EMPTY", Null, VT_EMPTY, MISMATCH, 0, nullptr, nullptr},
    {"null to NULL", Null, VT_NULL, OK, 0, nullptr, nullptr},
    // VT_BOOL.
    {"true to I2", [] { return Bool(true); }, VT_I2, OK, -1, nullptr, nullptr},
    {"true to I4", [] { return Bool(true); }, VT_I4, OK, -1, nullptr, nullptr},
    {"true to UI4", [] { return Bool(true); }, VT_UI4, OK, 4294967295.0, nullptr, nullptr},
    {"true to R8", [] { return Bool(true); }, VT_R8, OK, -1, nullptr, nullptr},
    {"true to BSTR", [] { return Bool(true); }, VT_BSTR, OK, 0, L"-1", nullptr},
    {"false to I4", [] { return Bool(false); }, VT_I4, OK, 0, nullptr, nullptr},
    // VT_I2 (small VBScript literals).
    {"I2 -1 to I4", [] { return I2(-1); }, VT_I4, OK, -1, nullptr, nullptr},
    {"I2 -1 to UI4", [] { return I2(-1); }, VT_UI4, OVERFLOW_, 0, nullptr, nullptr},
    {"I2 -1 to R8", [] { return I2(-1); }, VT_R8, OK, -1, nullptr, nullptr},
    {"I2 -1 to BOOL", [] { return I2(-1); }, VT_BOOL, OK, -1, nullptr, nullptr},
    {"I2 -1 to BSTR", [] { return I2(-1); }, VT_BSTR, OK, 0, L"-1", nullptr},
    {"I2 5 to DISPATCH", [] { return I2(5); }, VT_DISPATCH, MISMATCH, 0, nullptr, nullptr},
    // VT_I4.
    {"I4 70000 to I2", [] { return I4(70000); }, VT_I2, OVERFLOW_, 0, nullptr, nullptr},
    {"I4 -5 to UI4 keeps the bits", [] { return I4(-5); }, VT_UI4, OK, 4294967291.0, nullptr, nullptr},
    {"I4 5 to BOOL", [] { return I4(5); }, VT_BOOL, OK, -1, nullptr, nullptr},
    {"I4 0 to BOOL", [] { return I4(0); }, VT_BOOL, OK, 0, nullptr, nullptr},
    {"I4 123 to BSTR", [] { return I4(123); }, VT_BSTR, OK, 0, L"123", nullptr},
    {"I4 5 to UNKNOWN", [] { return I4(5); }, VT_UNKNOWN, MISMATCH, 0, nullptr, nullptr},
    {"I4 5 to EMPTY", [] { return I4(5); }, VT_EMPTY, OK, 0, nullptr, nullptr},
    // VT_UI4: to VT_I4 the bits are kept.
    {"UI4 big to I4", [] { return UI4(0xCBF43926u); }, VT_I4, OK, -873187034, nullptr, nullptr},
    {"UI4 big to I2", [] { return UI4(0xCBF43926u); }, VT_I2, OVERFLOW_, 0, nullptr, nullptr},
    {"UI4 big to R8", [] { return UI4(0xCBF43926u); }, VT_R8, OK, 3421780262.0, nullptr, nullptr},
    {"UI4 big to BSTR", [] { return UI4(0xCBF43926u); }, VT_BSTR, OK, 0, L"3421780262", nullptr},
    // VT_R8: half to even, and the range limits.
    {"2.5 to I4", [] { return R8(2.5); }, VT_I4, OK, 2, nullptr, nullptr},
    {"3.5 to I4", [] { return R8(3.5); }, VT_I4, OK, 4, nullptr, nullptr},
    {"1.5 to I2", [] { return R8(1.5); }, VT_I2, OK, 2, nullptr, nullptr},
    {"0.5 to I4", [] { return R8(0.5); }, VT_I4, OK, 0, nullptr, nullptr},
    {"-0.5 to I4", [] { return R8(-0.5); }, VT_I4, OK, 0, nullptr, nullptr},
    {"-0.5 to UI4", [] { return R8(-0.5); }, VT_UI4, OK, 0, nullptr, nullptr},
    {"-0.51 to I4", [] { return R8(-0.51); }, VT_I4, OK, -1, nullptr, nullptr},
    {"-0.51 to UI4", [] { return R8(-0.51); }, VT_UI4, OVERFLOW_, 0, nullptr, nullptr},
    {"2147483647.49 to I4", [] { return R8(2147483647.49); }, VT_I4, OK, 2147483647, nullptr, nullptr},
    {"2147483647.5 to I4", [] { return R8(2147483647.5); }, VT_I4, OVERFLOW_, 0, nullptr, nullptr},
    {"2147483647.5 to UI4", [] { return R8(2147483647.5); }, VT_UI4, OK, 2147483648.0, nullptr, nullptr},
    {"-2147483648.5 to I4", [] { return R8(-2147483648.5); }, VT_I4, OK, -2147483648.0, nullptr, nullptr},
    {"-2147483648.51 to I4", [] { return R8(-2147483648.51); }, VT_I4, OVERFLOW_, 0, nullptr, nullptr},
    {"4294967295.49 to UI4", [] { return R8(4294967295.49); }, VT_UI4, OK, 4294967295.0, nullptr, nullptr},
    {"4294967295.5 to UI4", [] { return R8(4294967295.5); }, VT_UI4, OVERFLOW_, 0, nullptr, nullptr},
    {"32767.5 to I2", [] { return R8(32767.5); }, VT_I2, OVERFLOW_, 0, nullptr, nullptr},
    {"-32768.5 to I2", [] { return R8(-32768.5); }, VT_I2, OK, -32768, nullptr, nullptr},
    {"1e17 to I4", [] { return R8(1.2e17); }, VT_I4, OVERFLOW_, 0, nullptr, nullptr},
    {"1e-5 to BOOL", [] { return R8(1e-5); }, VT_BOOL, OK, -1, nullptr, nullptr},
    {"0.0 to BOOL", [] { return R8(0.0); }, VT_BOOL, OK, 0, nullptr, nullptr},
    {"2.5 to BSTR", [] { return R8(2.5); }, VT_BSTR, OK, 0, L"2.5", nullptr},
    {"-0.5 to BSTR", [] { return R8(-0.5); }, VT_BSTR, OK, 0, L"-0.5", nullptr},
    {"1e-5 to BSTR", [] { return R8(1e-5); }, VT_BSTR, OK, 0, L"1E-05", nullptr},
    {"1.2e17 to BSTR", [] { return R8(123456789012345678.0); }, VT_BSTR, OK, 0, L"1.23456789012346E+17", nullptr},
    // VT_BSTR holding numbers.
    {"\"5\" to I4", [] { return Str(L"5"); }, VT_I4, OK, 5, nullptr, nullptr},
    {"\" 5 \" to I4", [] { return Str(L" 5 "); }, VT_I4, OK, 5, nullptr, nullptr},
    {"\"5\" to I2", [] { return Str(L"5"); }, VT_I2, OK, 5, nullptr, nullptr},
    {"\"5\" to UI4", [] { return Str(L"5"); }, VT_UI4, OK, 5, nullptr, nullptr},
    {"\"7\" to R8", [] { return Str(L"7"); }, VT_R8, OK, 7, nullptr, nullptr},
    {"\"2.5\" to I4", [] { return Str(L"2.5"); }, VT_I4, OK, 2, nullptr, nullptr},
    {"\"3.5\" to I4", [] { return Str(L"3.5"); }, VT_I4, OK, 4, nullptr, nullptr},
    {"\"-7\" to I4", [] { return Str(L"-7"); }, VT_I4, OK, -7, nullptr, nullptr},
    {"\"-7\" to UI4", [] { return Str(L"-7"); }, VT_UI4, OVERFLOW_, 0, nullptr, nullptr},
    {"\"+7\" to I4", [] { return Str(L"+7"); }, VT_I4, OK, 7, nullptr, nullptr},
    {"\"1e3\" to I4", [] { return Str(L"1e3"); }, VT_I4, OK, 1000, nullptr, nullptr},
    {"\"&H10\" to I4", [] { return Str(L"&H10"); }, VT_I4, OK, 16, nullptr, nullptr},
    {"\"&O17\" to I4", [] { return Str(L"&O17"); }, VT_I4, OK, 15, nullptr, nullptr},
    {"\"1,000\" to I4", [] { return Str(L"1,000"); }, VT_I4, OK, 1000, nullptr, nullptr},
    {"\"1.\" to I4", [] { return Str(L"1."); }, VT_I4, OK, 1, nullptr, nullptr},
    {"\".5\" to I4", [] { return Str(L".5"); }, VT_I4, OK, 0, nullptr, nullptr},
    {"\".5\" to R8", [] { return Str(L".5"); }, VT_R8, OK, 0.5, nullptr, nullptr},
    {"\"2147483648\" to I4", [] { return Str(L"2147483648"); }, VT_I4, OVERFLOW_, 0, nullptr, nullptr},
    {"\"2147483648\" to UI4", [] { return Str(L"2147483648"); }, VT_UI4, OK, 2147483648.0, nullptr, nullptr},
    {"\"-2147483648\" to I4", [] { return Str(L"-2147483648"); }, VT_I4, OK, -2147483648.0, nullptr, nullptr},
    {"\"4294967295\" to UI4", [] { return Str(L"4294967295"); }, VT_UI4, OK, 4294967295.0, nullptr, nullptr},
    {"\"1e400\" to R8", [] { return Str(L"1e400"); }, VT_R8, OVERFLOW_, 0, nullptr, nullptr},
    {"\"abc\" to I4", [] { return Str(L"abc"); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\"abc\" to R8", [] { return Str(L"abc"); }, VT_R8, MISMATCH, 0, nullptr, nullptr},
    {"\"abc\" to BOOL", [] { return Str(L"abc"); }, VT_BOOL, MISMATCH, 0, nullptr, nullptr},
    {"\"\" to I4", [] { return Str(L""); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\" \" to I4", [] { return Str(L" "); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\"5 6\" to I4", [] { return Str(L"5 6"); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\"0x10\" to I4", [] { return Str(L"0x10"); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\"True\" to BOOL", [] { return Str(L"True"); }, VT_BOOL, OK, -1, nullptr, nullptr},
    {"\"false\" to BOOL", [] { return Str(L"false"); }, VT_BOOL, OK, 0, nullptr, nullptr},
    {"\"True\" to I4", [] { return Str(L"True"); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"\"5\" to BOOL", [] { return Str(L"5"); }, VT_BOOL, OK, -1, nullptr, nullptr},
    {"\"0\" to BOOL", [] { return Str(L"0"); }, VT_BOOL, OK, 0, nullptr, nullptr},
    {"\"5\" to DISPATCH", [] { return Str(L"5"); }, VT_DISPATCH, MISMATCH, 0, nullptr, nullptr},
    // VT_DISPATCH: scalars come from the default member.
    {"null object to I4", [] { return Disp(nullptr); }, VT_I4, DISP_E_BADVARTYPE, 0, nullptr, nullptr},
    {"null object to UNKNOWN", [] { return Disp(nullptr); }, VT_UNKNOWN, OK, 0, nullptr, nullptr},
    {"object with default to I4", [] { return Disp(&withDefault); }, VT_I4, OK, 7, nullptr, nullptr},
    {"object with default to UI4", [] { return Disp(&withDefault); }, VT_UI4, OK, 7, nullptr, nullptr},
    {"object with default to BSTR", [] { return Disp(&withDefault); }, VT_BSTR, OK, 0, L"7", nullptr},
    {"object without default to I4", [] { return Disp(&withoutDefault); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"object to UNKNOWN", [] { return Disp(&withoutDefault); }, VT_UNKNOWN, OK, 0, nullptr, &withoutDefault},
    {"object to DISPATCH", [] { return Disp(&withoutDefault); }, VT_DISPATCH, OK, 0, nullptr, &withoutDefault},
    // VT_UNKNOWN.
    {"null unknown to DISPATCH", [] { return Unk(nullptr); }, VT_DISPATCH, OK, 0, nullptr, nullptr},
    {"null unknown to I4", [] { return Unk(nullptr); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"unknown to DISPATCH", [] { return Unk(&withDefault); }, VT_DISPATCH, OK, 0, nullptr, &withDefault},
    {"unknown without IDispatch to DISPATCH", [] { return Unk(&notDispatch); }, VT_DISPATCH, E_NOINTERFACE, 0, nullptr, nullptr},
    {"unknown to I4", [] { return Unk(&withDefault); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    // VT_BYREF|VT_VARIANT (VBScript's arguments): one level is followed.
    {"byref I2 5 to I4", [] { return ByRef(Held(I2(5))); }, VT_I4, OK, 5, nullptr, nullptr},
    {"byref empty to I4", [] { return ByRef(Held(Empty())); }, VT_I4, OK, 0, nullptr, nullptr},
    {"byref null to I4", [] { return ByRef(Held(Null())); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"byref empty to DISPATCH", [] { return ByRef(Held(Empty())); }, VT_DISPATCH, MISMATCH, 0, nullptr, nullptr},
    {"byref object to DISPATCH", [] { return ByRef(Held(Disp(&withoutDefault))); }, VT_DISPATCH, OK, 0, nullptr, &withoutDefault},
    {"byref \"12\" to I4", [] { return ByRef(Held(Str(L"12"))); }, VT_I4, OK, 12, nullptr, nullptr},
    {"byref of byref", [] { return ByRef(Held(ByRef(Held(I2(5))))); }, VT_I4, E_INVALIDARG, 0, nullptr, nullptr},
    {"byref to nothing", [] { return ByRef(nullptr); }, VT_I4, MISMATCH, 0, nullptr, nullptr},
    {"to byref variant", [] { return I4(5); }, VT_BYREF | VT_VARIANT, MISMATCH, 0, nullptr, nullptr},
};

double Numeric(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_I2: return V_I2(&v);
    case VT_I4: return V_I4(&v);
    case VT_UI4: return V_UI4(&v);
    case VT_R8: return V_R8(&v);
    case VT_BOOL: return V_BOOL(&v);
    default: return std::nan("");
  }
}

std::wstring Text(BSTR b) { return std::wstring(b, SysStringLen(b)); }

TEST(VariantChangeTypeTest, ConvertsAsOleAutomationDoes) {
  for (const Conversion& c : kConversions) {
    SCOPED_TRACE(c.what);
    VARIANT source = c.source();
    const VARIANT before = source;
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = VariantChangeType(&out, &source, 0, c.target);
    EXPECT_EQ(c.hr, hr);
    EXPECT_EQ(before.vt, source.vt);  // the source is not changed
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(c.target, V_VT(&out));
      if (c.target == VT_BSTR) {
        ASSERT_NE(nullptr, c.text);
        EXPECT_EQ(std::wstring(c.text), Text(V_BSTR(&out)));
      } else if (c.target == VT_DISPATCH || c.target == VT_UNKNOWN) {
        EXPECT_EQ(c.object, V_UNKNOWN(&out));
      } else if (c.target != VT_EMPTY && c.target != VT_NULL) {
        EXPECT_EQ(c.number, Numeric(out));
      }
    } else {
      EXPECT_EQ(VT_EMPTY, V_VT(&out));  // left as it was
    }
    VariantClear(&out);
    if (V_VT(&source) == VT_BSTR) VariantClear(&source);
  }
  EXPECT_EQ(1u, withDefault.refs);  // references taken by conversions were given back
  EXPECT_EQ(1u, withoutDefault.refs);
  EXPECT_EQ(1u, notDispatch.refs);
}

TEST(VariantTest, CopyAndClearOwnStringsAndReferences) {
  VARIANT text = Str(L"abc");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &text));
  EXPECT_NE(V_BSTR(&text), V_BSTR(&copy));
  EXPECT_EQ(L"abc", Text(V_BSTR(&copy)));
  VARIANT object = Disp(&withDefault);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &object));  // clears the string first
  EXPECT_EQ(2u, withDefault.refs);
  EXPECT_EQ(S_OK, VariantClear(&copy));
  EXPECT_EQ(VT_EMPTY, V_VT(&copy));
  EXPECT_EQ(1u, withDefault.refs);
  VariantClear(&text);
}

TEST(BstrTest, LengthsCountCharactersIncludingEmbeddedZeros) {
  const OLECHAR chars[] = {L'a', 0, L'b'};
  BSTR s = SysAllocStringLen(chars, 3);
  EXPECT_EQ(3u, SysStringLen(s));
  EXPECT_EQ(0, s[3]);
  EXPECT_EQ(L'b', s[2]);
  EXPECT_EQ(TRUE, SysReAllocString(&s, L"longer text"));
  EXPECT_EQ(11u, SysStringLen(s));
  SysFreeString(s);
  EXPECT_EQ(nullptr, SysAllocString(nullptr));
  EXPECT_EQ(0u, SysStringLen(nullptr));
  BSTR empty = SysAllocStringLen(nullptr, 0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(0u, SysStringLen(empty));
  SysFreeString(empty);
}

}  // namespace
