// The class object: one IClassFactory per class, cached in the object map.
// The cache's own reference does not keep the module loaded: the lock count
// rises when a second reference is taken and falls when it is dropped.
#include <new>

#include "xatlcom/comobject.h"
#include "xatlcom/module.h"

namespace orvo {
namespace {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreator creator) noexcept : creator_(creator) { InitializeCriticalSection(&lock_); }
  virtual ~ClassFactory() { DeleteCriticalSection(&lock_); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    static const InterfaceMapEntry kInterfaceMap[] = {{&IID_IClassFactory, 0}, {nullptr, 0}};
    return QueryInterfaceFromMap(static_cast<IClassFactory*>(this), kInterfaceMap, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    EnterCriticalSection(&lock_);
    const LONG count = ++refs_;
    if (count == 2) ModuleLock();
    LeaveCriticalSection(&lock_);
    return static_cast<ULONG>(count);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    EnterCriticalSection(&lock_);
    const LONG count = --refs_;
    LeaveCriticalSection(&lock_);
    if (count == 1) ModuleUnlock();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return creator_(pUnkOuter, riid, ppvObject);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock)
      ModuleLock();
    else
      ModuleUnlock();
    return S_OK;
  }

 private:
  LONG refs_ = 0;
  InstanceCreator creator_;
  CRITICAL_SECTION lock_;
};

}  // namespace

HRESULT CreateClassObject(InstanceCreator creator, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* object = new (std::nothrow) ClassFactory(creator);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete object;
  return hr;
}

HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const InterfaceMapEntry* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    found = map;
  } else {
    for (const InterfaceMapEntry* entry = map; entry->iid != nullptr && found == nullptr; ++entry)
      if (IsEqualIID(*entry->iid, riid)) found = entry;
  }
  if (found == nullptr || found->iid == nullptr) return E_NOINTERFACE;
  auto* unknown = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + found->offset);
  unknown->AddRef();
  *ppv = unknown;
  return S_OK;
}

}  // namespace orvo
