// Argument binding beyond the sample classes: a member with more parameters
// than the dispatcher keeps on its stack, and arguments passed by reference
// (as VBScript passes variables) whose value already has the declared type,
// which the member reads where they are, next to ones that are converted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dispatch_calls.h"
#include "xatlcom/dispatch.h"

namespace {

using namespace orvotest;

struct IWide : IDispatch {
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~IWide() = default;
};

std::wstring lastText;  // the text the last member call received

// Nine(a..h, text): the eight digits as one number; keeps the text.
LONG Nine(IWide*, LONG a, LONG b, LONG c, LONG d, LONG e, LONG f, LONG g, LONG h, BSTR text) {
  lastText.assign(text, SysStringLen(text));
  LONG n = 0;
  for (LONG digit : {a, b, c, d, e, f, g, h}) n = n * 10 + digit;
  return n;
}
// Length(text): the text's length; keeps the text.
LONG Length(IWide*, BSTR text) {
  lastText.assign(text, SysStringLen(text));
  return static_cast<LONG>(SysStringLen(text));
}
// Same(object): the object itself.
IDispatch* Same(IWide*, IDispatch* object) {
  if (object != nullptr) object->AddRef();
  return object;
}

// A name longer than the name look-up keeps on its stack (more than 63 characters).
constexpr char kLongName[] = "TheLengthOfTheTextGivenAsTheOnlyArgumentInCharactersWithEveryEmbeddedNulCounted";
static_assert(sizeof kLongName > 64);

enum : DISPID { kNine = 1, kLength, kSame, kLong };
const orvo::MemberEntry kRows[] = {orvo::Method<&Nine>("Nine"), orvo::Method<&Length>("Length"),
                                   orvo::Method<&Same>("Same"), orvo::Method<&Length>(kLongName)};
const orvo::MemberTable kTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kRows);

// A stack object: references are counted, never deleting it.
class Wide final : public orvo::DispatchImpl<IWide> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override { return &kTable; }
  ULONG refs = 1;
};

constexpr WORD kMethodGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

std::vector<VARIANT> Digits(int count) {
  std::vector<VARIANT> args;
  for (int i = 1; i <= count; ++i) args.push_back(I4(i));
  return args;
}

TEST(BindingTest, MoreParametersThanTheStackKeeps) {
  for (ArgForm form : {ArgForm::kByValue, ArgForm::kByReference}) {
    SCOPED_TRACE(form == ArgForm::kByValue ? "by value" : "by reference");
    Wide object;
    // Conversions into every kind of slot: a VT_I2, a string to a number, a
    // number to a string (a temporary string the call must free).
    std::vector<VARIANT> args = {I4(1), I2(2), Str(L"3"), I4(4), I4(5), I4(6), I4(7), I4(8), I4(42)};
    InvokeOutcome out;
    Call(&object, kNine, kMethodGet, args, false, true, out, form);
    ASSERT_EQ(S_OK, out.hr);
    ASSERT_EQ(VT_I4, V_VT(&out.result));
    EXPECT_EQ(12345678, V_I4(&out.result));
    EXPECT_EQ(L"42", lastText);

    std::vector<VARIANT> eight = Digits(8);
    InvokeOutcome few;
    Call(&object, kNine, kMethodGet, eight, false, true, few, form);
    EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, few.hr);
    EXPECT_EQ(8u, few.argErr);

    std::vector<VARIANT> ten = Digits(10);
    InvokeOutcome many;
    Call(&object, kNine, kMethodGet, ten, false, true, many, form);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, many.hr);
    EXPECT_EQ(1u, many.argErr);

    std::vector<VARIANT> bad = Digits(8);
    bad.push_back(Str(L"x"));
    bad[4] = Str(L"five");
    InvokeOutcome mismatch;
    Call(&object, kNine, kMethodGet, bad, false, true, mismatch, form);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, mismatch.hr);
    EXPECT_EQ(4u, mismatch.argErr);  // rgvarg holds the arguments last first
    EXPECT_EQ(1u, object.refs);
  }
}

TEST(BindingTest, NamesOfAnyLengthResolve) {
  Wide object;
  const std::string longName(kLongName);
  const struct {
    std::wstring name;
    HRESULT hr;
    DISPID member;
  } cases[] = {
      {L"nINE", S_OK, kNine},
      {std::wstring(longName.begin(), longName.end()), S_OK, kLong},
      {std::wstring(longName.begin(), longName.end() - 1), DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {std::wstring(300, L'x'), DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (const auto& c : cases) {
    std::wstring text = c.name;
    LPOLESTR names[] = {&text[0]};
    DISPID member = 0;
    EXPECT_EQ(c.hr, object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member)) << c.name.size();
    EXPECT_EQ(c.member, member) << c.name.size();
  }
}

TEST(BindingTest, ByReferenceArgumentsOfTheDeclaredTypeAreReadWhereTheyAre) {
  Wide object;
  Wide other;
  struct Case {
    const char* what;
    DISPID member;
    VARIANT value;
    VARTYPE resultType;
    LONG length;  // Length's result
    const wchar_t* text;
  };
  const Case cases[] = {
      {"a string", kLength, Str(std::wstring(L"a\0b", 3)), VT_I4, 3, L"a\0b"},
      {"an empty string", kLength, Str(L""), VT_I4, 0, L""},
      {"a number to a string", kLength, I2(-7), VT_I4, 2, L"-7"},
      {"an object", kSame, Disp(&other), VT_DISPATCH, 0, nullptr},
      {"Nothing", kSame, Disp(nullptr), VT_DISPATCH, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lastText = L"unset";
    InvokeOutcome out;
    Call(&object, c.member, kMethodGet, {c.value}, false, true, out, ArgForm::kByReference);
    ASSERT_EQ(S_OK, out.hr);
    ASSERT_EQ(c.resultType, V_VT(&out.result));
    if (c.member == kLength) {
      EXPECT_EQ(c.length, V_I4(&out.result));
      EXPECT_EQ(std::wstring(c.text, static_cast<size_t>(c.length)), lastText);
    } else {
      EXPECT_EQ(V_DISPATCH(&c.value), V_DISPATCH(&out.result));
    }
  }
  EXPECT_EQ(1u, other.refs);  // the results gave back what they took; the argument took nothing
  EXPECT_EQ(1u, object.refs);
}

}  // namespace
