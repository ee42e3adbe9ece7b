// ReportError: the error information a failing scripting method leaves for
// its caller (source: the class's ProgID; description: the message).
#include "xatlcom/bstr.h"
#include "xatlcom/error.h"

namespace orvo {

HRESULT ReportError(REFCLSID clsid, const char* message, HRESULT hr, REFIID iid) noexcept {
  const Bstr description(AnsiToBstr(message));
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create)) && create != nullptr) {
    create->SetGUID(iid);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr) create->SetSource(progId);
    CoTaskMemFree(progId);
    create->SetDescription(description.get());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return hr == 0 ? DISP_E_EXCEPTION : hr;
}

}  // namespace orvo
