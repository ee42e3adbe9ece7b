// Table-driven IDispatch. A scripting class describes its scriptable members
// in a static member table; one implementation of GetIDsOfNames and Invoke
// serves every class from those tables. There is no type library.
//
// A member's number is (level << 16) | (row index + 1), where level is the
// position of the row's table in the chain of tables (0 for the class's own).
#pragma once

#include <cstddef>
#include <iterator>
#include <tuple>
#include <type_traits>
#include <utility>

#include "xatlcom/error.h"
#include "xatlcom/platform.h"

namespace orvo {

// Calls what a row names (a raw operation or a function of the object, see
// the rows below): `args` are the bound arguments in declaration order, each
// already of its declared type; `result` (initialised and empty) receives the
// returned value with the row's result type.
using MemberFunction = void (*)(IDispatch* object, VARIANTARG* const* args, VARIANT* result);

// One row of a member table. The row's member number is its position.
struct MemberEntry {
  const char* name;             // the script-visible name
  const unsigned char* params;  // one VARTYPE byte per parameter, zero-terminated; null: none.
                                // A byte with bit 0x40 set is VT_BYREF | (byte & 0xBF).
  VARTYPE resultType;           // VT_EMPTY: returns nothing; for a property its type
  MemberFunction call;          // the method, or the property's getter
  MemberFunction put;           // the property's setter, or null
};

// One level of a class's chain of member tables.
struct MemberTable {
  const MemberTable* (*base)();  // the base class's table; returns null at the root
  const MemberEntry* rows;
  std::size_t rowCount;
};

// The table of `rows` (a class's whole array of rows) over the chain `base`.
template <std::size_t N>
constexpr MemberTable MakeMemberTable(const MemberTable* (*base)(), const MemberEntry (&rows)[N]) {
  static_assert(N <= 0xFFFF, "a member number holds the row's position in 16 bits");
  return {base, rows, std::size(rows)};
}

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

// What a row calls, of one of two kinds:
//  - a raw operation of the dual interface, HRESULT (I::*)(A...): inputs come
//    first and, when the last parameter points to a result type (LONG, ULONG,
//    BSTR, IDispatch*), the operation writes its result there and the row
//    returns it. A failing HRESULT becomes a KorDispatchError (ThrowOnFailure).
//    The scripting classes' members are all of this kind.
//  - a function of the object, R (*)(I*, A...): its value is the result (none
//    for void), and what it throws reaches the dispatcher as it is. The page
//    hooks are of this kind: their HRESULT is the member's VT_I4 value.
// Either way the row's parameter and result types are those of the function,
// and one thunk calls it.
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

template <class I, class... A>
struct RawOperation {
  using Interface = I;
  static constexpr bool WritesResult() {
    if constexpr (sizeof...(A) == 0) {
      return false;
    } else {
      using Last = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;
      return std::is_pointer_v<Last> && IsRawResult<std::remove_pointer_t<Last>>::value;
    }
  }
  static constexpr std::size_t kInputs = sizeof...(A) - (WritesResult() ? 1 : 0);
  template <std::size_t N>
  using Input = std::tuple_element_t<N, std::tuple<A...>>;
  using Result = std::conditional_t<WritesResult(),
                                    std::remove_pointer_t<std::tuple_element_t<sizeof...(A), std::tuple<void*, A...>>>,
                                    void>;

  template <auto Op, class... In>
  static Result Call(I* object, In... inputs) {
    if constexpr (WritesResult()) {
      Result value{};
      ThrowOnFailure((object->*Op)(inputs..., &value));
      return value;
    } else {
      ThrowOnFailure((object->*Op)(inputs...));
    }
  }
};

template <class I, class R, class... A>
struct ObjectFunction {
  using Interface = I;
  static constexpr std::size_t kInputs = sizeof...(A);
  template <std::size_t N>
  using Input = std::tuple_element_t<N, std::tuple<A...>>;
  using Result = R;

  template <auto F, class... In>
  static R Call(I* object, In... inputs) {
    return F(object, inputs...);
  }
};

// The kind of a row's function (declarations only: decltype(KindOf(F))).
template <class I, class... A>
RawOperation<I, A...> KindOf(HRESULT (STDMETHODCALLTYPE I::*)(A...));
template <class I, class R, class... A>
ObjectFunction<I, R, A...> KindOf(R (*)(I*, A...));

template <auto F>
using KindOfFunction = decltype(KindOf(F));

template <auto F, std::size_t... N>
void CallWithArguments(IDispatch* self, VARIANTARG* const* args, VARIANT* result, std::index_sequence<N...>) {
  using K = KindOfFunction<F>;
  auto* object = static_cast<typename K::Interface*>(self);
  if constexpr (std::is_void_v<typename K::Result>) {
    K::template Call<F>(object, Native<typename K::template Input<N>>::From(args[N])...);
  } else {
    Native<typename K::Result>::Store(result,
                                      K::template Call<F>(object, Native<typename K::template Input<N>>::From(args[N])...));
  }
}

// The MemberFunction of F, a raw operation or a function of the object.
template <auto F>
void Thunk(IDispatch* self, VARIANTARG* const* args, VARIANT* result) {
  CallWithArguments<F>(self, args, result, std::make_index_sequence<KindOfFunction<F>::kInputs>{});
}

template <class K, std::size_t... N>
constexpr const unsigned char* ParamCodes(std::index_sequence<N...>) {
  return ParamList<typename K::template Input<N>...>::Get();
}
template <auto F>
constexpr const unsigned char* ParamCodesOf() {
  using K = KindOfFunction<F>;
  return ParamCodes<K>(std::make_index_sequence<K::kInputs>{});
}
template <auto F>
constexpr VARTYPE ResultTypeOf() {
  using R = typename KindOfFunction<F>::Result;
  if constexpr (std::is_void_v<R>) {
    return VT_EMPTY;
  } else {
    return Native<R>::vt;
  }
}

// A method row.
template <auto F>
constexpr MemberEntry Method(const char* name) {
  return {name, ParamCodesOf<F>(), ResultTypeOf<F>(), &Thunk<F>, nullptr};
}

// A property row: Get(A...) -> R and Put(A..., R), as raw get_X(R*) and
// put_X(R) operations or as functions of the object, with the same leading
// inputs, if any.
template <auto Get, auto Put>
constexpr MemberEntry Property(const char* name) {
  using G = KindOfFunction<Get>;
  using P = KindOfFunction<Put>;
  static_assert(!std::is_void_v<typename G::Result>, "a property getter returns the property's value");
  static_assert(std::is_void_v<typename P::Result>, "a property setter returns nothing");
  static_assert(P::kInputs == G::kInputs + 1 &&
                    std::is_same_v<typename P::template Input<G::kInputs>, typename G::Result>,
                "a property setter takes the getter's inputs and then a value of the getter's result type");
  return {name, ParamCodesOf<Get>(), ResultTypeOf<Get>(), &Thunk<Get>, &Thunk<Put>};
}

}  // namespace orvo
