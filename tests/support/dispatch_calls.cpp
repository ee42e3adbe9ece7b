#include "tests/support/dispatch_calls.h"

#include <cstring>

namespace orvotest {

namespace {

VARIANT Typed(VARTYPE type) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = type;
  return x;
}

}  // namespace

VARIANT I2(SHORT v) {
  VARIANT x = Typed(VT_I2);
  V_I2(&x) = v;
  return x;
}
VARIANT I4(LONG v) {
  VARIANT x = Typed(VT_I4);
  V_I4(&x) = v;
  return x;
}
VARIANT UI4(ULONG v) {
  VARIANT x = Typed(VT_UI4);
  V_UI4(&x) = v;
  return x;
}
VARIANT R8(double v) {
  VARIANT x = Typed(VT_R8);
  V_R8(&x) = v;
  return x;
}
VARIANT Bool(bool v) {
  VARIANT x = Typed(VT_BOOL);
  V_BOOL(&x) = v ? VARIANT_TRUE : VARIANT_FALSE;
  return x;
}
VARIANT Str(const std::wstring& text) {
  VARIANT x = Typed(VT_BSTR);
  V_BSTR(&x) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return x;
}
VARIANT Disp(IDispatch* object) {
  VARIANT x = Typed(VT_DISPATCH);
  V_DISPATCH(&x) = object;
  return x;
}
VARIANT Unk(IUnknown* object) {
  VARIANT x = Typed(VT_UNKNOWN);
  V_UNKNOWN(&x) = object;
  return x;
}
VARIANT Null() { return Typed(VT_NULL); }
VARIANT Empty() { return Typed(VT_EMPTY); }
VARIANT ByRef(VARIANT* inner) {
  VARIANT x = Typed(VT_BYREF | VT_VARIANT);
  V_VARIANTREF(&x) = inner;
  return x;
}

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) out += static_cast<char>(text[i] & 0xFF);
  return out;
}

InvokeOutcome::InvokeOutcome() { VariantInit(&result); }
InvokeOutcome::~InvokeOutcome() { Reset(); }
InvokeOutcome::InvokeOutcome(InvokeOutcome&& other) noexcept
    : hr(other.hr), result(other.result), excep(other.excep), argErr(other.argErr) {
  VariantInit(&other.result);
  other.excep = EXCEPINFO{};
}

void InvokeOutcome::Reset() {
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  excep = EXCEPINFO{};
}

namespace {
struct AroundInvoke {
  void (*before)() = nullptr;
  void (*after)() = nullptr;
} aroundInvoke;
}  // namespace

void SetAroundInvoke(void (*before)(), void (*after)()) { aroundInvoke = {before, after}; }

void Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, bool namedPut, bool wantResult,
          InvokeOutcome& out, ArgForm form) {
  std::vector<VARIANT> values(args.rbegin(), args.rend());
  std::vector<VARIANT> rgvarg = values;
  if (form == ArgForm::kByReference) {
    for (size_t i = 0; i < values.size(); ++i) rgvarg[i] = ByRef(&values[i]);
  }
  const std::vector<VARIANT> before = rgvarg;
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params = {rgvarg.empty() ? nullptr : rgvarg.data(), namedPut ? &putId : nullptr,
                       static_cast<UINT>(rgvarg.size()), namedPut ? 1u : 0u};
  out.Reset();
  if (aroundInvoke.before != nullptr) aroundInvoke.before();
  out.hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, wantResult ? &out.result : nullptr,
                          &out.excep, &out.argErr);
  if (aroundInvoke.after != nullptr) aroundInvoke.after();
  for (size_t i = 0; i < rgvarg.size(); ++i)
    EXPECT_EQ(0, std::memcmp(&before[i], &rgvarg[i], sizeof(VARIANT))) << "argument " << i << " was changed";
  for (VARIANT& v : values) {
    if (V_VT(&v) == VT_BSTR || (V_VT(&v) & VT_ARRAY) != 0) VariantClear(&v);
  }
}

}  // namespace orvotest
