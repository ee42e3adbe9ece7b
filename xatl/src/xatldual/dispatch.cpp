// IDispatch::Invoke over member tables: the named-argument rule, the re-reading
// of method calls on properties, assignment by value, the count checks,
// argument binding and conversion, result storage, and the one place where the
// exceptions of typed member functions become HRESULTs.
//
// Script hosts observed (VBScript and JScript): a bare property read arrives
// as DISPATCH_METHOD|DISPATCH_PROPERTYGET from VBScript and DISPATCH_PROPERTYGET
// from JScript; every put carries its value as the one named argument
// DISPID_PROPERTYPUT, with DISPATCH_PROPERTYPUT (VBScript, also for objects),
// DISPATCH_PROPERTYPUTREF (VBScript's Set) or both (JScript objects); arguments
// may arrive as VT_BYREF|VT_VARIANT and small VBScript literals as VT_I2.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "xatlcom/dispatch.h"
#include "xatlcom/error.h"

namespace orvo {
namespace {

// IsEqualIID(riid, IID_NULL) as two word compares (every call checks it).
static_assert(sizeof(IID) == 16, "an IID is 16 bytes");
bool IsNullIid(REFIID riid) {
  uint64_t words[2];
  std::memcpy(words, &riid, sizeof words);
  return (words[0] | words[1]) == 0;
}

VARTYPE DeclaredType(unsigned char code) {
  return (code & 0x40) != 0 ? static_cast<VARTYPE>(VT_BYREF | (code & 0xBF)) : code;
}

// The exception boundary of the dispatcher: runs one member function and maps
// what it throws. A thrown HRESULT is the result; a KorDispatchError fills
// EXCEPINFO and gives DISP_E_EXCEPTION; anything else does the same as an
// E_UNEXPECTED error with the description "Unhandled exception".
HRESULT GuardedCall(MemberFunction function, IDispatch* self, VARIANTARG* const* args, VARIANT* result,
                    EXCEPINFO* excepInfo) noexcept {
  try {
    function(self, args, result);
    return S_OK;
  } catch (const KorDispatchError& error) {
    if (excepInfo != nullptr) error.FillExcepInfo(excepInfo);
  } catch (HRESULT hr) {
    return hr;
  } catch (...) {
    if (excepInfo != nullptr) KorDispatchError(E_UNEXPECTED, L"Unhandled exception", nullptr).FillExcepInfo(excepInfo);
  }
  return DISP_E_EXCEPTION;
}

// JScript passes null as VT_NULL and undefined as VT_EMPTY, VBScript's Null
// and Empty arrive the same way (or by reference). For an object parameter
// they mean what VBScript's Nothing (a null VT_DISPATCH) means, and bind as a
// null object, so that the member answers with its own error ("Internal
// error: can't get source OrvoBlob COM interface" for a Blob) rather than
// VariantChangeType's bare DISP_E_TYPEMISMATCH without a description.
bool HoldsNoObject(const VARIANTARG& arg) {
  const VARIANTARG& value =
      V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr ? *V_VARIANTREF(&arg) : arg;
  return V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY;
}

// One argument slot: the argument as the function sees it, and a conversion
// temporary when one was needed.
struct Slot {
  VARIANTARG temp;
  VARIANTARG* arg;
  VARTYPE type;   // the declared type an argument from rgvarg is converted to
  LONG position;  // its index in rgvarg; -1 for a missing optional argument
};

// The slots of one call, with the array of argument pointers handed to the
// function: on the stack for the counts members have, from the heap beyond.
class SlotArray {
 public:
  explicit SlotArray(UINT n) : count_(n) {
    if (n > kInline) {
      heapSlots_.reset(new (std::nothrow) Slot[n]);
      heapArgs_.reset(new (std::nothrow) VARIANTARG*[n]);
      if (!heapSlots_ || !heapArgs_) {
        count_ = 0;
        slots = nullptr;
        return;
      }
      slots = heapSlots_.get();
      args = heapArgs_.get();
    }
    for (UINT i = 0; i < count_; ++i) VariantInit(&slots[i].temp);
  }
  ~SlotArray() {
    for (UINT i = 0; i < count_; ++i)
      if (V_VT(&slots[i].temp) != VT_EMPTY) VariantClear(&slots[i].temp);
  }
  SlotArray(const SlotArray&) = delete;
  SlotArray& operator=(const SlotArray&) = delete;

  Slot* slots = inlineSlots_;  // null when memory ran out
  VARIANTARG** args = inlineArgs_;

 private:
  static constexpr UINT kInline = 8;
  UINT count_;
  Slot inlineSlots_[kInline];
  VARIANTARG* inlineArgs_[kInline];
  std::unique_ptr<Slot[]> heapSlots_;
  std::unique_ptr<VARIANTARG*[]> heapArgs_;
};

// An argument VBScript passed by reference whose value already has the
// declared type: the function reads that value where it is, as it would read
// a converted copy, so no copy is made (no string duplicated, no reference
// taken and dropped).
VARIANTARG* ReferencedOfType(VARIANTARG* arg, VARTYPE type) {
  if (V_VT(arg) != (VT_BYREF | VT_VARIANT)) return nullptr;
  VARIANTARG* value = V_VARIANTREF(arg);
  return value != nullptr && V_VT(value) == type ? value : nullptr;
}

// One entry of a call: the row's parameters in order and, for a put, a
// separator and then the new value, of the row's type.
struct Entry {
  bool separator;
  VARTYPE type;  // the declared type; VT_EMPTY for the separator
};

Entry EntryOf(const MemberEntry& row, UINT declared, UINT index) {
  if (index < declared) return {false, DeclaredType(row.params[index])};
  if (index == declared) return {true, VT_EMPTY};
  return {false, row.resultType};
}

// Pairs the call's entries with the arguments in rgvarg (they arrive last
// first; a put's value is the named argument, past the separator) and fills
// `storage` with the first `bound` of them. A missing optional argument (a
// VT_VARIANT parameter) is bound as DISP_E_PARAMNOTFOUND.
//
// The count is checked before any argument is converted: the loop only
// pairs entries with arguments, the end check decides the count errors,
// and only a call with the right count converts (a failure still names the
// argument's position in rgvarg). A wrong count is a fault of the call as a
// whole, so it must not depend on what the arguments hold: converting
// inside the loop made aes.Encrypt(blob, 1) a count error but
// aes.Encrypt("abc", 1) a type mismatch, and VBScript turned the latter
// into "Type mismatch" (13) instead of "Wrong number of arguments" (450).
// (Wine's typelib-driven Invoke converts as it goes, but it checks surplus
// arguments only against a [retval] parameter, so it sets no precedent.)
HRESULT PairArguments(const MemberEntry& row, UINT entries, UINT cArgs, UINT cNamedArgs, VARIANTARG* rgvarg,
                      SlotArray& storage, UINT& bound, LONG& argErr) {
  const UINT declared = ParamCount(row);
  LONG n = static_cast<LONG>(cArgs);
  LONG k = static_cast<LONG>(cNamedArgs);
  bool named = false;
  UINT entry = 0;
  for (; entry < entries; ++entry) {
    --n;
    const Entry current = EntryOf(row, declared, entry);
    Slot& slot = storage.slots[bound];
    if (n < k) {
      if (current.separator) {
        k = 0;
        named = true;
        n = static_cast<LONG>(cNamedArgs);
        continue;
      }
      if (current.type == VT_VARIANT && !named) {  // a missing optional argument
        V_VT(&slot.temp) = VT_ERROR;
        V_ERROR(&slot.temp) = DISP_E_PARAMNOTFOUND;
        slot.arg = &slot.temp;
        slot.position = -1;
        storage.args[bound++] = slot.arg;
        continue;
      }
      break;
    }
    if (current.separator) break;
    slot.arg = &rgvarg[n];
    slot.type = current.type;
    slot.position = n;
    storage.args[bound++] = slot.arg;
  }
  if (n >= 1) {
    argErr = n;
    return DISP_E_BADPARAMCOUNT;
  }
  if (entry < entries) {
    argErr = static_cast<LONG>(cArgs);
    return DISP_E_PARAMNOTOPTIONAL;
  }
  return S_OK;
}

// Brings one argument from rgvarg to its declared type, in place where it
// can: the null object for no object, the value a reference holds, else a
// converted copy in the slot.
HRESULT ConvertArgument(Slot& slot) {
  if (slot.type == VT_DISPATCH && HoldsNoObject(*slot.arg)) {
    V_VT(&slot.temp) = VT_DISPATCH;  // a null object: the member reports what it lacks
    V_DISPATCH(&slot.temp) = nullptr;
    slot.arg = &slot.temp;
    return S_OK;
  }
  if (VARIANTARG* value = ReferencedOfType(slot.arg, slot.type)) {
    slot.arg = value;
    return S_OK;
  }
  const HRESULT hr = VariantChangeType(&slot.temp, slot.arg, 0, slot.type);
  if (FAILED(hr)) return hr;
  slot.arg = &slot.temp;
  return S_OK;
}

// Converts the bound arguments that do not have their declared type yet (a
// VT_VARIANT parameter takes any); `argErr` receives the position in rgvarg
// of the first that cannot be converted.
HRESULT ConvertArguments(SlotArray& storage, UINT bound, LONG& argErr) {
  for (UINT i = 0; i < bound; ++i) {
    Slot& slot = storage.slots[i];
    if (slot.position < 0 || slot.type == VT_VARIANT || V_VT(slot.arg) == slot.type) continue;
    const HRESULT hr = ConvertArgument(slot);
    if (FAILED(hr)) {
      argErr = slot.position;
      return hr;
    }
    storage.args[i] = slot.arg;
  }
  return S_OK;
}

// Calls the row's function (its setter for a put) and hands the value it
// returns to `result`; the value is freed when the call failed or no result
// is wanted.
HRESULT CallRow(IDispatch* self, const MemberEntry& row, bool isPut, VARIANTARG* const* args, VARIANT* result,
                EXCEPINFO* excepInfo) {
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = GuardedCall(isPut ? row.put : row.call, self, args, &value, excepInfo);
  if (FAILED(hr) || result == nullptr) {
    VariantClear(&value);  // frees a returned string, releases a returned object
  } else {
    *result = value;  // the result now owns the value
  }
  return hr;
}

// Binds the arguments to the row's parameters (for a put: the parameters, a
// separator, then the new value of the row's type) and calls the function.
// `argErr` receives the position in rgvarg of an argument at fault.
HRESULT BindAndCall(IDispatch* self, const MemberEntry& row, bool isPut, UINT cArgs, UINT cNamedArgs,
                    VARIANTARG* rgvarg, VARIANT* result, EXCEPINFO* excepInfo, LONG& argErr) {
  const UINT declared = ParamCount(row);
  const UINT entries = isPut ? declared + 2 : declared;
  SlotArray storage(entries);
  if (storage.slots == nullptr) return E_OUTOFMEMORY;
  UINT bound = 0;  // arguments handed to the function
  HRESULT hr = PairArguments(row, entries, cArgs, cNamedArgs, rgvarg, storage, bound, argErr);
  if (SUCCEEDED(hr)) hr = ConvertArguments(storage, bound, argErr);
  if (SUCCEEDED(hr)) hr = CallRow(self, row, isPut, storage.args, result, excepInfo);
  return hr;
}

// One Invoke of a member: its row, and the flags and named-argument count as
// the dispatcher reads them (a method call on a property is re-read).
struct Invocation {
  IDispatch* self;
  const MemberEntry& row;
  DISPID member;
  REFIID riid;
  LCID lcid;
  WORD flags;
  DISPPARAMS& params;
  UINT cNamedArgs;
  VARIANT* result;  // null for a put
  EXCEPINFO* excepInfo;
  UINT* puArgErr;
  LONG argErr;  // the position in rgvarg of an argument at fault; -1: none

  bool IsPut() const { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
};

// The rule on named arguments: the only one is a put's value,
// DISPID_PROPERTYPUT. Then the counts and rgvarg must agree.
HRESULT CheckArguments(const DISPPARAMS& params) {
  if (params.cNamedArgs > 0 && (params.cNamedArgs != 1 || params.rgdispidNamedArgs == nullptr ||
                                params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  if (params.cNamedArgs > params.cArgs) return DISP_E_BADPARAMCOUNT;
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  return S_OK;
}

// A plain method call (DISPATCH_METHOD alone) of a property: with more
// arguments than the property's parameters, o.P(value) as a statement
// assigns (by reference, the last argument the value); else it reads.
void ReadMethodCallOnProperty(Invocation& call) {
  if (call.flags != DISPATCH_METHOD || call.row.put == nullptr) return;
  if (call.params.cArgs > ParamCount(call.row)) {
    call.flags = DISPATCH_PROPERTYPUTREF;
    call.cNamedArgs = 1;
  } else {
    call.flags = DISPATCH_PROPERTYGET;
  }
}

// A get without DISPATCH_METHOD needs a member that returns a value and a
// place for it.
HRESULT CheckGet(const Invocation& call) {
  if ((call.flags & DISPATCH_PROPERTYGET) == 0 || (call.flags & DISPATCH_METHOD) != 0) return S_OK;
  if (call.row.resultType == VT_EMPTY) return DISP_E_BADPARAMCOUNT;
  if (call.result == nullptr) return DISP_E_PARAMNOTOPTIONAL;
  return S_OK;
}

// A call or get with arguments of a member without parameters.
bool HasArgumentsForDefaultMember(const Invocation& call) {
  return (call.flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0 && ParamCount(call.row) == 0 &&
         call.params.cArgs > 0;
}

// o.P(args) where P takes no arguments: when P returns an object, the
// arguments go to that object's default member; for anything else they are
// too many.
HRESULT ForwardToDefaultMember(Invocation& call) {
  if (call.row.resultType != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
  VARIANT temp;
  VariantInit(&temp);
  VARIANT* holder = call.result != nullptr ? call.result : &temp;
  HRESULT hr = BindAndCall(call.self, call.row, false, 0, 0, nullptr, holder, call.excepInfo, call.argErr);
  if (SUCCEEDED(hr)) {
    if (V_VT(holder) == VT_DISPATCH && V_DISPATCH(holder) != nullptr) {
      IDispatch* object = V_DISPATCH(holder);
      VariantInit(holder);
      DISPPARAMS forward = call.params;
      hr = object->Invoke(DISPID_VALUE, call.riid, call.lcid, call.flags, &forward, call.result, call.excepInfo,
                          call.puArgErr);
      object->Release();
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
  }
  VariantClear(&temp);
  return hr;
}

// rgvarg[0] of a put by value while the Invoke runs: the caller's value, or
// in its place the default value of the object it holds. The caller's value
// is back in rgvarg[0] when this goes.
class PutValue {
 public:
  explicit PutValue(DISPPARAMS& params) : params_(params) { VariantInit(&saved_); }
  ~PutValue() { Restore(); }
  PutValue(const PutValue&) = delete;
  PutValue& operator=(const PutValue&) = delete;

  // An object value stands for its default value, fetched into rgvarg[0].
  // Succeeds when that was done or the value is no object; a failure is that
  // of the object's default member (DISP_E_MEMBERNOTFOUND: it has none, and
  // the object itself is the value), with the caller's value back in place.
  HRESULT TakeDefaultValue(const Invocation& call) {
    VARIANTARG* rgvarg = params_.rgvarg;
    if (params_.cArgs == 0 || V_VT(&rgvarg[0]) != VT_DISPATCH || V_DISPATCH(&rgvarg[0]) == nullptr) return S_OK;
    saved_ = rgvarg[0];
    VariantInit(&rgvarg[0]);
    replaced_ = true;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const HRESULT hr = V_DISPATCH(&saved_)->Invoke(DISPID_VALUE, call.riid, call.lcid, DISPATCH_PROPERTYGET, &none,
                                                   &rgvarg[0], call.excepInfo, call.puArgErr);
    if (FAILED(hr)) Restore();
    return hr;
  }

  // The caller's value back in rgvarg[0].
  void Restore() {
    if (!replaced_) return;
    VariantClear(&params_.rgvarg[0]);
    params_.rgvarg[0] = saved_;
    replaced_ = false;
  }

 private:
  DISPPARAMS& params_;
  VARIANT saved_;
  bool replaced_ = false;
};

// A value assigned to a property that holds an object goes into that object's
// default member. DISP_E_MEMBERNOTFOUND when nothing can be read (a key
// property before any key is set): the value is then put as it stands.
HRESULT AssignIntoHeldObject(const Invocation& call) {
  const UINT declared = ParamCount(call.row);
  DISPPARAMS& params = call.params;
  VARIANTARG* rgvarg = params.rgvarg;
  DISPPARAMS getParams = {nullptr, nullptr, 0, 0};
  if (declared != 0 && params.cArgs > 0) getParams = {rgvarg + 1, nullptr, params.cArgs - 1, 0};
  VARIANT current;
  VariantInit(&current);
  HRESULT hr = call.self->Invoke(call.member, IID_NULL, call.lcid, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &getParams, &current, nullptr, nullptr);
  if (FAILED(hr)) {
    hr = DISP_E_MEMBERNOTFOUND;
  } else if (V_VT(&current) == VT_DISPATCH && V_DISPATCH(&current) != nullptr) {
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS putParams = declared == 0 ? params : DISPPARAMS{rgvarg, &putId, 1, 1};
    hr = V_DISPATCH(&current)->Invoke(DISPID_VALUE, call.riid, call.lcid, DISPATCH_PROPERTYPUT, &putParams, nullptr,
                                      call.excepInfo, call.puArgErr);
  } else {
    hr = DISP_E_TYPEMISMATCH;  // read, but no object to assign into: the setter is not called
  }
  VariantClear(&current);
  return hr;
}

// Assignment by value, for a put with flags exactly DISPATCH_PROPERTYPUT: an
// object value stands for its default value, and a value assigned to a
// property that holds an object goes into that object's default member.
// Returns DISP_E_MEMBERNOTFOUND when the ordinary put is to follow, with
// `value` in rgvarg[0].
HRESULT AssignByValue(const Invocation& call, PutValue& value) {
  HRESULT hr = value.TakeDefaultValue(call);
  if (FAILED(hr)) return hr;
  if (call.row.resultType != VT_DISPATCH) return DISP_E_MEMBERNOTFOUND;
  hr = AssignIntoHeldObject(call);
  if (hr == DISP_E_MEMBERNOTFOUND) value.Restore();  // the caller's value is put as it stands
  return hr;
}

}  // namespace

HRESULT DispatchInvoke(IDispatch* self, const MemberTable& table, DISPID dispIdMember, REFIID riid, LCID lcid,
                       WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                       UINT* puArgErr) noexcept {
  if (pVarResult != nullptr) VariantInit(pVarResult);
  if (!IsNullIid(riid)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  DISPPARAMS& params = pDispParams != nullptr ? *pDispParams : none;
  HRESULT hr = CheckArguments(params);
  if (FAILED(hr)) return hr;
  const MemberEntry* row = FindMember(table, dispIdMember);
  if (row == nullptr) return DISP_E_MEMBERNOTFOUND;

  Invocation call{self, *row, dispIdMember, riid, lcid, wFlags, params, params.cNamedArgs,
                  pVarResult, pExcepInfo, puArgErr, -1};
  ReadMethodCallOnProperty(call);
  if (call.IsPut()) {
    call.result = nullptr;
    if (row->put == nullptr) return DISP_E_TYPEMISMATCH;
  }
  PutValue value(params);
  if (call.flags == DISPATCH_PROPERTYPUT) {
    hr = AssignByValue(call, value);
    if (hr != DISP_E_MEMBERNOTFOUND) return hr;
  }
  hr = CheckGet(call);
  if (SUCCEEDED(hr)) {
    hr = HasArgumentsForDefaultMember(call)
             ? ForwardToDefaultMember(call)
             : BindAndCall(self, *row, call.IsPut(), params.cArgs, call.cNamedArgs, params.rgvarg, call.result,
                           pExcepInfo, call.argErr);
  }
  if (FAILED(hr) && puArgErr != nullptr && call.argErr >= 0) *puArgErr = static_cast<UINT>(call.argErr);
  return hr;
}

}  // namespace orvo
