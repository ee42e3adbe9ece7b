// Test helpers for the COM frame: a fixture that attaches the module with the
// sample object map, and a hand-made object with a default member.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dispatch_calls.h"
#include "tests/xatl/sample_classes.h"
#include "xatlcom/module.h"
#include "xatlcom/platform.h"

namespace orvotest {

std::wstring Wide(const std::string& text);

// The VARIANT builders, Narrow and Call come from tests/support/dispatch_calls.h.
using Outcome = InvokeOutcome;

// A hand-made object whose member 0 is a VT_I4 value that can be read and
// assigned (or, with hasDefault false, no member at all). Counts its
// references and records calls in `log`.
class ValueObject final : public IDispatch {
 public:
  explicit ValueObject(LONG initial, bool withDefault = true) : value(initial), hasDefault(withDefault) {}
  virtual ~ValueObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

  LONG value;
  bool hasDefault;
  ULONG refs = 1;
  std::string log;
};

// Attaches the module with the sample object map (and detaches it after).
class ModuleFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A new plain SampleCalc through the module's class object.
  SampleCalc* NewCalc();
  IDispatch* AsDispatch(SampleCalc* calc) { return calc; }
};

}  // namespace orvotest
