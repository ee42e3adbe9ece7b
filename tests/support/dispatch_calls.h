// Calling IDispatch::Invoke from tests as script hosts do: VARIANT builders,
// the outcome of one call (owning its result and EXCEPINFO texts), and the
// call itself with the arguments written in script order.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xatlcom/platform.h"

namespace orvotest {

// Argument forms. Strings and arrays belong to the call that receives them
// (cleared after it); objects and by-reference targets are lent.
VARIANT I2(SHORT v);
VARIANT I4(LONG v);
VARIANT UI4(ULONG v);
VARIANT R8(double v);
VARIANT Bool(bool v);
VARIANT Str(const std::wstring& text);  // a new BSTR, embedded NULs kept
VARIANT Disp(IDispatch* object);        // holds no reference
VARIANT Unk(IUnknown* object);          // holds no reference
VARIANT Null();                         // JScript's null
VARIANT Empty();                        // JScript's undefined
VARIANT ByRef(VARIANT* inner);          // VT_BYREF|VT_VARIANT

// A BSTR as Latin-1 text ("" for null).
std::string Narrow(BSTR text);

// The outcome of one Invoke.
struct InvokeOutcome {
  HRESULT hr = S_OK;
  VARIANT result;         // VT_EMPTY unless the member gave a value
  EXCEPINFO excep{};      // zero unless filled
  UINT argErr = 0xDEADu;  // untouched: 0xDEAD
  InvokeOutcome();
  ~InvokeOutcome();
  InvokeOutcome(const InvokeOutcome&) = delete;
  InvokeOutcome& operator=(const InvokeOutcome&) = delete;
  InvokeOutcome(InvokeOutcome&& other) noexcept;
  // Frees the result and the texts of an earlier call.
  void Reset();
};

// How the arguments travel: as they stand, or each as VT_BYREF|VT_VARIANT to
// its value (VBScript passes variables so).
enum class ArgForm { kByValue, kByReference };

// Invokes `member` with `args` in script order (the first argument written in
// the script first; rgvarg gets them last first). With `namedPut` the last
// argument is the named DISPID_PROPERTYPUT value. `wantResult` passes a result
// VARIANT. Checks that the member left the argument array as it was, then
// clears the strings and arrays among `args`.
void Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, bool namedPut, bool wantResult,
          InvokeOutcome& out, ArgForm form = ArgForm::kByValue);

// Functions run right before and after each IDispatch::Invoke that Call
// makes, so that a test can act on the member call alone (null: none).
void SetAroundInvoke(void (*before)(), void (*after)());

}  // namespace orvotest
