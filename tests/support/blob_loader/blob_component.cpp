#include "tests/support/blob_loader/blob_component.h"

#include "orvoblob/blob_interface.h"

namespace orvo::test {
namespace {

using Plain = HRESULT(STDAPICALLTYPE*)();
using ClassObjectExport = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

HRESULT CallPlain(const char* name) {
  auto fn = reinterpret_cast<Plain>(BlobModuleExport(name));
  return fn == nullptr ? E_FAIL : fn();
}

}  // namespace

HRESULT BlobComponent::Start() {
  if (cookie_ != 0) return S_OK;
  IUnknown* factory = nullptr;
  HRESULT hr = GetClassObject(CLSID_OrvoBlob, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = CoRegisterClassObject(CLSID_OrvoBlob, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  factory->Release();
  if (FAILED(hr)) cookie_ = 0;
  return hr;
}

void BlobComponent::Stop() {
  if (cookie_ == 0) return;
  CoRevokeClassObject(cookie_);
  cookie_ = 0;
}

HRESULT BlobComponent::CanUnloadNow() { return CallPlain("DllCanUnloadNow"); }
HRESULT BlobComponent::RegisterServer() { return CallPlain("DllRegisterServer"); }
HRESULT BlobComponent::UnregisterServer() { return CallPlain("DllUnregisterServer"); }

HRESULT BlobComponent::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  auto fn = reinterpret_cast<ClassObjectExport>(BlobModuleExport("DllGetClassObject"));
  if (fn == nullptr) {
    if (ppv != nullptr) *ppv = nullptr;
    return E_FAIL;
  }
  return fn(clsid, riid, ppv);
}

std::string BlobComponent::ModuleFileName() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(BlobModuleHandle(), path, sizeof path);
  return std::string(path, n);
}

}  // namespace orvo::test
