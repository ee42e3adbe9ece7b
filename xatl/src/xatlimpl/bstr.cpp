#include "xatlcom/bstr.h"

namespace orvo {

BSTR AnsiToBstr(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  if (text[0] == 0) return SysAllocStringLen(nullptr, 0);
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  Bstr out(SysAllocStringLen(nullptr, static_cast<UINT>(length - 1)));
  if (out.get() == nullptr) return nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, out.get(), length) <= 0) return nullptr;
  return out.Release();
}

}  // namespace orvo
