// A controlling unknown for the aggregation tests: it counts the references
// and the queries that reach it and hands out only itself.
#pragma once

#include "xatlcom/platform.h"

namespace orvo::test {

class OuterUnknown : public IUnknown {
 public:
  virtual ~OuterUnknown() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  ULONG refs = 1;
  int queries = 0;
};

}  // namespace orvo::test
