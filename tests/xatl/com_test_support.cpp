#include "tests/xatl/com_test_support.h"

namespace orvotest {

std::wstring Wide(const std::string& text) {
  std::wstring out;
  for (const char c : text) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
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
