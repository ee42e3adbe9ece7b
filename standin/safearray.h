// SAFEARRAY for the stand-in layer: the descriptor with the Windows layout and
// the oleaut32 calls that byte arrays (VT_ARRAY|VT_UI1) need, with their
// Windows contracts:
// - the bounds in rgsabound are stored last dimension first, as on Windows, so
//   dimension 1 of SafeArrayGetLBound is rgsabound[cDims - 1];
// - new elements are zero; a destroyed or cleared array releases its strings,
//   objects and variants;
// - SafeArrayDestroy of an array whose data is accessed (cLocks > 0) fails
//   with DISP_E_ARRAYISLOCKED and leaves it alone; SafeArrayUnaccessData
//   without SafeArrayAccessData gives E_UNEXPECTED;
// - a dimension number outside 1..cDims gives DISP_E_BADINDEX; a null array
//   or out-pointer E_INVALIDARG.
// Included by windows_standin.h.
#pragma once

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

extern "C" {
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
}
