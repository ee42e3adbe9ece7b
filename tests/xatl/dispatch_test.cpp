// Table-driven dispatch: name resolution, member numbers, the Invoke steps
// (count checks, re-reading of method calls on properties, assignment by
// value, forwarding, binding and conversion, results and failures).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/xatl/com_test_support.h"
#include "xatlcom/dispatch.h"

namespace {

using namespace orvotest;

constexpr UINT kUntouched = 0xDEADu;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethodGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kPutRef = DISPATCH_PROPERTYPUTREF;

std::string SystemText(HRESULT code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 static_cast<DWORD>(code), LOCALE_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out = text != nullptr ? text : "";
  if (text != nullptr) LocalFree(text);
  return out;
}

std::string ModulePath() {
  char path[500];
  const DWORD n = GetModuleFileNameA(orvo::ModuleInstance(), path, sizeof path);
  return std::string(path, n < sizeof path ? n : 0);
}

// The EXCEPINFO texts a failure is to produce.
std::string ExpectedSource(const char* source) {
  std::string out = "\nModule name:" + ModulePath();
  if (source != nullptr) out += std::string("\nSource:") + source;
  return out;
}
std::string ExpectedDescription(HRESULT code, const char* description) {
  std::string out;
  const std::string text = SystemText(code);
  if (!text.empty()) out += "\nError:" + text;
  if (description != nullptr) out += std::string("\nDescription:") + description;
  return out;
}

class DispatchTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    ASSERT_EQ(S_OK, DllRegisterServer());  // the error source is the registered ProgID
    calc = NewCalc();
  }
  void TearDown() override {
    calc->Release();
    DllUnregisterServer();
    ModuleFixture::TearDown();
  }
  SampleCalc* calc = nullptr;
};

TEST_F(DispatchTest, NamesResolveCaseInsensitivelyToRowPositions) {
  const struct {
    const wchar_t* name;
    DISPID id;
  } cases[] = {{L"OnStartPage", 1}, {L"onendpage", 2}, {L"tWiCe", kTwice}, {L"MODE", kMode},
               {L"Raise", kRaise},  {L"Missing", -1}, {L"", -1},           {L"Twice2", -1}};
  for (const auto& c : cases) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    DISPID id = 12345;
    const HRESULT hr = calc->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    EXPECT_EQ(c.id, id) << "name " << Narrow(names[0]);
    EXPECT_EQ(c.id == -1 ? DISP_E_UNKNOWNNAME : S_OK, hr);
  }
}

TEST_F(DispatchTest, OnlyTheFirstNameIsResolved) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"digits"), const_cast<LPOLESTR>(L"a"), const_cast<LPOLESTR>(L"Mode")};
  DISPID ids[3] = {0, 7, 7};
  EXPECT_EQ(S_OK, calc->GetIDsOfNames(IID_NULL, names, 3, LOCALE_USER_DEFAULT, ids));
  EXPECT_EQ(kDigits, ids[0]);
  EXPECT_EQ(-1, ids[1]);
  EXPECT_EQ(-1, ids[2]);
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, calc->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, ids));
}

TEST_F(DispatchTest, TypeInfoIsAbsent) {
  UINT count = 9;
  EXPECT_EQ(S_OK, calc->GetTypeInfoCount(&count));
  EXPECT_EQ(0u, count);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(calc);
  EXPECT_EQ(DISP_E_BADINDEX, calc->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
  EXPECT_EQ(nullptr, info);
}

TEST_F(DispatchTest, RowsAreCountedByTheArraySize) {
  const orvo::MemberTable& table = *calc->GetMemberTable();
  EXPECT_EQ(11u, table.rowCount);
  EXPECT_EQ(0u, table.base()->rowCount);
  EXPECT_EQ(nullptr, table.base()->base());
}

// One Invoke and what it is to give.
struct Case {
  const char* what;
  DISPID member;
  WORD flags;
  std::function<std::vector<VARIANT>()> args;  // script order
  bool namedPut;
  bool wantResult;
  HRESULT hr;
  VARTYPE resultType;
  LONG resultValue;  // VT_I4 / VT_UI4 value
  UINT argErr;
  const char* log;  // what the object was asked to do
};

std::vector<VARIANT> None() { return {}; }

const Case kCases[] = {
    // Member numbers.
    {"member 0 (DISPID_VALUE)", 0, kMethodGet, None, false, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, kUntouched, ""},
    {"member -1", -1, kMethodGet, None, false, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, kUntouched, ""},
    {"member past the table", 12, kMethodGet, None, false, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, kUntouched, ""},
    {"level 1 is empty", 0x10001, kMethodGet, None, false, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, kUntouched, ""},
    {"past the chain", 0x20001, kMethodGet, None, false, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, kUntouched, ""},
    // Methods: binding and conversion.
    {"Twice(3)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{I4(3)}; }, false, true, S_OK, VT_I4, 6, kUntouched, "Twice(3)"},
    {"Twice(VT_I2 3)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{I2(3)}; }, false, true, S_OK, VT_I4, 6, kUntouched, "Twice(3)"},
    {"Twice(\"5\")", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Str(L"5")}; }, false, true, S_OK, VT_I4, 10, kUntouched, "Twice(5)"},
    {"Twice(2.5) rounds to even", kTwice, kMethodGet, [] { return std::vector<VARIANT>{R8(2.5)}; }, false, true, S_OK, VT_I4, 4, kUntouched, "Twice(2)"},
    {"Twice(True)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Bool(true)}; }, false, true, S_OK, VT_I4, -2, kUntouched, "Twice(-1)"},
    {"Twice(Empty)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Empty()}; }, false, true, S_OK, VT_I4, 0, kUntouched, "Twice(0)"},
    {"Twice(\"abc\")", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Str(L"abc")}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, ""},
    {"Twice(Null)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Null()}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, ""},
    {"Twice(3e10) overflows", kTwice, kMethodGet, [] { return std::vector<VARIANT>{R8(3e10)}; }, false, true, DISP_E_OVERFLOW, VT_EMPTY, 0, 0, ""},
    {"Twice()", kTwice, kMethodGet, None, false, true, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 0, ""},
    {"Twice(1, 2)", kTwice, kMethodGet, [] { return std::vector<VARIANT>{I4(1), I4(2)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, 1, ""},
    {"Digits(1, 2, 3) binds in declaration order", kDigits, kMethodGet, [] { return std::vector<VARIANT>{I4(1), I4(2), I4(3)}; }, false, true, S_OK, VT_I4, 123, kUntouched, "Digits"},
    {"Digits(1, \"x\", 3) names rgvarg[1]", kDigits, kMethodGet, [] { return std::vector<VARIANT>{I4(1), Str(L"x"), I4(3)}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 1, ""},
    {"Digits(\"x\", 2, 3) names rgvarg[2]", kDigits, kMethodGet, [] { return std::vector<VARIANT>{Str(L"x"), I4(2), I4(3)}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 2, ""},
    {"Digits(1, 2)", kDigits, kMethodGet, [] { return std::vector<VARIANT>{I4(1), I4(2)}; }, false, true, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 2, ""},
    {"Digits(1, 2, 3, 4)", kDigits, kMethodGet, [] { return std::vector<VARIANT>{I4(1), I4(2), I4(3), I4(4)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, 1, ""},
    // The count is checked before any argument is converted.
    {"Twice(\"abc\", 1): too many wins", kTwice, kMethodGet, [] { return std::vector<VARIANT>{Str(L"abc"), I4(1)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, 1, ""},
    {"Digits(\"x\", 2): too few wins", kDigits, kMethodGet, [] { return std::vector<VARIANT>{Str(L"x"), I4(2)}; }, false, true, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 2, ""},
    {"Mode put with two positional values, one a string", kMode, kPut, [] { return std::vector<VARIANT>{Str(L"x"), I4(2)}; }, false, false, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, 1, ""},
    // No object, however spelled, binds to an object parameter as a null object.
    {"Echo(Null)", kEcho, kMethodGet, [] { return std::vector<VARIANT>{Null()}; }, false, true, S_OK, VT_DISPATCH, 0, kUntouched, "Echo"},
    {"Echo(Empty)", kEcho, kMethodGet, [] { return std::vector<VARIANT>{Empty()}; }, false, true, S_OK, VT_DISPATCH, 0, kUntouched, "Echo"},
    {"Echo(Nothing)", kEcho, kMethodGet, [] { return std::vector<VARIANT>{Disp(nullptr)}; }, false, true, S_OK, VT_DISPATCH, 0, kUntouched, "Echo"},
    {"Echo(0) does not convert", kEcho, kMethodGet, [] { return std::vector<VARIANT>{I4(0)}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, ""},
    {"Echo(\"\") does not convert", kEcho, kMethodGet, [] { return std::vector<VARIANT>{Str(L"")}; }, false, true, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, ""},
    {"Checksum() is VT_UI4", kChecksum, kMethodGet, None, false, true, S_OK, VT_UI4, static_cast<LONG>(0xCBF43926u), kUntouched, "Checksum"},
    {"Touch as a statement", kTouch, kMethod, None, false, false, S_OK, VT_EMPTY, 0, kUntouched, "Touch"},
    {"Touch as an expression gives Empty", kTouch, kMethodGet, None, false, true, S_OK, VT_EMPTY, 0, kUntouched, "Touch"},
    {"property get of a method without result", kTouch, kGet, None, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, kUntouched, ""},
    {"Touch(1)", kTouch, kMethod, [] { return std::vector<VARIANT>{I4(1)}; }, false, false, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, kUntouched, ""},
    {"put to a method", kTwice, kPut, [] { return std::vector<VARIANT>{I4(1)}; }, true, false, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, kUntouched, ""},
    // Properties.
    {"Mode read (3)", kMode, kMethodGet, None, false, true, S_OK, VT_I4, 0, kUntouched, "Mode.get"},
    {"Mode read (2)", kMode, kGet, None, false, true, S_OK, VT_I4, 0, kUntouched, "Mode.get"},
    {"Mode read without a result", kMode, kGet, None, false, false, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, kUntouched, ""},
    {"Mode read (1, no arguments)", kMode, kMethod, None, false, true, S_OK, VT_I4, 0, kUntouched, "Mode.get"},
    {"Mode(5) as a statement assigns", kMode, kMethod, [] { return std::vector<VARIANT>{I4(5)}; }, false, true, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(5)"},
    {"Mode(5) as an expression", kMode, kMethodGet, [] { return std::vector<VARIANT>{I4(5)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, kUntouched, ""},
    {"Mode = 7", kMode, kPut, [] { return std::vector<VARIANT>{I4(7)}; }, true, true, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(7)"},
    {"Mode = VT_I2 7", kMode, kPut, [] { return std::vector<VARIANT>{I2(7)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(7)"},
    {"Set Mode = 9", kMode, kPutRef, [] { return std::vector<VARIANT>{I4(9)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(9)"},
    {"Mode put (12)", kMode, kPut | kPutRef, [] { return std::vector<VARIANT>{I4(4)}; }, true, false, S_OK, VT_EMPTY, 0, kUntouched, "Mode.put(4)"},
    {"Mode = \"abc\"", kMode, kPut, [] { return std::vector<VARIANT>{Str(L"abc")}; }, true, false, DISP_E_TYPEMISMATCH, VT_EMPTY, 0, 0, ""},
    {"Mode put without a value", kMode, kPut, None, false, false, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 0, ""},
    {"Mode put with a positional value", kMode, kPut, [] { return std::vector<VARIANT>{I4(1)}; }, false, false, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 1, ""},
    {"Mode put with two positional values", kMode, kPut, [] { return std::vector<VARIANT>{I4(1), I4(2)}; }, false, false, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, 1, ""},
    // Page hooks.
    {"OnEndPage()", kOnEndPage, kMethodGet, None, false, true, S_OK, VT_I4, 0, kUntouched, ""},
    {"OnEndPage(1)", kOnEndPage, kMethodGet, [] { return std::vector<VARIANT>{I4(1)}; }, false, true, DISP_E_BADPARAMCOUNT, VT_EMPTY, 0, kUntouched, ""},
    {"OnStartPage(null unknown)", kOnStartPage, kMethod, [] { return std::vector<VARIANT>{Unk(nullptr)}; }, false, true, S_OK, VT_I4, E_POINTER, kUntouched, ""},
    {"OnStartPage(null object)", kOnStartPage, kMethod, [] { return std::vector<VARIANT>{Disp(nullptr)}; }, false, true, S_OK, VT_I4, E_POINTER, kUntouched, ""},
    {"OnStartPage()", kOnStartPage, kMethod, None, false, true, DISP_E_PARAMNOTOPTIONAL, VT_EMPTY, 0, 0, ""},
    // Thrown HRESULT.
    {"Raise(1) throws E_INVALIDARG", kRaise, kMethod, [] { return std::vector<VARIANT>{I4(1)}; }, false, false, E_INVALIDARG, VT_EMPTY, 0, kUntouched, ""},
};

TEST_F(DispatchTest, InvokeCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    SampleCalc* object = NewCalc();
    Outcome out;
    Call(object, c.member, c.flags, c.args(), c.namedPut, c.wantResult, out);
    EXPECT_EQ(c.hr, out.hr);
    EXPECT_EQ(c.resultType, V_VT(&out.result));
    if (V_VT(&out.result) == VT_I4 || V_VT(&out.result) == VT_UI4) {
      EXPECT_EQ(c.resultValue, V_I4(&out.result));
    }
    EXPECT_EQ(c.argErr, out.argErr);
    EXPECT_EQ(c.log, object->log);
    EXPECT_EQ(nullptr, out.excep.bstrDescription);
    if (V_VT(&out.result) == VT_DISPATCH) {
      EXPECT_EQ(nullptr, V_DISPATCH(&out.result));
    }
    object->Release();
  }
}

TEST_F(DispatchTest, NamedArgumentsOtherThanThePutValueAreRefused) {
  VARIANT args[2] = {I4(1), I4(2)};
  DISPID named[2] = {DISPID_PROPERTYPUT, 0};
  DISPPARAMS two = {args, named, 2, 2};
  EXPECT_EQ(DISP_E_NONAMEDARGS, calc->Invoke(kMode, IID_NULL, 0, kPut, &two, nullptr, nullptr, nullptr));
  DISPID other = 1;
  DISPPARAMS one = {args, &other, 1, 1};
  EXPECT_EQ(DISP_E_NONAMEDARGS, calc->Invoke(kTwice, IID_NULL, 0, kMethod, &one, nullptr, nullptr, nullptr));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, calc->Invoke(kMode, IID_IDispatch, 0, kGet, &none, nullptr, nullptr, nullptr));
  EXPECT_EQ("", calc->log);
}

TEST_F(DispatchTest, ResultVariantIsInitialisedFirst) {
  Outcome out;
  V_VT(&out.result) = VT_I4;  // a caller's leftover value must not survive a failure
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, calc->Invoke(0, IID_NULL, 0, kGet, &none, &out.result, nullptr, nullptr));
  EXPECT_EQ(VT_EMPTY, V_VT(&out.result));
}

TEST_F(DispatchTest, ObjectArgumentsAndResultsKeepTheirReferenceCounts) {
  ValueObject value(1);
  {
    Outcome out;
    VARIANT inner = Disp(&value);
    Call(calc, kEcho, kMethodGet, {ByRef(&inner)}, false, true, out);
    ASSERT_EQ(S_OK, out.hr);
    ASSERT_EQ(VT_DISPATCH, V_VT(&out.result));
    EXPECT_EQ(&value, V_DISPATCH(&out.result));
    EXPECT_EQ(2u, value.refs);  // the result owns one reference
  }
  EXPECT_EQ(1u, value.refs);
  Outcome unused;
  Call(calc, kEcho, kMethod, {Disp(&value)}, false, false, unused);
  EXPECT_EQ(S_OK, unused.hr);
  EXPECT_EQ(1u, value.refs);  // a result nobody asked for is released
  Outcome page;
  Call(calc, kOnStartPage, kMethodGet, {Disp(&value)}, false, true, page);
  EXPECT_EQ(S_OK, page.hr);
  EXPECT_EQ(VT_I4, V_VT(&page.result));
  EXPECT_EQ(S_OK, V_I4(&page.result));
  EXPECT_EQ(1u, value.refs);  // the page context is not kept
  EXPECT_EQ("", value.log);   // nor queried
}

// Failures of members reach the caller as DISP_E_EXCEPTION with EXCEPINFO texts.
TEST_F(DispatchTest, MemberFailuresFillExcepInfo) {
  const struct {
    const char* what;
    DISPID member;
    LONG arg;
    SCODE scode;
    WORD wCode;
    const char* source;
    const char* description;
    HRESULT textOf;
  } cases[] = {
      {"reported E_FAIL", kFail, E_FAIL, E_FAIL, 0, "Orvo.SampleCalc.1", "Sample failure", E_FAIL},
      {"reported E_INVALIDARG", kFail, E_INVALIDARG, E_INVALIDARG, 0, "Orvo.SampleCalc.1", "Sample failure", E_INVALIDARG},
      {"E_UNEXPECTED without a report", kFail, E_UNEXPECTED, E_UNEXPECTED, 0, nullptr, nullptr, E_UNEXPECTED},
      {"another exception", kRaise, 2, E_UNEXPECTED, 0, nullptr, "Unhandled exception", E_UNEXPECTED},
      {"KorDispatchError(1001)", kRaise, 3, 0, 1001, nullptr, nullptr, 1001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome out;
    Call(calc, c.member, kMethod, {I4(c.arg)}, false, false, out);
    EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(c.scode, out.excep.scode);
    EXPECT_EQ(c.wCode, out.excep.wCode);
    EXPECT_EQ(ExpectedSource(c.source), Narrow(out.excep.bstrSource));
    EXPECT_EQ(ExpectedDescription(c.textOf, c.description), Narrow(out.excep.bstrDescription));
    EXPECT_EQ(nullptr, out.excep.bstrHelpFile);
    EXPECT_EQ(0u, out.excep.dwHelpContext);
    EXPECT_EQ(kUntouched, out.argErr);
  }
}

// o.P(args) where P holds an object: the arguments go to its default member.
TEST_F(DispatchTest, CallsWithArgumentsOnAnObjectPropertyAreForwarded) {
  ValueObject child(42);
  calc->put_Child(&child);
  Outcome out;
  Call(calc, kChild, kMethodGet, {I4(5)}, false, true, out);
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ(VT_I4, V_VT(&out.result));
  EXPECT_EQ(42, V_I4(&out.result));
  EXPECT_EQ("get;", child.log);
  EXPECT_EQ(2u, child.refs);  // only the property's reference remains

  Outcome missing;
  calc->put_Child(nullptr);
  Call(calc, kChild, kMethodGet, {I4(5)}, false, true, missing);
  EXPECT_EQ(DISP_E_EXCEPTION, missing.hr);  // the getter's failure
  EXPECT_EQ(ExpectedDescription(E_FAIL, "No child"), Narrow(missing.excep.bstrDescription));
}

// Assignment by value (flags exactly DISPATCH_PROPERTYPUT).
TEST_F(DispatchTest, AnObjectAssignedToANumberGivesItsDefaultValue) {
  ValueObject value(42);
  Outcome out;
  Call(calc, kMode, kPut, {Disp(&value)}, true, false, out);
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ("Mode.put(42)", calc->log);
  EXPECT_EQ(1u, value.refs);

  ValueObject plain(7, false);  // no default member: the object itself is put, and does not convert
  Outcome refused;
  Call(calc, kMode, kPut, {Disp(&plain)}, true, false, refused);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, refused.hr);
  EXPECT_EQ(0u, refused.argErr);
  EXPECT_EQ(1u, plain.refs);
}

TEST_F(DispatchTest, AValueAssignedToAnObjectPropertyGoesIntoTheObject) {
  ValueObject held(1);
  calc->put_Child(&held);
  ValueObject value(5);
  Outcome out;
  Call(calc, kChild, kPut, {Disp(&value)}, true, false, out);
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ(5, held.value);        // assigned into the held object
  EXPECT_EQ(&held, calc->child);   // which stays
  EXPECT_EQ("get;", value.log);
  EXPECT_EQ(2u, held.refs);
  EXPECT_EQ(1u, value.refs);

  Outcome number;
  Call(calc, kChild, kPut, {I4(9)}, true, false, number);
  EXPECT_EQ(S_OK, number.hr);
  EXPECT_EQ(9, held.value);
  calc->put_Child(nullptr);
}

// A SampleCalc whose Child reads (the recursive read of an assignment by
// value) succeed with a chosen value.
class CannedChildRead : public SampleCalc {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
    if (member == kChild && flags == kMethodGet && result != nullptr) {
      log += "Child.get";
      return VariantCopy(result, &canned);
    }
    return SampleCalc::Invoke(member, riid, lcid, flags, params, result, excep, argErr);
  }
  VARIANT canned{};
};

TEST_F(DispatchTest, AReadThatGivesNoObjectRefusesTheAssignment) {
  const struct {
    const char* what;
    std::function<VARIANT()> read;
  } cases[] = {
      {"null object", [] { return Disp(nullptr); }},
      {"Empty", [] { return Empty(); }},
      {"Null", [] { return Null(); }},
      {"a number", [] { return I4(5); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CannedChildRead* object = nullptr;
    ASSERT_EQ(S_OK, orvo::CreateInstance<CannedChildRead>(nullptr, IID_ISample, reinterpret_cast<void**>(&object)));
    object->canned = c.read();
    for (const VARIANT& value : {I4(9), Disp(nullptr)}) {
      object->log.clear();
      Outcome out;
      Call(object, kChild, kPut, {value}, true, false, out);
      EXPECT_EQ(DISP_E_TYPEMISMATCH, out.hr);
      EXPECT_EQ("Child.get", object->log);  // the setter was not called
      EXPECT_EQ(nullptr, object->child);
    }
    ValueObject fetched(7);  // an object value stands for its default value, read once
    Outcome out;
    Call(object, kChild, kPut, {Disp(&fetched)}, true, false, out);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, out.hr);
    EXPECT_EQ("get;", fetched.log);
    EXPECT_EQ(1u, fetched.refs);  // and the caller's value is given back
    object->Release();
  }
}

TEST_F(DispatchTest, WithNothingToAssignIntoTheObjectItselfIsPut) {
  ValueObject value(5);
  // No child yet: reading it fails, so the object becomes the child.
  Outcome first;
  Call(calc, kChild, kPut, {Disp(&value)}, true, false, first);
  EXPECT_EQ(S_OK, first.hr);
  EXPECT_EQ(&value, calc->child);
  EXPECT_EQ(nullptr, first.excep.bstrDescription);  // the failed read leaves no trace
  // A held object without a default member is replaced.
  ValueObject plain(0, false);
  calc->put_Child(&plain);
  ValueObject next(8);
  Outcome second;
  Call(calc, kChild, kPut, {Disp(&next)}, true, false, second);
  EXPECT_EQ(S_OK, second.hr);
  EXPECT_EQ(&next, calc->child);
  // Set replaces without looking at either object.
  ValueObject third(3);
  Outcome byRef;
  Call(calc, kChild, kPutRef, {Disp(&third)}, true, false, byRef);
  EXPECT_EQ(S_OK, byRef.hr);
  EXPECT_EQ(&third, calc->child);
  EXPECT_EQ("", third.log);
  EXPECT_EQ("get;", next.log);   // its default value was fetched,
  EXPECT_EQ("miss;", plain.log);  // but the held object could not take it
  calc->put_Child(nullptr);
  EXPECT_EQ(1u, value.refs);
  EXPECT_EQ(1u, plain.refs);
  EXPECT_EQ(1u, next.refs);
  EXPECT_EQ(1u, third.refs);
}

}  // namespace
