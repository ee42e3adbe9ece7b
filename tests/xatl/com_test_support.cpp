#include "tests/xatl/com_test_support.h"

#include <cstring>

namespace orvotest {

VARIANT I2(SHORT v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_I2;
  V_I2(&x) = v;
  return x;
}
VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_I4;
  V_I4(&x) = v;
  return x;
}
VARIANT R8(double v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_R8;
  V_R8(&x) = v;
  return x;
}
VARIANT Bool(bool v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_BOOL;
  V_BOOL(&x) = v ? VARIANT_TRUE : VARIANT_FALSE;
  return x;
}
VARIANT Str(const wchar_t* text) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_BSTR;
  V_BSTR(&x) = SysAllocString(text);
  return x;
}
VARIANT Disp(IDispatch* object) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_DISPATCH;
  V_DISPATCH(&x) = object;
  return x;
}
VARIANT Unk(IUnknown* object) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_UNKNOWN;
  V_UNKNOWN(&x) = object;
  return x;
}
VARIANT Null() {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_NULL;
  return x;
}
VARIANT Empty() {
  VARIANT x;
  VariantInit(&x);
  return x;
}
VARIANT ByRef(VARIANT* inner) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&x) = inner;
  return x;
}

std::wstring Wide(const std::string& text) {
  std::wstring out;
  for (const char c : text) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; i < SysStringLen(text); ++i) out += static_cast<char>(text[i]);
  return out;
}

Outcome::Outcome() { VariantInit(&result); }
Outcome::~Outcome() {
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

void Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, bool namedPut, bool wantResult,
          Outcome& out) {
  std::vector<VARIANT> rgvarg(args.rbegin(), args.rend());
  const std::vector<VARIANT> before = rgvarg;
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params = {rgvarg.empty() ? nullptr : rgvarg.data(), namedPut ? &putId : nullptr,
                       static_cast<UINT>(rgvarg.size()), namedPut ? 1u : 0u};
  out.hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, wantResult ? &out.result : nullptr,
                          &out.excep, &out.argErr);
  for (size_t i = 0; i < rgvarg.size(); ++i)
    EXPECT_EQ(0, std::memcmp(&before[i], &rgvarg[i], sizeof(VARIANT))) << "argument " << i << " was changed";
  for (VARIANT& v : args)
    if (V_VT(&v) == VT_BSTR) VariantClear(&v);  // objects are lent, strings owned
}

HRESULT ValueObject::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT ValueObject::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                            UINT*) {
  if (member != DISPID_VALUE || !hasDefault) {
    log += "miss;";
    return DISP_E_MEMBERNOTFOUND;
  }
  if ((flags & DISPATCH_PROPERTYPUT) != 0) {
    if (params->cArgs != 1 || params->cNamedArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = VariantChangeType(&v, &params->rgvarg[0], 0, VT_I4);
    if (FAILED(hr)) return hr;
    value = V_I4(&v);
    log += "put(" + std::to_string(value) + ");";
    return S_OK;
  }
  log += "get;";
  if (result != nullptr) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
  }
  return S_OK;
}

void ModuleFixture::SetUp() {
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, SampleObjectMap());
}

void ModuleFixture::TearDown() {
  EXPECT_EQ(0, orvo::ModuleLockCount()) << "objects or locks left behind";
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
}

SampleCalc* ModuleFixture::NewCalc() {
  ISample* object = nullptr;
  const HRESULT hr =
      orvo::CreateInstance<SampleCalc>(nullptr, IID_ISample, reinterpret_cast<void**>(&object));
  EXPECT_EQ(S_OK, hr);
  return static_cast<SampleCalc*>(object);
}

}  // namespace orvotest
