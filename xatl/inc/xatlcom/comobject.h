// Scripting objects in plain and aggregated form, their interface maps and the
// object-map row of a class.
//
// A scripting class T derives from orvo::DispatchImpl<I> for its dual
// interface I and provides:
//   static constexpr const CLSID* kClassId;
//   static constexpr const char* kProgId;                    // "Vendor.Class.1"
//   static constexpr const char* kVersionIndependentProgId;  // "Vendor.Class"
//   static const orvo::InterfaceMapEntry kInterfaceMap[];    // ends with {nullptr, 0}
// and a constructor that does not throw. It leaves IUnknown to the forms below.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "xatlcom/module.h"
#include "xatlcom/platform.h"

namespace orvo {

// One interface of an object: its IID and the interface's position (byte
// offset) in the object. The first entry also answers IID_IUnknown.
struct InterfaceMapEntry {
  const IID* iid;
  std::ptrdiff_t offset;
};

// QueryInterface over an interface map, for the object at `object`.
HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID riid, void** ppv) noexcept;

// The plain form: the object's own reference count. The forms' constructors
// are noexcept, so a class whose construction throws stops the process rather
// than let an exception cross COM.
template <class T>
class ComObject final : public T {
 public:
  ComObject() noexcept { ModuleLock(); }
  ~ComObject() override { ModuleUnlock(); }  // before the class's own state goes

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return QueryInterfaceFromMap(static_cast<T*>(this), T::kInterfaceMap, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      refs_ = 1;  // references taken and dropped while it is destroyed do not destroy it twice
      delete this;
    }
    return static_cast<ULONG>(left);
  }

 private:
  LONG refs_ = 0;
};

// The contained object of the aggregated form: IUnknown goes to the outer
// (controlling) unknown, which it holds no reference to.
template <class T>
class ComContainedObject final : public T {
 public:
  explicit ComContainedObject(IUnknown* outer) noexcept : outer_(outer) {}
  ~ComContainedObject() override = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return outer_->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

  // The inner unknown's lookup of every interface but IUnknown.
  HRESULT InnerQueryInterface(REFIID riid, void** ppv) noexcept {
    return QueryInterfaceFromMap(static_cast<T*>(this), T::kInterfaceMap, riid, ppv);
  }

 private:
  IUnknown* outer_;
};

// The aggregated form: a shell whose IUnknown is the inner unknown handed to
// the outer object.
template <class T>
class ComAggObject final : public IUnknown {
 public:
  explicit ComAggObject(IUnknown* outer) noexcept : contained_(outer) { ModuleLock(); }
  virtual ~ComAggObject() { ModuleUnlock(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return contained_.InnerQueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      refs_ = 1;
      delete this;
    }
    return static_cast<ULONG>(left);
  }

 private:
  LONG refs_ = 0;
  ComContainedObject<T> contained_;
};

// The instance creator of class T: the plain form without `outer`, else the
// aggregated one. A failed creation leaves no object and the lock count as it was.
template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr;
  if (outer == nullptr) {
    auto* object = new (std::nothrow) ComObject<T>;
    if (object == nullptr) return E_OUTOFMEMORY;
    hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;
  } else {
    auto* object = new (std::nothrow) ComAggObject<T>(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;
  }
  return hr;
}

// The registration function of class T.
template <class T>
HRESULT UpdateRegistry(BOOL doRegister) noexcept {
  return doRegister ? RegisterClassKeys(*T::kClassId, T::kProgId, T::kVersionIndependentProgId)
                    : UnregisterClassKeys(*T::kClassId, T::kProgId, T::kVersionIndependentProgId);
}

// The object-map row of class T.
template <class T>
ObjectMapEntry ObjectMapRow() noexcept {
  return {T::kClassId, &UpdateRegistry<T>, &CreateClassObject, &CreateInstance<T>, nullptr, 0};
}

// The row that ends an object map.
inline ObjectMapEntry ObjectMapEnd() noexcept { return {nullptr, nullptr, nullptr, nullptr, nullptr, 0}; }

}  // namespace orvo
