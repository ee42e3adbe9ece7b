// Fuzz target: the Blob component as its own module (liborvoblob.so natively,
// orvoblob.dll under Wine, loaded by tests/support/blob_loader/blob_component.h), driven
// through IDispatch::Invoke with arbitrary member numbers, flags, argument
// counts, named arguments and VARIANT forms (byte arrays in every form a host
// could pass: by value, by reference, inside a VT_BYREF|VT_VARIANT, several
// dimensions, odd lower bounds, empty, a null array, wrong element types), and
// through its IOrvoBlob vtable as the crypto objects use it (Lock, Unlock,
// GetBuffer, the buffer rewritten with the shared allocator).
//
// Input: Byte Blob count (1-3), then operations until the input is used up (at
// most 16), each starting with a Byte op and a Byte Blob index:
//   op < 0xD0  Invoke. Byte member: < 0xC0 a member by number (1-8),
//              0xC0-0xC7 DISPID_VALUE and -1 .. -7, 0xC8-0xCF a number in
//              the base table's level, else a raw U32;
//              Byte flags (low five bits), Byte argument count (mod 5),
//              Byte named form (none, DISPID_PROPERTYPUT, a raw U32, two names),
//              Byte options (bit 0 wants a result, bit 1 no EXCEPINFO,
//              bit 2 no argument-error slot), then per argument a value
//              (MakeValue).
//   else       one vtable operation, (op - 0xD0) mod 10: Lock, Unlock,
//              GetBuffer, the buffer replaced by a Piece, grown by a Byte,
//              truncated to a Byte, its block swapped for a new one,
//              QueryInterface, GetIDsOfNames of a Piece, GetTypeInfo.
//
// Checks: no crash, undefined behaviour or leak; failures are HRESULTs with an
// empty result, and only DISP_E_EXCEPTION carries EXCEPINFO texts (freed
// here); the arguments come back as they were given (arrays unlocked, bytes
// untouched); a failed call leaves the Blob's bytes as they were; after every
// call the Blob's Hex, Base64, Size and Bytes agree with its buffer (against a
// plain hexadecimal and Base64 encoder here); a successful Bytes put of one
// argument reads back as the bytes put; Lock and Unlock pair up; every Blob's
// last Release answers 0 and the module's DllCanUnloadNow answers S_OK.
//
// LoadFromFile and SaveToFile take only paths inside a folder of this process
// under the temporary folder (a file there, a file in a missing folder, the
// folder itself, the empty path), whatever the input asks: every argument of
// those two members is replaced by one of these, so the fuzzer writes nowhere
// else. The folder is made when one of them is called and removed after the input.
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/blob_allocator.h"
#include "objects/guids.h"
#include "orvoblob/blob_interface.h"
#include "orvoblob/orvo_blob.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/blob_loader/blob_component.h"
#include "xatlcom/dispatch.h"
#include "xatlcom/platform.h"

#ifdef _WIN32
#include <process.h>
#define ORVO_FUZZ_PID _getpid()
#else
#include <unistd.h>
#define ORVO_FUZZ_PID getpid()
#endif

namespace {

namespace fs = std::filesystem;
using orvo::fuzz::Input;

constexpr size_t kMaxElements = 4096;

std::string PlainHex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string PlainBase64(const std::vector<uint8_t>& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) {
    FUZZ_CHECK(text[i] < 0x80);
    out += static_cast<char>(text[i]);
  }
  return out;
}

// The folder the file members may use (made when one is called), and the paths they get.
const fs::path& FileFolder() {
  static const fs::path folder =
      orvo::fuzz::ScratchRoot() / ("orvo_fuzz_blob." + std::to_string(static_cast<long>(ORVO_FUZZ_PID)));
  return folder;
}

std::wstring ConfinedPath(uint8_t pick) {
  switch (pick % 4) {
    case 0: return (FileFolder() / "blob.bin").wstring();
    case 1: return (FileFolder() / "missing" / "blob.bin").wstring();
    case 2: return FileFolder().wstring();
    default: return std::wstring();
  }
}

// One Blob of the input: its interfaces and what the fuzzer holds of it.
struct Blob {
  IOrvoBlob* raw = nullptr;
  IOrvoBlobDispatch* script = nullptr;
  XBlob* buffer = nullptr;  // from the first GetBuffer; must stay the same
  int locks = 0;
};

std::vector<uint8_t> BufferBytes(Blob& blob) {
  FUZZ_CHECK(blob.raw->Lock() == S_OK);
  XBlob* buffer = nullptr;
  FUZZ_CHECK(blob.raw->GetBuffer(&buffer) == S_OK && buffer == blob.buffer);
  FUZZ_CHECK(buffer->size <= buffer->capacity);
  FUZZ_CHECK(buffer->capacity == 0 || buffer->data != nullptr);
  std::vector<uint8_t> bytes(buffer->data, buffer->data + buffer->size);
  FUZZ_CHECK(blob.raw->Unlock() == S_OK);
  return bytes;
}

// The bytes of a one-dimensional array of one-byte elements.
std::vector<uint8_t> ArrayBytes(SAFEARRAY* array) {
  FUZZ_CHECK(array != nullptr && SafeArrayGetDim(array) == 1 && SafeArrayGetElemsize(array) == 1);
  const auto* data = static_cast<const uint8_t*>(array->pvData);
  return std::vector<uint8_t>(data, data + array->rgsabound[0].cElements);
}

// Hex, Base64, Size and Bytes against the buffer.
void CheckViews(Blob& blob) {
  const std::vector<uint8_t> bytes = BufferBytes(blob);
  BSTR text = nullptr;
  FUZZ_CHECK(blob.script->get_Hex(&text) == S_OK);
  FUZZ_CHECK(Narrow(text) == PlainHex(bytes));
  SysFreeString(text);
  text = nullptr;
  FUZZ_CHECK(blob.script->get_Base64(&text) == S_OK);
  FUZZ_CHECK(Narrow(text) == PlainBase64(bytes));
  SysFreeString(text);
  LONG size = -1;
  FUZZ_CHECK(blob.script->get_Size(&size) == S_OK && size == static_cast<LONG>(bytes.size()));
  VARIANT array;
  FUZZ_CHECK(blob.script->get_Bytes(&array) == S_OK && V_VT(&array) == (VT_ARRAY | VT_UI1));
  LONG lower = -1;
  FUZZ_CHECK(SafeArrayGetLBound(V_ARRAY(&array), 1, &lower) == S_OK && lower == 0);
  FUZZ_CHECK(ArrayBytes(V_ARRAY(&array)) == bytes);
  FUZZ_CHECK(VariantClear(&array) == S_OK);
}

// Everything one call's arguments own, and copies to check them against afterwards.
struct Arguments {
  std::vector<VARIANT> values;   // in script order
  std::vector<VARIANT> inner;    // targets of VT_BYREF|VT_VARIANT; reserved, never reallocated
  std::vector<SAFEARRAY*> refs;  // targets of VT_BYREF|VT_ARRAY; reserved
  std::vector<BSTR> textRefs;     // targets of VT_BYREF|VT_BSTR; reserved
  std::vector<SAFEARRAY*> arrays;
  std::vector<std::vector<uint8_t>> arrayBytes;  // each array's element bytes as given
  std::vector<BSTR> strings;

  Arguments() {
    inner.reserve(8);
    refs.reserve(8);
    textRefs.reserve(8);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  ~Arguments() {
    for (SAFEARRAY* array : arrays) FUZZ_CHECK(SafeArrayDestroy(array) == S_OK);
    for (BSTR text : strings) SysFreeString(text);
  }

  BSTR Text(const std::wstring& text) {
    strings.push_back(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    return strings.back();
  }
  // Every array unlocked, its elements as given.
  void CheckArrays() const {
    for (size_t i = 0; i < arrays.size(); ++i) {
      FUZZ_CHECK(arrays[i]->cLocks == 0);
      const size_t n = arrayBytes[i].size();
      FUZZ_CHECK(n == 0 || std::memcmp(arrays[i]->pvData, arrayBytes[i].data(), n) == 0);
    }
  }
};

LONG LowerBound(Input& in) {
  static const LONG bounds[] = {0, 0, 1, -1, 5, -5, 0x7FFFFFFF, static_cast<LONG>(0x80000000), 0x7FFFFFF0, 0x7FFFFFFE};
  const uint8_t pick = in.Byte();
  if (pick < 0xF0) return bounds[pick % (sizeof bounds / sizeof bounds[0])];
  return static_cast<LONG>(in.U32());
}

// A SAFEARRAY of a chosen element type, 1-3 dimensions, or null.
SAFEARRAY* MakeArray(Input& in, Arguments& args) {
  static const VARTYPE types[] = {VT_UI1, VT_UI1, VT_UI1, VT_I1, VT_VARIANT, VT_I2, VT_BSTR, VT_I4};
  const uint8_t shape = in.Byte();
  const VARTYPE vt = types[shape % 8];
  const UINT dims = (shape >> 3) % 4;  // 0: no array
  if (dims == 0) return nullptr;
  SAFEARRAYBOUND bounds[3];
  size_t total = 1;
  std::vector<uint8_t> bytes;
  for (UINT d = 0; d < dims; ++d) {
    bounds[d].lLbound = LowerBound(in);
    if (d == 0) {
      bytes = in.Piece(512);
      bounds[d].cElements = static_cast<ULONG>(bytes.size());
    } else {
      bounds[d].cElements = in.Byte() % 5;
    }
    total *= bounds[d].cElements;
  }
  if (total > kMaxElements) return nullptr;
  SAFEARRAY* array = SafeArrayCreate(vt, dims, bounds);
  FUZZ_CHECK(array != nullptr);
  args.arrays.push_back(array);
  for (size_t i = 0; i < total; ++i) {
    const uint8_t b = bytes.empty() ? 0 : bytes[i % bytes.size()];
    switch (vt) {
      case VT_UI1:
      case VT_I1: static_cast<uint8_t*>(array->pvData)[i] = b; break;
      case VT_I2: static_cast<SHORT*>(array->pvData)[i] = static_cast<SHORT>(b * 257); break;
      case VT_I4: static_cast<LONG*>(array->pvData)[i] = b; break;
      case VT_BSTR: static_cast<BSTR*>(array->pvData)[i] = SysAllocStringLen(L"ab", b % 3); break;
      case VT_VARIANT: {
        VARIANT& element = static_cast<VARIANT*>(array->pvData)[i];
        V_VT(&element) = (b & 1) ? VT_UI1 : VT_I4;
        if (b & 1) V_UI1(&element) = b;
        else V_I4(&element) = b;
        break;
      }
      default: break;
    }
  }
  const bool plain = vt == VT_UI1 || vt == VT_I1 || vt == VT_I2 || vt == VT_I4;
  args.arrayBytes.push_back(plain ? std::vector<uint8_t>(static_cast<uint8_t*>(array->pvData),
                                                          static_cast<uint8_t*>(array->pvData) + total * array->cbElements)
                                  : std::vector<uint8_t>());
  return array;
}

// One value; the form byte's low five bits pick the form.
VARIANT MakeValue(Input& in, uint8_t form, Arguments& args, const std::vector<Blob>& blobs,
                  const std::vector<SAFEARRAY*>& results) {
  VARIANT v;
  std::memset(&v, 0, sizeof v);  // every byte set: the arguments are compared bytewise after the call
  switch (form % 16) {
    case 0: break;  // VT_EMPTY
    case 1: V_VT(&v) = VT_NULL; break;
    case 2:
      V_VT(&v) = VT_I4;
      V_I4(&v) = static_cast<LONG>(in.U32());
      break;
    case 3:
      V_VT(&v) = VT_BOOL;
      V_BOOL(&v) = (in.Byte() & 1) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case 4: {  // text, one character per byte
      const std::vector<uint8_t> text = in.Piece(1024);
      V_VT(&v) = VT_BSTR;
      V_BSTR(&v) = args.Text(std::wstring(text.begin(), text.end()));
      break;
    }
    case 5: {  // text, UTF-16 code units (surrogates alone included)
      const std::vector<uint8_t> units = in.Piece(1024);
      std::wstring text;
      for (size_t i = 0; i + 1 < units.size(); i += 2) text += static_cast<wchar_t>((units[i] << 8) | units[i + 1]);
      V_VT(&v) = VT_BSTR;
      V_BSTR(&v) = args.Text(text);
      break;
    }
    case 6:
    case 7: {  // a Blob (or null) as IDispatch or IUnknown
      const uint8_t pick = in.Byte();
      IDispatch* object = pick == 0xFF ? nullptr : blobs[pick % blobs.size()].script;
      V_VT(&v) = form % 16 == 6 ? VT_DISPATCH : VT_UNKNOWN;
      if (V_VT(&v) == VT_DISPATCH) V_DISPATCH(&v) = object;
      else V_UNKNOWN(&v) = object;
      break;
    }
    case 8:
    case 9: {  // an array, declared as its own type or (form bit 0x20) as bytes
      SAFEARRAY* array = MakeArray(in, args);
      VARTYPE vt = VT_UI1;
      if (array != nullptr && !(form & 0x20)) SafeArrayGetVartype(array, &vt);
      V_VT(&v) = static_cast<VARTYPE>(VT_ARRAY | vt);
      V_ARRAY(&v) = array;
      break;
    }
    case 10: {  // VT_BYREF|VT_ARRAY|VT_UI1; bit 0x20: a null reference
      SAFEARRAY* array = MakeArray(in, args);
      V_VT(&v) = VT_BYREF | VT_ARRAY | VT_UI1;
      if (form & 0x20) {
        V_ARRAYREF(&v) = nullptr;
      } else {
        args.refs.push_back(array);
        V_ARRAYREF(&v) = &args.refs.back();
      }
      break;
    }
    case 11: {  // an array a Bytes get returned earlier
      V_VT(&v) = VT_ARRAY | VT_UI1;
      const uint8_t pick = in.Byte();
      V_ARRAY(&v) = results.empty() ? nullptr : results[pick % results.size()];
      break;
    }
    case 12:
      V_VT(&v) = VT_ERROR;
      V_ERROR(&v) = DISP_E_PARAMNOTFOUND;  // an omitted optional argument
      break;
    case 13:
      V_VT(&v) = VT_UI1;
      V_UI1(&v) = in.Byte();
      break;
    case 14: {  // VT_BYREF|VT_BSTR
      const std::vector<uint8_t> text = in.Piece(256);
      args.textRefs.push_back(args.Text(std::wstring(text.begin(), text.end())));
      V_VT(&v) = VT_BYREF | VT_BSTR;
      V_BYREF(&v) = &args.textRefs.back();
      break;
    }
    default: {
      V_VT(&v) = VT_R8;
      const uint64_t bits = (static_cast<uint64_t>(in.U32()) << 32) | in.U32();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      V_R8(&v) = d;
      break;
    }
  }
  return v;
}

void MakeArgument(Input& in, Arguments& args, const std::vector<Blob>& blobs, const std::vector<SAFEARRAY*>& results) {
  const uint8_t form = in.Byte();
  if ((form & 0x80) && args.inner.size() < args.inner.capacity()) {  // inside VT_BYREF|VT_VARIANT
    args.inner.push_back(MakeValue(in, form, args, blobs, results));
    VARIANT ref;
    std::memset(&ref, 0, sizeof ref);
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = &args.inner.back();
    args.values.push_back(ref);
  } else {
    args.values.push_back(MakeValue(in, form, args, blobs, results));
  }
}

// The bytes a Bytes put of `value` must store; false when it is no byte array.
bool ExpectedBytes(const VARIANT* value, std::vector<uint8_t>& bytes) {
  for (int depth = 0; depth < 2 && V_VT(value) == (VT_BYREF | VT_VARIANT); ++depth) value = V_VARIANTREF(value);
  bytes.clear();
  SAFEARRAY* array = nullptr;
  switch (V_VT(value)) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_ARRAY | VT_UI1: array = V_ARRAY(value); break;
    case VT_BYREF | VT_ARRAY | VT_UI1:
      if (V_ARRAYREF(value) == nullptr) return false;
      array = *V_ARRAYREF(value);
      break;
    default: return false;
  }
  if (array == nullptr) return true;
  bytes = ArrayBytes(array);
  return true;
}

bool IsFileMember(IOrvoBlobDispatch* script, DISPID member) {
  const orvo::MemberEntry* row = orvo::FindMember(*script->GetMemberTable(), member);
  return row != nullptr && (std::strcmp(row->name, "LoadFromFile") == 0 || std::strcmp(row->name, "SaveToFile") == 0);
}

void Invoke(Input& in, Blob& blob, const std::vector<Blob>& blobs, std::vector<SAFEARRAY*>& results) {
  const uint8_t pick = in.Byte();
  DISPID member;
  if (pick < 0xC0) member = 1 + pick % 8;
  else if (pick < 0xC8) member = -static_cast<DISPID>(pick - 0xC0);
  else if (pick < 0xD0) member = 0x10000 + (pick - 0xC8);
  else member = static_cast<DISPID>(in.U32());
  const WORD flags = static_cast<WORD>(in.Byte() & 0x1F);
  const size_t count = in.Byte() % 5;
  const uint8_t namedForm = in.Byte() % 4;
  const uint8_t options = in.Byte();
  Arguments args;
  for (size_t i = 0; i < count; ++i) MakeArgument(in, args, blobs, results);
  std::vector<DISPID> named;
  if (namedForm == 1 && count >= 1) named = {DISPID_PROPERTYPUT};
  if (namedForm == 2 && count >= 1) named = {static_cast<DISPID>(in.U32())};
  if (namedForm == 3 && count >= 2) named = {DISPID_PROPERTYPUT, static_cast<DISPID>(in.Byte())};
  if (IsFileMember(blob.script, member)) {
    std::error_code error;
    fs::create_directories(FileFolder(), error);
    for (size_t i = 0; i < count; ++i) {
      VARIANT& target = V_VT(&args.values[i]) == (VT_BYREF | VT_VARIANT) ? *V_VARIANTREF(&args.values[i]) : args.values[i];
      const uint8_t where = in.Byte();
      VariantInit(&target);
      if (where != 0xFF) {
        V_VT(&target) = VT_BSTR;
        V_BSTR(&target) = args.Text(ConfinedPath(where));
      }
    }
  }

  // Invoke takes the last argument first.
  std::vector<VARIANT> given(args.values.rbegin(), args.values.rend());
  const std::vector<VARIANT> innerGiven(args.inner);
  const std::vector<SAFEARRAY*> refsGiven(args.refs);
  const std::vector<BSTR> textRefsGiven(args.textRefs);
  DISPPARAMS params{given.empty() ? nullptr : given.data(), named.empty() ? nullptr : named.data(),
                    static_cast<UINT>(given.size()), static_cast<UINT>(named.size())};
  const std::vector<uint8_t> before = BufferBytes(blob);
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  const HRESULT hr = blob.script->Invoke(member, IID_NULL, 0, flags, &params, (options & 1) ? &result : nullptr,
                                         (options & 2) ? nullptr : &excep, (options & 4) ? nullptr : &argErr);

  if (hr != DISP_E_EXCEPTION) FUZZ_CHECK(excep.bstrDescription == nullptr && excep.bstrSource == nullptr);
  if (hr == DISP_E_EXCEPTION && !(options & 2)) FUZZ_CHECK(FAILED(excep.scode) || excep.wCode != 0);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  // The arguments as they were given.
  const std::vector<VARIANT> expected(args.values.rbegin(), args.values.rend());
  FUZZ_CHECK(given.empty() || std::memcmp(given.data(), expected.data(), given.size() * sizeof(VARIANT)) == 0);
  FUZZ_CHECK(innerGiven.empty() ||
             std::memcmp(innerGiven.data(), args.inner.data(), innerGiven.size() * sizeof(VARIANT)) == 0);
  FUZZ_CHECK(refsGiven == args.refs);
  FUZZ_CHECK(textRefsGiven == args.textRefs);
  args.CheckArrays();

  if (FAILED(hr)) {
    FUZZ_CHECK(V_VT(&result) == VT_EMPTY);
    FUZZ_CHECK(BufferBytes(blob) == before);
  } else if (V_VT(&result) & VT_ARRAY) {  // only Bytes gives an array
    FUZZ_CHECK(V_VT(&result) == (VT_ARRAY | VT_UI1));
    FUZZ_CHECK(ArrayBytes(V_ARRAY(&result)) == BufferBytes(blob));
    if (results.size() < 4) {
      results.push_back(V_ARRAY(&result));
      VariantInit(&result);
    }
  }
  FUZZ_CHECK(VariantClear(&result) == S_OK);

  std::vector<uint8_t> put;
  // A put, or o.Bytes(value) as a statement.
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 || flags == DISPATCH_METHOD;
  if (hr == S_OK && member == kBlobBytes && isPut && count == 1 && ExpectedBytes(&args.values[0], put)) {
    FUZZ_CHECK(BufferBytes(blob) == put);
  }
  CheckViews(blob);
}

// One operation through the IOrvoBlob vtable (and IUnknown, GetIDsOfNames).
void VtableOperation(Input& in, uint8_t op, Blob& blob) {
  switch (op % 10) {
    case 0:
      if (blob.locks < 8) {
        FUZZ_CHECK(blob.raw->Lock() == S_OK);
        ++blob.locks;
      }
      break;
    case 1: {
      const HRESULT hr = blob.raw->Unlock();
      FUZZ_CHECK(hr == (blob.locks > 0 ? S_OK : E_UNEXPECTED));
      if (blob.locks > 0) --blob.locks;
      break;
    }
    case 2: {
      FUZZ_CHECK(blob.raw->GetBuffer(nullptr) == E_POINTER);
      XBlob* buffer = nullptr;
      FUZZ_CHECK(blob.raw->GetBuffer(&buffer) == S_OK && buffer == blob.buffer);
      break;
    }
    case 3:
    case 4:
    case 5:
    case 6: {  // what a crypto object does with a Blob: lock, rewrite, unlock
      const std::vector<uint8_t> bytes = op % 10 == 3 ? in.Piece(1024) : std::vector<uint8_t>();
      const uint8_t n = in.Byte();
      FUZZ_CHECK(blob.raw->Lock() == S_OK);
      XBlob* buffer = nullptr;
      FUZZ_CHECK(blob.raw->GetBuffer(&buffer) == S_OK);
      if (op % 10 == 3) {
        buffer->size = 0;
        buffer->Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
      } else if (op % 10 == 4) {
        buffer->Grow(n);
      } else if (op % 10 == 5) {
        if (n < buffer->size) buffer->size = n;
      } else {  // a new block from the shared allocator
        const uint32_t capacity = buffer->size + n;
        auto* block = static_cast<uint8_t*>(orvo::BlobAlloc(capacity == 0 ? 1 : capacity));
        FUZZ_CHECK(block != nullptr);
        if (buffer->size != 0) std::memcpy(block, buffer->data, buffer->size);
        orvo::BlobFree(buffer->data);
        buffer->data = block;
        buffer->capacity = capacity;
      }
      FUZZ_CHECK(blob.raw->Unlock() == S_OK);
      CheckViews(blob);
      break;
    }
    case 7: {
      static const IID* const iids[] = {&IID_IUnknown, &IID_IDispatch, &IID_IOrvoBlob, &IID_IOrvoBlobDispatch,
                                        &IID_IClassFactory, &IID_NULL};
      const size_t pick = in.Byte() % (sizeof iids / sizeof iids[0]);
      IUnknown* other = nullptr;
      const HRESULT hr = blob.raw->QueryInterface(*iids[pick], reinterpret_cast<void**>(&other));
      FUZZ_CHECK(hr == (pick < 4 ? S_OK : E_NOINTERFACE));
      FUZZ_CHECK((other != nullptr) == (pick < 4));
      if (other != nullptr) other->Release();
      break;
    }
    case 8: {
      const std::vector<uint8_t> name = in.Piece(64);
      std::wstring wide(name.begin(), name.end());
      std::wstring second = L"Hex";
      LPOLESTR names[2] = {&wide[0], &second[0]};
      DISPID ids[2] = {12345, 12345};
      const UINT n = 1 + (in.Byte() & 1);
      const HRESULT hr = blob.script->GetIDsOfNames(IID_NULL, names, n, 0, ids);
      FUZZ_CHECK(hr == S_OK || hr == DISP_E_UNKNOWNNAME);
      if (hr == S_OK) FUZZ_CHECK(ids[0] >= 1 && ids[0] <= kBlobSaveToFile);
      else FUZZ_CHECK(ids[0] == DISPID_UNKNOWN);
      break;
    }
    default: {
      UINT count = 9;
      FUZZ_CHECK(blob.script->GetTypeInfoCount(&count) == S_OK && count == 0);
      ITypeInfo* info = nullptr;
      FUZZ_CHECK(FAILED(blob.script->GetTypeInfo(in.Byte(), 0, &info)) && info == nullptr);
      break;
    }
  }
}

void RunInput(Input& in) {
  IClassFactory* factory = nullptr;
  FUZZ_CHECK(orvo::test::BlobComponent::GetClassObject(CLSID_OrvoBlob, IID_IClassFactory,
                                                       reinterpret_cast<void**>(&factory)) == S_OK);
  std::vector<Blob> blobs(1 + in.Byte() % 3);
  for (Blob& blob : blobs) {
    FUZZ_CHECK(factory->CreateInstance(nullptr, IID_IOrvoBlob, reinterpret_cast<void**>(&blob.raw)) == S_OK);
    FUZZ_CHECK(blob.raw->QueryInterface(IID_IOrvoBlobDispatch, reinterpret_cast<void**>(&blob.script)) == S_OK);
    FUZZ_CHECK(blob.raw->GetBuffer(&blob.buffer) == S_OK && blob.buffer != nullptr);
  }
  factory->Release();

  std::vector<SAFEARRAY*> results;  // arrays Bytes gave, passed back as arguments
  for (int step = 0; step < 16 && in.Left() > 0; ++step) {
    const uint8_t op = in.Byte();
    Blob& blob = blobs[in.Byte() % blobs.size()];
    if (op < 0xD0) Invoke(in, blob, blobs, results);
    else VtableOperation(in, static_cast<uint8_t>(op - 0xD0), blob);
  }

  for (SAFEARRAY* array : results) FUZZ_CHECK(SafeArrayDestroy(array) == S_OK);
  for (Blob& blob : blobs) {
    for (; blob.locks > 0; --blob.locks) FUZZ_CHECK(blob.raw->Unlock() == S_OK);
    FUZZ_CHECK(blob.raw->Unlock() == E_UNEXPECTED);
    blob.script->Release();
  }
  for (Blob& blob : blobs) FUZZ_CHECK(blob.raw->Release() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static const bool started = [] {
    FUZZ_CHECK(SUCCEEDED(CoInitialize(nullptr)));
    return true;
  }();
  (void)started;
  Input in(bytes, size);
  RunInput(in);
  IErrorInfo* info = nullptr;  // the last failure's error object, dropped
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) info->Release();
  std::error_code error;
  if (fs::exists(FileFolder(), error)) fs::remove_all(FileFolder(), error);
  FUZZ_CHECK(orvo::test::BlobComponent::CanUnloadNow() == S_OK);
  return 0;
}
