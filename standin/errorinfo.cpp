// Error objects (CreateErrorInfo) and the per-thread error information
// (SetErrorInfo/GetErrorInfo). GetErrorInfo hands the thread's object over and
// clears it; it returns S_FALSE when there is none.
#include "standin/windows_standin.h"

#include <atomic>
#include <new>

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
 public:
  virtual ~ErrorObject() {
    SysFreeString(source_);
    SysFreeString(description_);
    SysFreeString(helpFile_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IErrorInfo)) {
      *ppv = static_cast<IErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_ICreateErrorInfo)) {
      *ppv = static_cast<ICreateErrorInfo*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Copy(source_, out); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Copy(description_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Copy(helpFile_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override {
    *context = helpContext_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Store(source_, text); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override { return Store(description_, text); }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Store(helpFile_, text); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

 private:
  static HRESULT Copy(BSTR from, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = from == nullptr ? nullptr : SysAllocStringLen(from, SysStringLen(from));
    return from != nullptr && *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  static HRESULT Store(BSTR& field, LPOLESTR text) {
    return SysReAllocString(&field, text) ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  BSTR source_ = nullptr;
  BSTR description_ = nullptr;
  BSTR helpFile_ = nullptr;
  DWORD helpContext_ = 0;
};

// The thread's error object; released when the thread ends.
struct ThreadError {
  IErrorInfo* info = nullptr;
  ~ThreadError() {
    if (info != nullptr) info->Release();
  }
};
thread_local ThreadError current;

}  // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  auto* object = new (std::nothrow) ErrorObject;
  *pperrinfo = object;
  return object == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetErrorInfo(ULONG /*dwReserved*/, IErrorInfo* perrinfo) {
  if (perrinfo != nullptr) perrinfo->AddRef();
  if (current.info != nullptr) current.info->Release();
  current.info = perrinfo;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG /*dwReserved*/, IErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = current.info;
  current.info = nullptr;
  return *pperrinfo == nullptr ? S_FALSE : S_OK;
}

}  // extern "C"
