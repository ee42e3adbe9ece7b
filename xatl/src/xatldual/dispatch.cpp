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

constexpr unsigned char kSeparator = 0xFF;  // between a put's parameters and its new value

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

// Binds the arguments to the row's parameters (for a put: the parameters, a
// separator, then the new value of the row's type) and calls the function.
// `argErr` receives the position in rgvarg of an argument at fault.
HRESULT BindAndCall(IDispatch* self, const MemberEntry& row, bool isPut, UINT cArgs, UINT cNamedArgs,
                    VARIANTARG* rgvarg, VARIANT* result, EXCEPINFO* excepInfo, LONG& argErr) {
  const UINT declared = ParamCount(row);
  const UINT entries = isPut ? declared + 2 : declared;
  SlotArray storage(entries);
  if (storage.slots == nullptr) return E_OUTOFMEMORY;
  VARIANTARG** const args = storage.args;

  auto entryType = [&](UINT i) -> unsigned char {
    if (i < declared) return row.params[i];
    return i == declared ? kSeparator : 0;  // the new value: the row's type
  };

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
  LONG n = static_cast<LONG>(cArgs);
  LONG k = static_cast<LONG>(cNamedArgs);
  bool named = false;
  UINT bound = 0;  // arguments handed to the function
  UINT entry = 0;
  for (; entry < entries; ++entry) {
    --n;
    const unsigned char code = entryType(entry);
    const bool separator = code == kSeparator;
    const VARTYPE type =
        separator ? VARTYPE{VT_EMPTY} : (entry > declared ? row.resultType : DeclaredType(code));
    Slot& slot = storage.slots[bound];
    if (n < k) {
      if (separator) {
        k = 0;
        named = true;
        n = static_cast<LONG>(cNamedArgs);
        continue;
      }
      if (type == VT_VARIANT && !named) {  // a missing optional argument
        V_VT(&slot.temp) = VT_ERROR;
        V_ERROR(&slot.temp) = DISP_E_PARAMNOTFOUND;
        slot.arg = &slot.temp;
        slot.position = -1;
        args[bound++] = slot.arg;
        continue;
      }
      break;
    }
    if (separator) break;
    slot.arg = &rgvarg[n];
    slot.type = type;
    slot.position = n;
    args[bound++] = slot.arg;
  }
  if (n >= 1) {
    argErr = n;
    return DISP_E_BADPARAMCOUNT;
  }
  if (entry < entries) {
    argErr = static_cast<LONG>(cArgs);
    return DISP_E_PARAMNOTOPTIONAL;
  }
  for (UINT i = 0; i < bound; ++i) {
    Slot& slot = storage.slots[i];
    if (slot.position < 0 || slot.type == VT_VARIANT || V_VT(slot.arg) == slot.type) continue;
    if (slot.type == VT_DISPATCH && HoldsNoObject(*slot.arg)) {
      V_VT(&slot.temp) = VT_DISPATCH;  // a null object: the member reports what it lacks
      V_DISPATCH(&slot.temp) = nullptr;
      slot.arg = &slot.temp;
      args[i] = slot.arg;
      continue;
    }
    if (VARIANTARG* value = ReferencedOfType(slot.arg, slot.type)) {
      slot.arg = value;
      args[i] = value;
      continue;
    }
    const HRESULT hr = VariantChangeType(&slot.temp, slot.arg, 0, slot.type);
    if (FAILED(hr)) {
      argErr = slot.position;
      return hr;
    }
    slot.arg = &slot.temp;
    args[i] = slot.arg;
  }

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

// Assignment by value for a put with flags exactly DISPATCH_PROPERTYPUT:
// an object value stands for its default value, and a value assigned to a
// property that holds an object goes into that object's default member.
// Returns DISP_E_MEMBERNOTFOUND when the ordinary put is to follow; then
// `replaced` tells whether rgvarg[0] now holds the fetched default value
// (the caller's value is in `saved`).
HRESULT AssignByValue(IDispatch* self, const MemberEntry& row, DISPID member, REFIID riid, LCID lcid,
                      DISPPARAMS& params, EXCEPINFO* excepInfo, UINT* puArgErr, VARIANT& saved, bool& replaced) {
  VARIANTARG* rgvarg = params.rgvarg;
  replaced = false;
  if (params.cArgs > 0 && V_VT(&rgvarg[0]) == VT_DISPATCH && V_DISPATCH(&rgvarg[0]) != nullptr) {
    saved = rgvarg[0];
    VariantInit(&rgvarg[0]);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const HRESULT hr = V_DISPATCH(&saved)->Invoke(DISPID_VALUE, riid, lcid, DISPATCH_PROPERTYGET, &none, &rgvarg[0],
                                                  excepInfo, puArgErr);
    if (FAILED(hr)) {
      VariantClear(&rgvarg[0]);
      rgvarg[0] = saved;
      return hr;  // DISP_E_MEMBERNOTFOUND: the object itself is put
    }
    replaced = true;
  }
  if (row.resultType != VT_DISPATCH) return DISP_E_MEMBERNOTFOUND;

  // The property holds an object: read it and assign into its default member.
  const UINT declared = ParamCount(row);
  DISPPARAMS getParams = {nullptr, nullptr, 0, 0};
  if (declared != 0 && params.cArgs > 0) getParams = {rgvarg + 1, nullptr, params.cArgs - 1, 0};
  VARIANT current;
  VariantInit(&current);
  HRESULT hr = self->Invoke(member, IID_NULL, lcid, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &getParams, &current,
                            nullptr, nullptr);
  if (FAILED(hr)) {
    // Nothing can be read (a key property before any key is set): the value
    // is put as it stands.
    hr = DISP_E_MEMBERNOTFOUND;
  } else if (V_VT(&current) == VT_DISPATCH && V_DISPATCH(&current) != nullptr) {
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS putParams = declared == 0 ? params : DISPPARAMS{rgvarg, &putId, 1, 1};
    hr = V_DISPATCH(&current)->Invoke(DISPID_VALUE, riid, lcid, DISPATCH_PROPERTYPUT, &putParams, nullptr,
                                      excepInfo, puArgErr);
  } else {
    hr = DISP_E_TYPEMISMATCH;  // read, but no object to assign into: the setter is not called
  }
  VariantClear(&current);
  if (replaced && hr == DISP_E_MEMBERNOTFOUND) {
    VariantClear(&rgvarg[0]);
    rgvarg[0] = saved;
    replaced = false;
  }
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
  if (params.cNamedArgs > 0 && (params.cNamedArgs != 1 || params.rgdispidNamedArgs == nullptr ||
                                params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  if (params.cNamedArgs > params.cArgs) return DISP_E_BADPARAMCOUNT;
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  UINT cArgs = params.cArgs;
  UINT cNamedArgs = params.cNamedArgs;

  const MemberEntry* row = FindMember(table, dispIdMember);
  if (row == nullptr) return DISP_E_MEMBERNOTFOUND;
  const UINT declared = ParamCount(*row);

  if (wFlags == DISPATCH_METHOD && row->put != nullptr) {
    if (cArgs > declared) {
      wFlags = DISPATCH_PROPERTYPUTREF;  // o.P(value) as a statement assigns
      cNamedArgs = 1;
    } else {
      wFlags = DISPATCH_PROPERTYGET;
    }
  }
  const bool isPut = (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (isPut) {
    pVarResult = nullptr;
    if (row->put == nullptr) return DISP_E_TYPEMISMATCH;
  }

  LONG argErr = -1;  // unset
  VARIANT saved;
  bool replaced = false;
  if (wFlags == DISPATCH_PROPERTYPUT) {
    const HRESULT hr =
        AssignByValue(self, *row, dispIdMember, riid, lcid, params, pExcepInfo, puArgErr, saved, replaced);
    if (hr != DISP_E_MEMBERNOTFOUND) {
      if (replaced) {
        VariantClear(&params.rgvarg[0]);
        params.rgvarg[0] = saved;
      }
      return hr;
    }
  }

  HRESULT hr = S_OK;
  bool done = false;
  if ((wFlags & DISPATCH_PROPERTYGET) != 0 && (wFlags & DISPATCH_METHOD) == 0) {
    if (row->resultType == VT_EMPTY) {
      hr = DISP_E_BADPARAMCOUNT;
      done = true;
    } else if (pVarResult == nullptr) {
      hr = DISP_E_PARAMNOTOPTIONAL;
      done = true;
    }
  }
  if (!done && (wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0 && declared == 0 && cArgs > 0) {
    done = true;
    if (row->resultType != VT_DISPATCH) {
      hr = DISP_E_BADPARAMCOUNT;
    } else {
      // o.P(args) where P returns an object: the arguments go to that
      // object's default member.
      VARIANT temp;
      VariantInit(&temp);
      VARIANT* holder = pVarResult != nullptr ? pVarResult : &temp;
      hr = BindAndCall(self, *row, false, 0, 0, nullptr, holder, pExcepInfo, argErr);
      if (SUCCEEDED(hr)) {
        if (V_VT(holder) == VT_DISPATCH && V_DISPATCH(holder) != nullptr) {
          IDispatch* object = V_DISPATCH(holder);
          VariantInit(holder);
          DISPPARAMS forward = params;
          hr = object->Invoke(DISPID_VALUE, riid, lcid, wFlags, &forward, pVarResult, pExcepInfo, puArgErr);
          object->Release();
        } else {
          hr = DISP_E_TYPEMISMATCH;
        }
      }
      VariantClear(&temp);
    }
  }
  if (!done) hr = BindAndCall(self, *row, isPut, cArgs, cNamedArgs, params.rgvarg, pVarResult, pExcepInfo, argErr);

  if (replaced) {
    VariantClear(&params.rgvarg[0]);
    params.rgvarg[0] = saved;
  }
  if (FAILED(hr) && puArgErr != nullptr && argErr >= 0) *puArgErr = static_cast<UINT>(argErr);
  return hr;
}

}  // namespace orvo
