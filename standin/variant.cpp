// VARIANT handling and VariantChangeType for the types script hosts send.
// The conversion rules follow oleaut32 with no flags, as measured there:
// - to an integer type, a floating value rounds half to even and fails with
//   DISP_E_OVERFLOW outside [min - 0.5, max + 0.5); between VT_I4 and VT_UI4
//   the bits are kept; other integers out of range overflow;
// - VT_BOOL becomes -1 or 0 (VARIANT_TRUE taken as a number, so -1 is
//   4294967295 as VT_UI4); any non-zero number becomes VARIANT_TRUE;
// - a VT_BSTR must hold a number ("&H"/"&O" prefixes, thousands separators
//   and an exponent allowed) or, for VT_BOOL, "True"/"False"; other text gives
//   DISP_E_TYPEMISMATCH. Currency signs, parentheses and trailing minus signs
//   are not understood here;
// - VT_DISPATCH becomes a scalar through the object's default member
//   (DISPID_VALUE); a null object gives DISP_E_BADVARTYPE;
// - VT_EMPTY is 0 or ""; VT_NULL converts to nothing but VT_NULL;
// - one level of VT_BYREF is followed (a VT_BYREF|VT_VARIANT holding another
//   by-reference VARIANT gives E_INVALIDARG).
#include "standin/windows_standin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <new>
#include <string>

namespace {

struct Number {
  bool isInteger;
  int64_t i;
  double d;
};

HRESULT ToNumber(const VARIANT& v, Number& out);

// Round half to even, the rule of the OLE Automation conversions.
double RoundHalfEven(double d) {
  double r = std::nearbyint(d);  // the default rounding mode is to nearest, ties to even
  return r;
}

HRESULT ParseNumberText(const OLECHAR* text, UINT len, Number& out) {
  try {
    std::wstring s(text, len);
    size_t b = 0, e = s.size();
    while (b < e && std::iswspace(s[b])) ++b;
    while (e > b && std::iswspace(s[e - 1])) --e;
    s = s.substr(b, e - b);
    if (s.empty()) return DISP_E_TYPEMISMATCH;
    if (s.size() > 2 && s[0] == L'&' && (s[1] == L'H' || s[1] == L'h' || s[1] == L'O' || s[1] == L'o')) {
      const int base = (s[1] == L'H' || s[1] == L'h') ? 16 : 8;
      uint64_t value = 0;
      for (size_t i = 2; i < s.size(); ++i) {
        const wchar_t c = static_cast<wchar_t>(std::towupper(s[i]));
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        if (digit < 0 || digit >= base) return DISP_E_TYPEMISMATCH;
        value = value * base + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return DISP_E_OVERFLOW;
      }
      out = {true, static_cast<int64_t>(value), 0};
      return S_OK;
    }
    // [sign] digits with thousands separators [. digits] [e [sign] digits]
    std::string plain;
    size_t i = 0;
    if (s[i] == L'+' || s[i] == L'-') plain += static_cast<char>(s[i++]);
    bool digits = false;
    for (; i < s.size() && (std::iswdigit(s[i]) || (s[i] == L',' && digits)); ++i) {
      if (s[i] != L',') plain += static_cast<char>(s[i]);
      digits = true;
    }
    if (i < s.size() && s[i] == L'.') {
      plain += '.';
      for (++i; i < s.size() && std::iswdigit(s[i]); ++i) {
        plain += static_cast<char>(s[i]);
        digits = true;
      }
    }
    if (!digits) return DISP_E_TYPEMISMATCH;
    if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
      plain += 'e';
      ++i;
      if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) plain += static_cast<char>(s[i++]);
      if (i == s.size() || !std::iswdigit(s[i])) return DISP_E_TYPEMISMATCH;
      for (; i < s.size() && std::iswdigit(s[i]); ++i) plain += static_cast<char>(s[i]);
    }
    if (i != s.size()) return DISP_E_TYPEMISMATCH;
    const double d = std::strtod(plain.c_str(), nullptr);
    if (std::isinf(d)) return DISP_E_OVERFLOW;
    out = {false, 0, d};
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT FromDefaultMember(IDispatch* object, VARIANT& value) {
  if (object == nullptr) return DISP_E_BADVARTYPE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VariantInit(&value);
  const HRESULT hr =
      object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ToNumber(const VARIANT& v, Number& out) {
  switch (V_VT(&v)) {
    case VT_EMPTY: out = {true, 0, 0}; return S_OK;
    case VT_I2: out = {true, v.iVal, 0}; return S_OK;
    case VT_I4: out = {true, v.lVal, 0}; return S_OK;
    case VT_UI4: out = {true, static_cast<int64_t>(v.ulVal), 0}; return S_OK;
    case VT_BOOL: out = {true, v.boolVal, 0}; return S_OK;
    case VT_R8: out = {false, 0, v.dblVal}; return S_OK;
    case VT_BSTR: return ParseNumberText(v.bstrVal, SysStringLen(v.bstrVal), out);
    case VT_DISPATCH: {
      VARIANT value;
      HRESULT hr = FromDefaultMember(v.pdispVal, value);
      if (FAILED(hr)) return hr;
      hr = V_VT(&value) == VT_DISPATCH ? DISP_E_TYPEMISMATCH : ToNumber(value, out);
      VariantClear(&value);
      return hr;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToInteger(const Number& n, int64_t min, int64_t max, int64_t& out) {
  if (n.isInteger) {
    if (n.i < min || n.i > max) return DISP_E_OVERFLOW;
    out = n.i;
    return S_OK;
  }
  if (!(n.d >= static_cast<double>(min) - 0.5) || n.d >= static_cast<double>(max) + 0.5) return DISP_E_OVERFLOW;
  out = static_cast<int64_t>(RoundHalfEven(n.d));
  return S_OK;
}

BSTR FormatNumber(const VARIANT& v) {
  char text[64];
  switch (V_VT(&v)) {
    case VT_I2: std::snprintf(text, sizeof text, "%d", v.iVal); break;
    case VT_I4: std::snprintf(text, sizeof text, "%d", static_cast<int>(v.lVal)); break;
    case VT_UI4: std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(v.ulVal)); break;
    case VT_BOOL: std::snprintf(text, sizeof text, "%d", v.boolVal); break;
    case VT_R8: std::snprintf(text, sizeof text, "%.15G", v.dblVal); break;
    default: text[0] = 0; break;
  }
  OLECHAR wide[64];
  size_t i = 0;
  for (; text[i] != 0; ++i) wide[i] = static_cast<OLECHAR>(text[i]);
  return SysAllocStringLen(wide, static_cast<UINT>(i));
}

bool EqualsIgnoringCase(const OLECHAR* a, UINT len, const wchar_t* b) {
  if (len != std::wcslen(b)) return false;
  for (UINT i = 0; i < len; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

// Converts `in` (no longer by reference) into a fresh `out` of type vt.
HRESULT Coerce(VARIANT& out, const VARIANT& in, VARTYPE vt) {
  VariantInit(&out);
  if (V_VT(&in) == vt) return VariantCopy(&out, &in);
  if (vt == VT_EMPTY || vt == VT_NULL) {
    if (V_VT(&in) == VT_NULL && vt == VT_EMPTY) return DISP_E_TYPEMISMATCH;
    V_VT(&out) = vt;
    return S_OK;
  }
  if (V_VT(&in) == VT_NULL) return DISP_E_TYPEMISMATCH;
  switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_UI4: {
      Number n;
      HRESULT hr = ToNumber(in, n);
      if (FAILED(hr)) return hr;
      int64_t value = 0;
      if (vt == VT_I2) {
        hr = ToInteger(n, -32768, 32767, value);
        if (SUCCEEDED(hr)) out.iVal = static_cast<SHORT>(value);
      } else if (vt == VT_I4) {
        if (V_VT(&in) == VT_UI4) n.i = static_cast<LONG>(in.ulVal);  // the bits are kept
        hr = ToInteger(n, INT32_MIN, INT32_MAX, value);
        if (SUCCEEDED(hr)) out.lVal = static_cast<LONG>(value);
      } else {
        if (V_VT(&in) == VT_BOOL) n.i = static_cast<uint32_t>(static_cast<LONG>(in.boolVal));
        if (V_VT(&in) == VT_I4) n.i = static_cast<uint32_t>(in.lVal);  // the bits are kept
        hr = ToInteger(n, 0, UINT32_MAX, value);
        if (SUCCEEDED(hr)) out.ulVal = static_cast<ULONG>(value);
      }
      if (SUCCEEDED(hr)) V_VT(&out) = vt;
      return hr;
    }
    case VT_R8: {
      Number n;
      const HRESULT hr = ToNumber(in, n);
      if (FAILED(hr)) return hr;
      out.dblVal = n.isInteger ? static_cast<double>(n.i) : n.d;
      V_VT(&out) = VT_R8;
      return S_OK;
    }
    case VT_BOOL: {
      if (V_VT(&in) == VT_BSTR) {
        const UINT len = SysStringLen(in.bstrVal);
        if (EqualsIgnoringCase(in.bstrVal, len, L"true") || EqualsIgnoringCase(in.bstrVal, len, L"#true#")) {
          out.boolVal = VARIANT_TRUE;
          V_VT(&out) = VT_BOOL;
          return S_OK;
        }
        if (EqualsIgnoringCase(in.bstrVal, len, L"false") || EqualsIgnoringCase(in.bstrVal, len, L"#false#")) {
          out.boolVal = VARIANT_FALSE;
          V_VT(&out) = VT_BOOL;
          return S_OK;
        }
      }
      Number n;
      const HRESULT hr = ToNumber(in, n);
      if (FAILED(hr)) return hr;
      const bool set = n.isInteger ? n.i != 0 : n.d != 0.0;
      out.boolVal = set ? VARIANT_TRUE : VARIANT_FALSE;
      V_VT(&out) = VT_BOOL;
      return S_OK;
    }
    case VT_BSTR: {
      if (V_VT(&in) == VT_EMPTY) {
        out.bstrVal = SysAllocStringLen(nullptr, 0);
      } else if (V_VT(&in) == VT_DISPATCH) {
        VARIANT value;
        HRESULT hr = FromDefaultMember(in.pdispVal, value);
        if (FAILED(hr)) return hr;
        hr = V_VT(&value) == VT_DISPATCH ? DISP_E_TYPEMISMATCH : Coerce(out, value, VT_BSTR);
        VariantClear(&value);
        return hr;
      } else if (V_VT(&in) == VT_I2 || V_VT(&in) == VT_I4 || V_VT(&in) == VT_UI4 || V_VT(&in) == VT_BOOL ||
                 V_VT(&in) == VT_R8) {
        out.bstrVal = FormatNumber(in);
      } else {
        return DISP_E_TYPEMISMATCH;
      }
      if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
      V_VT(&out) = VT_BSTR;
      return S_OK;
    }
    case VT_DISPATCH:
      if (V_VT(&in) != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
      if (in.punkVal == nullptr) {
        out.pdispVal = nullptr;
      } else {
        const HRESULT hr = in.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.pdispVal));
        if (FAILED(hr)) return hr;
      }
      V_VT(&out) = VT_DISPATCH;
      return S_OK;
    case VT_UNKNOWN:
      if (V_VT(&in) != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
      out.punkVal = in.pdispVal;
      if (out.punkVal != nullptr) out.punkVal->AddRef();
      V_VT(&out) = VT_UNKNOWN;
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// A copy of `src` with one level of reference followed.
HRESULT CopyIndirect(VARIANT& out, const VARIANT& src) {
  VariantInit(&out);
  if (!V_ISBYREF(&src)) return VariantCopy(&out, &src);
  if (src.byref == nullptr) return DISP_E_TYPEMISMATCH;
  VARIANT value;
  VariantInit(&value);
  switch (V_VT(&src) & ~VT_BYREF) {
    case VT_VARIANT:
      if (V_ISBYREF(src.pvarVal)) return E_INVALIDARG;
      return VariantCopy(&out, src.pvarVal);
    case VT_I2: value.iVal = *src.piVal; break;
    case VT_I4: value.lVal = *src.plVal; break;
    case VT_UI4: value.ulVal = *reinterpret_cast<ULONG*>(src.plVal); break;
    case VT_R8: value.dblVal = *src.pdblVal; break;
    case VT_BOOL: value.boolVal = *src.pboolVal; break;
    case VT_BSTR: value.bstrVal = *src.pbstrVal; break;
    case VT_DISPATCH: value.pdispVal = *src.ppdispVal; break;
    case VT_UNKNOWN: value.punkVal = *src.ppunkVal; break;
    default: return DISP_E_BADVARTYPE;
  }
  V_VT(&value) = static_cast<VARTYPE>(V_VT(&src) & ~VT_BYREF);
  return VariantCopy(&out, &value);  // copies the string or takes a reference
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
  V_VT(pvarg) = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if ((V_VT(pvarg) & (VT_ARRAY | VT_BYREF)) == VT_ARRAY) {
    // A locked array is not destroyed, yet the variant is emptied all the
    // same, as oleaut32 does: the array stays with whoever locked it.
    const HRESULT hr = SafeArrayDestroy(pvarg->parray);
    V_VT(pvarg) = VT_EMPTY;
    return hr;
  }
  switch (V_VT(pvarg)) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    default: break;
  }
  V_VT(pvarg) = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == pvargSrc) return S_OK;
  VariantClear(pvargDest);
  *pvargDest = *pvargSrc;
  if ((V_VT(pvargSrc) & (VT_ARRAY | VT_BYREF)) == VT_ARRAY) {
    const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &pvargDest->parray);
    if (FAILED(hr)) V_VT(pvargDest) = VT_EMPTY;
    return hr;
  }
  switch (V_VT(pvargSrc)) {
    case VT_BSTR:
      if (pvargSrc->bstrVal != nullptr) {
        pvargDest->bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (pvargDest->bstrVal == nullptr) {
          V_VT(pvargDest) = VT_EMPTY;
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvargSrc->punkVal != nullptr) pvargSrc->punkVal->AddRef();
      break;
    default: break;
  }
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT /*wFlags*/, VARTYPE vt) {
  VARIANT value;
  HRESULT hr = CopyIndirect(value, *pvarSrc);
  if (FAILED(hr)) return hr;
  if (V_VT(&value) == vt) {  // already of the type: the copy is the result
    VariantClear(pvargDest);
    *pvargDest = value;
    return S_OK;
  }
  VARIANT converted;
  hr = (vt & VT_BYREF) != 0 ? DISP_E_TYPEMISMATCH : Coerce(converted, value, vt);
  VariantClear(&value);
  if (FAILED(hr)) return hr;
  VariantClear(pvargDest);
  *pvargDest = converted;
  return S_OK;
}

}  // extern "C"
