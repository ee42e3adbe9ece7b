// BSTR: a length-prefixed wide string. The byte length sits in the four bytes
// before the characters, and a terminating zero follows them, as on Windows.
#include "standin/windows_standin.h"

#include "standin/heap.h"

#include <cstdlib>
#include <cstring>

namespace {

uint32_t* Header(BSTR b) { return reinterpret_cast<uint32_t*>(b) - 1; }

BSTR Allocate(const OLECHAR* pch, UINT cch) {
  auto* block = static_cast<uint32_t*>(standin::Allocate(sizeof(uint32_t) + (cch + 1) * sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  block[0] = static_cast<uint32_t>(cch * sizeof(OLECHAR));
  auto* text = reinterpret_cast<OLECHAR*>(block + 1);
  if (pch != nullptr)
    std::memcpy(text, pch, cch * sizeof(OLECHAR));
  else
    std::memset(text, 0, cch * sizeof(OLECHAR));
  text[cch] = 0;
  return text;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return Allocate(psz, static_cast<UINT>(std::wcslen(psz)));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) { return Allocate(pch, cch); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  BSTR fresh = SysAllocString(psz);
  if (psz != nullptr && fresh == nullptr) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) standin::Free(Header(bstr));
}

UINT SysStringLen(BSTR bstr) {
  return bstr == nullptr ? 0 : static_cast<UINT>(*Header(bstr) / sizeof(OLECHAR));
}

}  // extern "C"
