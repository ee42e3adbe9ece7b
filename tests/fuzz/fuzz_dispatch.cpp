// Fuzz target: the scripting objects' IDispatch::Invoke with arbitrary member
// numbers, flags, argument counts, named arguments and VARIANT forms, as a
// careless or hostile script host could call it. The objects come from the
// module's class objects; the Blobs are the instrumented test Blobs
// (tests/objects/test_blob.h), registered as the Blob class.
//
// Input: Byte class (AES, Twofish, Blowfish, RSA, Misc), Byte Blob count (0-3)
// with a Piece of bytes each, then calls until the input is used up (at
// most 12), each:
//   Byte member: < 0xC0 a member of the class by name (index mod count),
//                else a raw number: DISPID_VALUE, -1 .. -6, or a U32
//   Byte flags (low four bits), Byte argument count (mod 5),
//   Byte named form: none, DISPID_PROPERTYPUT, a raw U32, or two names,
//   Byte wants-result, then per argument a Byte form and its value.
//
// Checks: no crash, undefined behaviour or leak; failures are HRESULTs and
// only DISP_E_EXCEPTION carries texts; after every input every Blob is
// unlocked and released, the Blob contract was kept (no GetBuffer outside a
// lock, no Unlock too many), and DllCanUnloadNow answers S_OK. RSA KeyGen runs only with sizes from 0 to 64
// (a negative size, True included, asks for a 2048-bit key: a second per call
// under the sanitizers) and Random and the ciphers' KeyGen only with counts
// from -64 to 64, to keep inputs fast.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "objects/guids.h"
#include "objects/object_map.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/objects/test_blob.h"
#include "xatlcom/module.h"
#include "xatlcom/platform.h"

namespace {

// A member whose count must stay small; for some a negative count is a large one.
struct Guard {
  const char* name;
  bool negativeIsLarge;
};

struct ClassInfo {
  const CLSID* clsid;
  std::vector<const char*> members;
  std::vector<Guard> guarded;
};

const std::vector<ClassInfo>& Classes() {
  static const std::vector<const char*> symmetric = {"KeyGen", "Key", "Encrypt", "Decrypt", "Filler", "Mode"};
  static const std::vector<ClassInfo> classes = {
      {&CLSID_CryptoAES, symmetric, {{"KeyGen", false}}},
      {&CLSID_CryptoTwofish, symmetric, {{"KeyGen", false}}},
      {&CLSID_CryptoBlowfish, symmetric, {{"KeyGen", false}}},
      {&CLSID_CryptoRSA,
       {"SetIV", "KeyGen", "PublicKey", "PrivateKey", "Encrypt", "Decrypt", "Sign", "Verify"},
       {{"KeyGen", true}}},
      {&CLSID_CryptoMisc,
       {"MD5", "SHA1", "Random", "CRC32", "InsertLongToBlob", "ExtractLongFromBlob", "InsertBlobToBlob",
        "ExtractBlobFromBlob"},
       {{"Random", false}}},
  };
  return classes;
}

BSTR MakeBstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

DISPID IdOf(IDispatch* object, const char* name) {
  std::wstring wide(name, name + std::strlen(name));
  LPOLESTR names[1] = {&wide[0]};
  DISPID id = DISPID_UNKNOWN;
  FUZZ_CHECK(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK);
  return id;
}

// Calls Invoke and checks the contract of its outcome; keeps a returned object.
HRESULT Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT>& args, std::vector<DISPID>& named,
             bool wantResult, std::vector<IDispatch*>& pool) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // Invoke takes the last argument first
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), named.empty() ? nullptr : named.data(),
                    static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  const HRESULT hr = object->Invoke(member, IID_NULL, 0, flags, &params, wantResult ? &result : nullptr, &excep, &argErr);
  if (hr != DISP_E_EXCEPTION) {
    FUZZ_CHECK(excep.bstrDescription == nullptr && excep.bstrSource == nullptr);
  }
  if (FAILED(hr)) FUZZ_CHECK(V_VT(&result) == VT_EMPTY);
  if (V_VT(&result) == VT_DISPATCH && V_DISPATCH(&result) != nullptr && pool.size() < 8) {
    pool.push_back(V_DISPATCH(&result));
    V_DISPATCH(&result)->AddRef();
  }
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

// One argument: its VARIANT (owning a BSTR if any; objects are borrowed from
// the pool) and whether it could carry a large or a negative count.
struct Size {
  bool large = false;     // beyond -64 .. 64, or text that may coerce to anything
  bool negative = false;  // below zero (True is -1)
};

struct Arguments {
  std::vector<VARIANT> values;  // what Invoke gets
  std::vector<VARIANT> inner;   // targets of VT_BYREF|VT_VARIANT, never reallocated
  Size size;

  explicit Arguments(size_t n) { inner.reserve(n); }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  ~Arguments() {
    for (VARIANT& v : values) {
      if (V_VT(&v) == VT_BSTR) SysFreeString(V_BSTR(&v));
    }
    for (VARIANT& v : inner) {
      if (V_VT(&v) == VT_BSTR) SysFreeString(V_BSTR(&v));
    }
  }
};

VARIANT MakeValue(orvo::fuzz::Input& in, uint8_t form, const std::vector<IDispatch*>& pool, Size& size) {
  bool& large = size.large;
  VARIANT v;
  VariantInit(&v);
  switch (form % 11) {
    case 0:
      break;  // VT_EMPTY
    case 1:
      V_VT(&v) = VT_NULL;
      break;
    case 2: {
      V_VT(&v) = VT_I2;
      V_I2(&v) = static_cast<SHORT>(in.U16());
      large |= V_I2(&v) > 64 || V_I2(&v) < -64;
      size.negative |= V_I2(&v) < 0;
      break;
    }
    case 3:
    case 4: {
      V_VT(&v) = VT_I4;
      V_I4(&v) = static_cast<LONG>(form % 11 == 3 ? static_cast<int8_t>(in.Byte()) : static_cast<int32_t>(in.U32()));
      large |= V_I4(&v) > 64 || V_I4(&v) < -64;
      size.negative |= V_I4(&v) < 0;
      break;
    }
    case 5:
      V_VT(&v) = VT_UI4;
      V_UI4(&v) = in.U32();
      large |= V_UI4(&v) > 64;
      break;
    case 6: {
      V_VT(&v) = VT_R8;
      const uint32_t hi = in.U32();
      const uint64_t bits = (static_cast<uint64_t>(hi) << 32) | in.U32();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      V_R8(&v) = d;
      large |= !(std::fabs(d) <= 64);
      size.negative |= d < 0;
      break;
    }
    case 7:
      V_VT(&v) = VT_BOOL;
      V_BOOL(&v) = (in.Byte() & 1) ? VARIANT_TRUE : VARIANT_FALSE;
      size.negative |= V_BOOL(&v) == VARIANT_TRUE;
      break;
    case 8: {
      const std::vector<uint8_t> text = in.Piece(64);
      V_VT(&v) = VT_BSTR;
      V_BSTR(&v) = MakeBstr(std::wstring(text.begin(), text.end()));
      large = true;  // "&H7FFFFFFF" and the like coerce to numbers
      break;
    }
    case 9:
    case 10: {
      const uint8_t pick = in.Byte();
      V_VT(&v) = form % 11 == 9 ? VT_DISPATCH : VT_UNKNOWN;
      IDispatch* object = pool.empty() || pick == 0xFF ? nullptr : pool[pick % pool.size()];
      if (V_VT(&v) == VT_DISPATCH) V_DISPATCH(&v) = object;
      else V_UNKNOWN(&v) = object;
      break;
    }
  }
  return v;
}

void MakeArgument(orvo::fuzz::Input& in, Arguments& args, const std::vector<IDispatch*>& pool) {
  const uint8_t form = in.Byte();
  if (form & 0x80) {
    args.inner.push_back(MakeValue(in, form, pool, args.size));
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = &args.inner.back();
    args.values.push_back(ref);
  } else {
    args.values.push_back(MakeValue(in, form, pool, args.size));
  }
}

void RunInput(orvo::fuzz::Input& in) {
  const ClassInfo& info = Classes()[in.Byte() % Classes().size()];
  IClassFactory* factory = nullptr;
  FUZZ_CHECK(DllGetClassObject(*info.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK);
  IDispatch* object = nullptr;
  FUZZ_CHECK(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)) == S_OK);
  factory->Release();

  std::vector<DISPID> ids;
  for (const char* name : info.members) ids.push_back(IdOf(object, name));
  std::vector<std::pair<DISPID, bool>> guarded;  // member, negative counts are large
  for (const Guard& guard : info.guarded) guarded.emplace_back(IdOf(object, guard.name), guard.negativeIsLarge);

  std::vector<IDispatch*> pool;  // held references: the Blobs, results, the object itself
  std::vector<orvotest::TestBlob*> blobs;
  const int blobCount = in.Byte() % 4;
  for (int i = 0; i < blobCount; ++i) {
    blobs.push_back(new orvotest::TestBlob("B" + std::to_string(i), in.Piece(128)));
    pool.push_back(blobs.back()->AsDispatch());
  }
  object->AddRef();
  pool.push_back(object);

  for (int call = 0; call < 12 && in.Left() > 0; ++call) {
    const uint8_t pick = in.Byte();
    DISPID member;
    if (pick < 0xC0) {
      member = ids[pick % ids.size()];
    } else if (pick < 0xC8) {
      member = -static_cast<DISPID>(pick - 0xC0);  // DISPID_VALUE, -1 .. -7
    } else {
      member = static_cast<DISPID>(in.U32());
    }
    const WORD flags = static_cast<WORD>(in.Byte() & 0x0F);
    const size_t count = in.Byte() % 5;
    const uint8_t namedForm = in.Byte() % 4;
    const bool wantResult = (in.Byte() & 1) != 0;
    Arguments args(count);
    for (size_t i = 0; i < count; ++i) MakeArgument(in, args, pool);
    std::vector<DISPID> named;
    if (namedForm == 1 && count >= 1) named = {DISPID_PROPERTYPUT};
    if (namedForm == 2 && count >= 1) named = {static_cast<DISPID>(in.U32())};
    if (namedForm == 3 && count >= 2) named = {DISPID_PROPERTYPUT, static_cast<DISPID>(in.Byte())};
    bool skip = false;
    for (const auto& [id, negativeIsLarge] : guarded) {  // a large count would only be slow
      skip |= member == id && (args.size.large || (negativeIsLarge && args.size.negative));
    }
    if (skip) continue;
    Call(object, member, flags, args.values, named, wantResult, pool);
  }

  for (orvotest::TestBlob* blob : blobs) {
    FUZZ_CHECK(blob->lockDepth == 0);
    FUZZ_CHECK(blob->refs == 1);  // only the reference held here (and in the pool)
  }
  for (IDispatch* held : pool) held->Release();
  object->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The crypto module attached and the test Blob class registered once per
  // process, as a host keeps its DLLs.
  static const bool attached = [] {
    FUZZ_CHECK(SUCCEEDED(CoInitialize(nullptr)));
    static orvotest::BlobClassRegistration registration;
    FUZZ_CHECK(registration.hr() == S_OK);
    orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
    return true;
  }();
  (void)attached;
  orvotest::Ledger().Reset();
  orvo::fuzz::Input in(bytes, size);
  RunInput(in);
  FUZZ_CHECK(orvotest::Ledger().live == 0);
  FUZZ_CHECK(orvotest::Ledger().violations.empty());
  FUZZ_CHECK(DllCanUnloadNow() == S_OK);
  return 0;
}
