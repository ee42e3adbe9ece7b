// SAFEARRAY: descriptors and element blocks on the C library's heap. The
// element type is kept in a header in front of the descriptor, where Windows
// keeps it for FADF_HAVEVARTYPE arrays.
#include "standin/windows_standin.h"

#include "standin/heap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct alignas(16) Header {
  VARTYPE vt;
};

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR: return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

USHORT Features(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_DISPATCH: return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    default: return FADF_HAVEVARTYPE;
  }
}

Header* HeaderOf(SAFEARRAY* psa) { return reinterpret_cast<Header*>(psa) - 1; }

size_t ElementCount(const SAFEARRAY* psa) {
  size_t n = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) n *= psa->rgsabound[i].cElements;
  return n;
}

// Releases what the elements hold (strings, objects, variants).
void ClearElements(SAFEARRAY* psa) {
  const VARTYPE vt = HeaderOf(psa)->vt;
  const size_t n = ElementCount(psa);
  for (size_t i = 0; i < n; ++i) {
    if (vt == VT_BSTR) {
      SysFreeString(static_cast<BSTR*>(psa->pvData)[i]);
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      IUnknown* object = static_cast<IUnknown**>(psa->pvData)[i];
      if (object != nullptr) object->Release();
    } else if (vt == VT_VARIANT) {
      VariantClear(&static_cast<VARIANT*>(psa->pvData)[i]);
    }
  }
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > 0xFFFF || rgsabound == nullptr) return nullptr;
  const size_t bytes = sizeof(Header) + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<unsigned char*>(standin::Allocate(bytes, true));
  if (block == nullptr) return nullptr;
  reinterpret_cast<Header*>(block)->vt = vt;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + sizeof(Header));
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = Features(vt);
  psa->cbElements = size;
  for (UINT i = 0; i < cDims; ++i) psa->rgsabound[i] = rgsabound[cDims - 1 - i];  // last dimension first
  const size_t n = ElementCount(psa);
  psa->pvData = n > SIZE_MAX / size ? nullptr : standin::Allocate(n * size, true);
  if (psa->pvData == nullptr) {
    standin::Free(block);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound = {cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ClearElements(psa);
  standin::Free(psa->pvData);
  standin::Free(HeaderOf(psa));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  SAFEARRAYBOUND bounds[64];
  if (psa->cDims > 64) return E_OUTOFMEMORY;
  for (USHORT i = 0; i < psa->cDims; ++i) bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
  const VARTYPE vt = HeaderOf(psa)->vt;
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (copy == nullptr) return E_OUTOFMEMORY;
  const size_t n = ElementCount(psa);
  for (size_t i = 0; i < n; ++i) {
    if (vt == VT_BSTR) {
      const BSTR from = static_cast<BSTR*>(psa->pvData)[i];
      if (from == nullptr) continue;
      BSTR& to = static_cast<BSTR*>(copy->pvData)[i];
      to = SysAllocStringLen(from, SysStringLen(from));
      if (to == nullptr) {
        SafeArrayDestroy(copy);
        return E_OUTOFMEMORY;
      }
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      IUnknown* object = static_cast<IUnknown**>(psa->pvData)[i];
      if (object != nullptr) object->AddRef();
      static_cast<IUnknown**>(copy->pvData)[i] = object;
    } else if (vt == VT_VARIANT) {
      const HRESULT hr = VariantCopy(&static_cast<VARIANT*>(copy->pvData)[i], &static_cast<VARIANT*>(psa->pvData)[i]);
      if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
      }
    }
  }
  if (vt != VT_BSTR && vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_VARIANT && n > 0)
    std::memcpy(copy->pvData, psa->pvData, n * psa->cbElements);
  *ppsaOut = copy;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }
UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cbElements; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  *pvt = HeaderOf(psa)->vt;
  return S_OK;
}

}  // extern "C"
