// The calls real script engines make (VBScript and JScript, as observed under
// Wine's cscript), each checked to reach the member the script meant.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/xatl/com_test_support.h"

namespace {

using namespace orvotest;

constexpr UINT kUntouched = 0xDEADu;

// An object a script passes around, without a default member (like a Blob).
ValueObject blob(0, false);

VARIANT* Held(VARIANT value) {  // the variable a by-reference argument points at
  static VARIANT slots[8];
  static int next = 0;
  VARIANT* slot = &slots[next++ % 8];
  *slot = value;
  return slot;
}

constexpr LONG kNoObject = -1;

struct HostCall {
  const char* script;
  DISPID member;
  WORD flags;
  std::function<std::vector<VARIANT>()> args;
  bool namedPut;
  bool wantResult;
  HRESULT hr;
  VARTYPE resultType;
  LONG resultValue;  // for VT_DISPATCH results: kNoObject, or any other value for the blob
  UINT argErr;
  const char* log;
  bool childIsBlob;  // the Child property holds the blob afterwards
};

const HostCall kCalls[] = {
    // Methods whose result is used.
    {"VBScript: Set r = o.Echo(b)", kEcho, 3, [] { return std::vector<VARIANT>{ByRef(Held(Disp(&blob)))}; }, false, true, S_OK, VT_DISPATCH, 0, kUntouched, "Echo", false},
    {"JScript: r = o.Echo(b)", kEcho, 3, [] { return std::vector<VARIANT>{Disp(&blob)}; }, false, true, S_OK, VT_DISPATCH, 0, kUntouched, "Echo", false},
    {"VBScript: x = o.Twice(3)", kTwice, 3, [] { return std::vector<VARIANT>{ByRef(Held(I2(3)))}; }, false, true, S_OK, VT_I4, 6, kUntouched, "Twice(3)", false},
    {"JScript: x = o.Checksum()", kChecksum, 1, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_UI4, static_cast<LONG>(0xCBF43926u), kUntouched, "Checksum", false},
    // Methods whose result is not used.
    {"VBScript: o.Twice 3", kTwice, 1, [] { return std::vector<VARIANT>{ByRef(Held(I2(3)))}; }, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Twice(3)", false},
    {"JScript: o.Twice(3)", kTwice, 1, [] { return std::vector<VARIANT>{I4(3)}; }, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Twice(3)", false},
    {"VBScript: o.Touch", kTouch, 1, [] { return std::vector<VARIANT>{}; }, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Touch", false},
    // Property reads.
    {"VBScript: x = o.Mode", kMode, 3, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_I4, 0, kUntouched, "Mode.get", false},
    {"JScript: x = o.Mode", kMode, 2, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_I4, 0, kUntouched, "Mode.get", false},
    // Property writes.
    {"VBScript: o.Mode = 5", kMode, 4, [] { return std::vector<VARIANT>{I2(5)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(5)", false},
    {"VBScript: o.Mode = v", kMode, 4, [] { return std::vector<VARIANT>{ByRef(Held(I2(5)))}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(5)", false},
    {"JScript: o.Mode = 5", kMode, 4, [] { return std::vector<VARIANT>{I4(5)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(5)", false},
    {"VBScript: o.Child = b", kChild, 4, [] { return std::vector<VARIANT>{ByRef(Held(Disp(&blob)))}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Child.getChild.put", true},
    {"VBScript: Set o.Child = b", kChild, 8, [] { return std::vector<VARIANT>{ByRef(Held(Disp(&blob)))}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Child.put", true},
    {"JScript: o.Child = b", kChild, 12, [] { return std::vector<VARIANT>{Disp(&blob)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Child.put", true},
    // o.P(5) as a statement and as an expression.
    {"o.Mode(5) as a statement", kMode, 1, [] { return std::vector<VARIANT>{I2(5)}; }, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(5)", false},
    {"x = o.Mode(5)", kMode, 3, [] { return std::vector<VARIANT>{I2(5)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, kUntouched, "", false},
    // A method named without parentheses.
    {"VBScript: x = o.Checksum", kChecksum, 3, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_UI4, static_cast<LONG>(0xCBF43926u), kUntouched, "Checksum", false},
    {"JScript: x = o.Checksum", kChecksum, 2, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_UI4, static_cast<LONG>(0xCBF43926u), kUntouched, "Checksum", false},
    // JScript's null and undefined.
    {"JScript: o.Twice(null)", kTwice, 1, [] { return std::vector<VARIANT>{Null()}; }, false, false, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, "", false},
    {"JScript: o.Twice(undefined)", kTwice, 1, [] { return std::vector<VARIANT>{Empty()}; }, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Twice(0)", false},
    {"JScript: o.Echo(null)", kEcho, 3, [] { return std::vector<VARIANT>{Null()}; }, false, true, S_OK, VT_DISPATCH, kNoObject, kUntouched, "Echo", false},
    {"JScript: o.Echo(undefined)", kEcho, 3, [] { return std::vector<VARIANT>{Empty()}; }, false, true, S_OK, VT_DISPATCH, kNoObject, kUntouched, "Echo", false},
    {"VBScript: v = Null: o.Echo(v)", kEcho, 3, [] { return std::vector<VARIANT>{ByRef(Held(Null()))}; }, false, true, S_OK, VT_DISPATCH, kNoObject, kUntouched, "Echo", false},
    // ASP's page hooks.
    {"ASP: OnStartPage(context)", kOnStartPage, 1, [] { return std::vector<VARIANT>{Unk(&blob)}; }, false, true, S_OK, VT_I4, S_OK, kUntouched, "", false},
    {"ASP: OnEndPage()", kOnEndPage, 1, [] { return std::vector<VARIANT>{}; }, false, true, S_OK, VT_I4, S_OK, kUntouched, "", false},
};

class HostsTest : public ModuleFixture {};

TEST_F(HostsTest, EveryObservedCallReachesItsMember) {
  for (const HostCall& c : kCalls) {
    SCOPED_TRACE(c.script);
    SampleCalc* calc = NewCalc();
    Outcome out;
    Call(calc, c.member, c.flags, c.args(), c.namedPut, c.wantResult, out);
    EXPECT_EQ(c.hr, out.hr);
    EXPECT_EQ(c.resultType, V_VT(&out.result));
    if (V_VT(&out.result) == VT_I4 || V_VT(&out.result) == VT_UI4) {
      EXPECT_EQ(c.resultValue, V_I4(&out.result));
    }
    if (V_VT(&out.result) == VT_DISPATCH) {
      EXPECT_EQ(c.resultValue == kNoObject ? nullptr : static_cast<IDispatch*>(&blob), V_DISPATCH(&out.result));
    }
    EXPECT_EQ(c.argErr, out.argErr);
    EXPECT_EQ(c.log, calc->log);
    EXPECT_EQ(c.childIsBlob ? static_cast<IDispatch*>(&blob) : nullptr, calc->child);
    EXPECT_EQ(nullptr, out.excep.bstrDescription);
    calc->Release();
    VariantClear(&out.result);
    EXPECT_EQ(1u, blob.refs) << "references to the script's object were lost or leaked";
  }
}

}  // namespace
