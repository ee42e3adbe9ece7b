// Test helpers for the COM frame: VARIANT builders, one Invoke call with its
// outcome, a fixture that attaches the module with the sample object map, and
// a hand-made object with a default member.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/xatl/sample_classes.h"
#include "xatlcom/module.h"
#include "xatlcom/platform.h"

namespace orvotest {

VARIANT I2(SHORT v);
VARIANT I4(LONG v);
VARIANT R8(double v);
VARIANT Bool(bool v);
VARIANT Str(const wchar_t* text);  // owns a new BSTR
VARIANT Disp(IDispatch* object);   // holds no reference
VARIANT Unk(IUnknown* object);     // holds no reference
VARIANT Null();
VARIANT Empty();
VARIANT ByRef(VARIANT* inner);  // VT_BYREF|VT_VARIANT

std::wstring Wide(const std::string& text);
std::string Narrow(BSTR text);

// The outcome of one Invoke.
struct Outcome {
  HRESULT hr = S_OK;
  VARIANT result;           // VT_EMPTY unless the member gave a value
  UINT argErr = 0xDEADu;    // untouched: 0xDEAD
  EXCEPINFO excep{};        // zero unless filled
  Outcome();
  ~Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;
};

// Invokes `member` with the arguments in script order (the first argument
// written in the script first); with `namedPut` the last one is passed as the
// named DISPID_PROPERTYPUT argument. `wantResult` passes a result VARIANT.
// The caller's arguments are checked to be unchanged afterwards.
void Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, bool namedPut, bool wantResult,
          Outcome& out);

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
