// Table-driven IDispatch. A scripting class describes its scriptable members
// in a static member table; one implementation of GetIDsOfNames and Invoke
// serves every class from those tables. There is no type library.
//
// A member's number is (level << 16) | (row index + 1), where level is the
// position of the row's table in the chain of tables (0 for the class's own).
#pragma once

#include <atomic>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "xatlcom/error.h"
#include "xatlcom/platform.h"

namespace orvo {

// Calls one typed member function: `args` are the bound arguments in
// declaration order, each already of its declared type; `result` (initialised
// and empty) receives the returned value with the row's result type.
using MemberFunction = void (*)(IDispatch* object, VARIANTARG* const* args, VARIANT* result);

// One row of a member table.
struct MemberEntry {
  const char* name;             // the script-visible name
  LONG memberNumber;            // explicit number; -1 (always): numbered by position
  const unsigned char* params;  // one VARTYPE byte per parameter, zero-terminated; null: none.
                                // A byte with bit 0x40 set is VT_BYREF | (byte & 0xBF).
  VARTYPE resultType;           // VT_EMPTY: returns nothing; for a property its type
  MemberFunction call;          // the method, or the property's getter
  MemberFunction put;           // the property's setter, or null
  LONG endMarker;               // 0; -1 in the end row
  LONG reserved;                // 0
};

// One level of a class's chain of member tables.
struct MemberTable {
  const MemberTable* (*base)();  // the base class's table; returns null at the root
  const MemberEntry* rows;
  mutable std::atomic<LONG> rowCount;  // -1 until first counted
};

// The rows before the first end marker; counted once and cached.
LONG RowCount(const MemberTable& table) noexcept;
// The row a member number selects, or null.
const MemberEntry* FindMember(const MemberTable& table, DISPID member) noexcept;
// The number of declared parameters of a row.
UINT ParamCount(const MemberEntry& row) noexcept;

// Level 1 of every class's chain: a table without rows whose base accessor
// returns null.
const MemberTable* DispatchBaseTable() noexcept;

HRESULT DispatchGetIDsOfNames(const MemberTable& table, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                              DISPID* rgDispId) noexcept;
HRESULT DispatchInvoke(IDispatch* self, const MemberTable& table, DISPID dispIdMember, REFIID riid, LCID lcid,
                       WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                       UINT* puArgErr) noexcept;

// The IDispatch operations of a dual interface I (derived from IDispatch and
// ending in `const orvo::MemberTable* GetMemberTable()`).
template <class I>
class DispatchImpl : public I {
 public:
  virtual ~DispatchImpl() = default;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override {
    return DispatchGetIDsOfNames(*this->GetMemberTable(), riid, rgszNames, cNames, lcid, rgDispId);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                   UINT* puArgErr) override {
    return DispatchInvoke(this, *this->GetMemberTable(), dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult,
                          pExcepInfo, puArgErr);
  }
};

// ------------------------------------------------------------------ rows
// Native forms of the automation types a member may take or return.
template <class T, class = void>
struct Native;

template <class T>
struct Native<T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) == 4>> {
  static constexpr VARTYPE vt = VT_I4;
  static T From(const VARIANT* v) { return static_cast<T>(V_I4(v)); }
  static void Store(VARIANT* v, T x) { V_VT(v) = VT_I4, V_I4(v) = static_cast<LONG>(x); }
};
template <class T>
struct Native<T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && sizeof(T) == 4>> {
  static constexpr VARTYPE vt = VT_UI4;
  static T From(const VARIANT* v) { return static_cast<T>(V_UI4(v)); }
  static void Store(VARIANT* v, T x) { V_VT(v) = VT_UI4, V_UI4(v) = static_cast<ULONG>(x); }
};
template <>
struct Native<BSTR> {  // held by the argument; a returned string is owned by the result
  static constexpr VARTYPE vt = VT_BSTR;
  static BSTR From(const VARIANT* v) { return V_BSTR(v); }
  static void Store(VARIANT* v, BSTR x) { V_VT(v) = VT_BSTR, V_BSTR(v) = x; }
};
template <>
struct Native<IDispatch*> {  // no extra reference; a returned reference is owned by the result
  static constexpr VARTYPE vt = VT_DISPATCH;
  static IDispatch* From(const VARIANT* v) { return V_DISPATCH(v); }
  static void Store(VARIANT* v, IDispatch* x) { V_VT(v) = VT_DISPATCH, V_DISPATCH(v) = x; }
};
template <>
struct Native<IUnknown*> {
  static constexpr VARTYPE vt = VT_UNKNOWN;
  static IUnknown* From(const VARIANT* v) { return V_UNKNOWN(v); }
  static void Store(VARIANT* v, IUnknown* x) { V_VT(v) = VT_UNKNOWN, V_UNKNOWN(v) = x; }
};
template <>
struct Native<VARIANT*> {  // a parameter that takes any argument as the caller passed it
  static constexpr VARTYPE vt = VT_VARIANT;
  static VARIANT* From(VARIANT* v) { return v; }
};
template <>
struct Native<LONG*> {  // a by-reference VT_I4 parameter
  static constexpr VARTYPE vt = VT_BYREF | VT_I4;
  static LONG* From(const VARIANT* v) { return V_I4REF(v); }
};

template <class T>
constexpr unsigned char ParamCode() {
  constexpr VARTYPE vt = Native<T>::vt;
  static_assert((vt & ~VT_BYREF) < 0x40, "parameter type has no one-byte code");
  return static_cast<unsigned char>((vt & VT_BYREF) != 0 ? (0x40 | (vt & 0xFF)) : vt);
}

template <class... A>
struct ParamList {
  static constexpr unsigned char codes[] = {ParamCode<A>()..., 0};
  static constexpr const unsigned char* Get() { return sizeof...(A) == 0 ? nullptr : codes; }
};

template <class I, class R, class... A>
struct Signature {
  using Interface = I;
  using Result = R;
  using Params = ParamList<A...>;
  static constexpr VARTYPE ResultType() {
    if constexpr (std::is_void_v<R>) {
      return VT_EMPTY;
    } else {
      return Native<R>::vt;
    }
  }
};
template <class I, class R, class... A>
Signature<I, R, A...> SignatureOf(R (*)(I*, A...));

template <auto F, class I, class R, class... A, std::size_t... N>
void CallTypedN(IDispatch* self, VARIANTARG* const* args, VARIANT* result, R (*)(I*, A...),
                std::index_sequence<N...>) {
  I* object = static_cast<I*>(self);
  if constexpr (std::is_void_v<R>) {
    F(object, Native<A>::From(args[N])...);
  } else {
    Native<R>::Store(result, F(object, Native<A>::From(args[N])...));
  }
}
template <auto F, class I, class R, class... A>
void CallTyped(IDispatch* self, VARIANTARG* const* args, VARIANT* result, R (*fn)(I*, A...)) {
  CallTypedN<F>(self, args, result, fn, std::index_sequence_for<A...>{});
}

// The MemberFunction of a typed member function F(I*, A...) -> R.
template <auto F>
void Thunk(IDispatch* self, VARIANTARG* const* args, VARIANT* result) {
  CallTyped<F>(self, args, result, F);
}

// A method row for a typed member function F(I*, A...) -> R.
template <auto F>
constexpr MemberEntry Method(const char* name) {
  using S = decltype(SignatureOf(F));
  return {name, -1, S::Params::Get(), S::ResultType(), &Thunk<F>, nullptr, 0, 0};
}

// A property row: Get(I*, A...) -> R and Put(I*, A..., R).
template <auto Get, auto Put>
constexpr MemberEntry Property(const char* name) {
  using G = decltype(SignatureOf(Get));
  static_assert(!std::is_void_v<typename G::Result>, "a property getter returns the property's value");
  using P = decltype(SignatureOf(Put));
  static_assert(std::is_void_v<typename P::Result>, "a property setter returns nothing");
  return {name, -1, G::Params::Get(), G::ResultType(), &Thunk<Get>, &Thunk<Put>, 0, 0};
}

// ------------------------------------------------------------ raw rows
// Rows that name a raw operation of the dual interface, HRESULT (I::*)(A...),
// and call it through the interface: inputs come first and, when the last
// parameter points to a result type (LONG, ULONG, BSTR, IDispatch*), the
// operation writes its result there and the row returns it. A failing HRESULT
// becomes a KorDispatchError (ThrowOnFailure). The row's parameter and result
// types are those of the operation.
template <class T>
struct IsRawResult : std::false_type {};
template <>
struct IsRawResult<LONG> : std::true_type {};
template <>
struct IsRawResult<ULONG> : std::true_type {};
template <>
struct IsRawResult<BSTR> : std::true_type {};
template <>
struct IsRawResult<IDispatch*> : std::true_type {};

template <class Op>
struct RawOperation;
template <class I, class... A>
struct RawOperation<HRESULT (STDMETHODCALLTYPE I::*)(A...)> {
  using Interface = I;
  using Args = std::tuple<A...>;
  static constexpr bool ReturnsResult() {
    if constexpr (sizeof...(A) == 0) {
      return false;
    } else {
      using Last = std::tuple_element_t<sizeof...(A) - 1, Args>;
      return std::is_pointer_v<Last> && IsRawResult<std::remove_pointer_t<Last>>::value;
    }
  }
  static constexpr std::size_t kInputs = sizeof...(A) - (ReturnsResult() ? 1 : 0);
  template <std::size_t N>
  using Input = std::tuple_element_t<N, Args>;
  using Result = std::remove_pointer_t<std::tuple_element_t<sizeof...(A), std::tuple<void*, A...>>>;
};

template <auto Op, std::size_t... N>
void CallRawN(IDispatch* self, VARIANTARG* const* args, VARIANT* result, std::index_sequence<N...>) {
  using R = RawOperation<decltype(Op)>;
  auto* object = static_cast<typename R::Interface*>(self);
  if constexpr (R::ReturnsResult()) {
    typename R::Result value{};
    ThrowOnFailure((object->*Op)(Native<typename R::template Input<N>>::From(args[N])..., &value));
    Native<typename R::Result>::Store(result, value);
  } else {
    ThrowOnFailure((object->*Op)(Native<typename R::template Input<N>>::From(args[N])...));
  }
}
// The MemberFunction of a raw operation.
template <auto Op>
void RawThunk(IDispatch* self, VARIANTARG* const* args, VARIANT* result) {
  CallRawN<Op>(self, args, result, std::make_index_sequence<RawOperation<decltype(Op)>::kInputs>{});
}

template <class R, std::size_t... N>
constexpr const unsigned char* RawParams(std::index_sequence<N...>) {
  return ParamList<typename R::template Input<N>...>::Get();
}
template <auto Op>
constexpr const unsigned char* RawParamCodes() {
  using R = RawOperation<decltype(Op)>;
  return RawParams<R>(std::make_index_sequence<R::kInputs>{});
}
template <auto Op>
constexpr VARTYPE RawResultType() {
  using R = RawOperation<decltype(Op)>;
  if constexpr (R::ReturnsResult()) {
    return Native<typename R::Result>::vt;
  } else {
    return VT_EMPTY;
  }
}

// A method row for a raw operation.
template <auto Op>
constexpr MemberEntry RawMethod(const char* name) {
  return {name, -1, RawParamCodes<Op>(), RawResultType<Op>(), &RawThunk<Op>, nullptr, 0, 0};
}

// A property row for raw get_X(R*) and put_X(R) operations (with the same
// leading inputs, if any).
template <auto Get, auto Put>
constexpr MemberEntry RawProperty(const char* name) {
  static_assert(RawOperation<decltype(Get)>::ReturnsResult(), "a property getter returns the property's value");
  static_assert(!RawOperation<decltype(Put)>::ReturnsResult(), "a property setter returns nothing");
  return {name, -1, RawParamCodes<Get>(), RawResultType<Get>(), &RawThunk<Get>, &RawThunk<Put>, 0, 0};
}

// The row that ends every table.
constexpr MemberEntry EndRow() { return {nullptr, -1, nullptr, VT_VOID, nullptr, nullptr, -1, 0}; }

}  // namespace orvo
