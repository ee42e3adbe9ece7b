// Scripting objects in plain and aggregated form, their interface maps and the
// object-map row of a class.
//
// A scripting class T derives from orvo::DispatchImpl<I> for its dual
// interface I and provides:
//   static constexpr const CLSID* kClassId;
//   static constexpr const char* kProgId;                    // "Vendor.Class.1"
//   static constexpr const char* kVersionIndependentProgId;  // "Vendor.Class"
//   static const orvo::InterfaceMapEntry kInterfaceMap[];    // ends with {nullptr, 0}
// and a default constructor, which may throw (std::bad_alloc when memory runs
// out): CreateInstance turns that into a failure code. It leaves IUnknown to
// the forms below.
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

namespace detail {
// Hands out a new object (no references yet) as `riid`; deletes it when the
// interface is not there.
template <class Object>
HRESULT QueryNew(Object* object, REFIID riid, void** ppv) noexcept {
  const HRESULT hr = object->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete object;
  return hr;
}
}  // namespace detail

// The plain form: the object's own reference count. The lock is taken once
// the class's constructor has returned, so a construction that throws leaves
// the lock count as it was.
template <class T>
class ComObject final : public T {
 public:
  ComObject() noexcept(std::is_nothrow_default_constructible_v<T>) { ModuleLock(); }
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
  explicit ComContainedObject(IUnknown* outer) noexcept(std::is_nothrow_default_constructible_v<T>)
      : outer_(outer) {}
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
  explicit ComAggObject(IUnknown* outer) noexcept(std::is_nothrow_default_constructible_v<T>)
      : contained_(outer) {
    ModuleLock();
  }
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
// aggregated one. A failed creation leaves no object and the lock count as it
// was: memory running out (also inside the class's constructor) gives
// E_OUTOFMEMORY, any other exception E_UNEXPECTED; none reaches the caller.
template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  try {
    if (outer == nullptr) return detail::QueryNew(new ComObject<T>, riid, ppv);
    return detail::QueryNew(new ComAggObject<T>(outer), riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
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
  return {T::kClassId, &UpdateRegistry<T>, &CreateClassObject, &CreateInstance<T>, nullptr};
}

// The row that ends an object map.
inline ObjectMapEntry ObjectMapEnd() noexcept { return {nullptr, nullptr, nullptr, nullptr, nullptr}; }

}  // namespace orvo
