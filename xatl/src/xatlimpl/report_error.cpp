// ReportError: the error information a failing scripting method leaves for
// its caller (source: the class's ProgID; description: the message).
#include "xatlcom/error.h"

namespace orvo {
namespace {

// `text` (8-bit, ANSI code page) as a BSTR: "" for an empty text, null when
// the conversion fails.
BSTR ToBstr(const char* text) {
  if (text == nullptr) return nullptr;
  if (text[0] == 0) return SysAllocStringLen(nullptr, 0);
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (out == nullptr) return nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, length) <= 0) {
    SysFreeString(out);
    return nullptr;
  }
  return out;
}

}  // namespace

HRESULT ReportError(REFCLSID clsid, const char* message, HRESULT hr, REFIID iid) noexcept {
  BSTR description = ToBstr(message);
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create)) && create != nullptr) {
    create->SetGUID(iid);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr) create->SetSource(progId);
    CoTaskMemFree(progId);
    create->SetDescription(description);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  SysFreeString(description);
  return hr == 0 ? DISP_E_EXCEPTION : hr;
}

}  // namespace orvo
