// The scripting path: one member call as a script host makes it, through
// IDispatch::Invoke on an object made by the class factory, with real Blobs of
// the Blob component (loaded and registered as the tests load it). Beside each
// Invoke row, the same work without the frame:
//   Invoke/orvo/<op>    IDispatch::Invoke with VBScript's argument form (each
//                       argument VT_BYREF|VT_VARIANT, the result requested,
//                       DISPATCH_METHOD|DISPATCH_PROPERTYGET), the member
//                       number resolved once beforehand; the returned Blob is
//                       released inside the timed loop;
//   Invoke/vtable/<op>  the dual interface's own operation (early binding): the
//                       method frame's Blob calls without argument binding;
//   Invoke/direct/<op>  the C++ core alone (XAES::Encrypt, SHA1Digest, the
//                       mode field), allocation of its result included.
// orvo minus direct is what the frame adds per call; orvo minus vtable is the
// dispatcher's share of it. Invoke/orvo/names-encrypt is GetIDsOfNames for
// "Encrypt", which a host may call before each Invoke. Rows report time per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/xblob.h"
#include "crypto/aes.h"
#include "digest/sha1.h"
#include "objects/crypto_interfaces.h"
#include "objects/guids.h"
#include "objects/object_map.h"
#include "orvoblob/blob_interface.h"
#include "tests/support/blob_loader/blob_component.h"
#include "xatlcom/module.h"

namespace {

// FIPS-197 appendix C.1: the key as the AES key blob (round count 10, then the key).
constexpr char kAesKeyHex[] = "0000000A000102030405060708090a0b0c0d0e0f";

XBlob Message(uint32_t n) {
  XBlob blob(n);
  blob.size = n;
  for (uint32_t i = 0; i < n; ++i) blob.data[i] = static_cast<uint8_t>(i * 131 + 7);
  return blob;
}

XBlob FromHex(const char* hex) {
  XBlob blob(64);
  int high = -1;
  for (const char* p = hex; *p != '\0'; ++p) {
    const char c = *p;
    const int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      blob.data[blob.size++] = static_cast<uint8_t>(high * 16 + v);
      high = -1;
    }
  }
  return blob;
}

DISPID MemberNumber(IDispatch* object, const wchar_t* name) {
  std::wstring text(name);
  LPOLESTR names[] = {&text[0]};
  DISPID member = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
  return member;
}

// Everything the Invoke rows share: both modules attached, one AES object with
// the key set, one Misc object, and a Blob holding the 64-byte message.
class ScriptingPath {
 public:
  ScriptingPath() {
    CoInitialize(nullptr);
    if (FAILED(blobs_.Start())) return;
    orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
    aes_ = Create<ICryptoSymmetric>(CLSID_CryptoAES, IID_ICryptoSymmetric);
    misc_ = Create<ICryptoMisc>(CLSID_CryptoMisc, IID_ICryptoMisc);
    message_ = NewBlob(Message(64));
    IDispatch* key = NewBlob(FromHex(kAesKeyHex));
    if (aes_ == nullptr || misc_ == nullptr || message_ == nullptr || key == nullptr) return;
    ready_ = SUCCEEDED(aes_->put_Key(key));
    key->Release();
  }
  ~ScriptingPath() {
    if (message_ != nullptr) message_->Release();
    if (misc_ != nullptr) misc_->Release();
    if (aes_ != nullptr) aes_->Release();
    orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
    blobs_.Stop();
    CoUninitialize();
  }
  ScriptingPath(const ScriptingPath&) = delete;
  ScriptingPath& operator=(const ScriptingPath&) = delete;

  bool ready() const { return ready_; }
  ICryptoSymmetric* aes() const { return aes_; }
  ICryptoMisc* misc() const { return misc_; }
  IDispatch* message() const { return message_; }

 private:
  template <class I>
  static I* Create(REFCLSID clsid, REFIID iid) {
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    I* object = nullptr;
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
  }
  static IDispatch* NewBlob(const XBlob& bytes) {
    IOrvoBlob* blob = nullptr;
    if (FAILED(CoCreateInstance(CLSID_OrvoBlob, nullptr, 7, IID_IOrvoBlob, reinterpret_cast<void**>(&blob))))
      return nullptr;
    XBlob* buffer = nullptr;
    blob->Lock();
    if (SUCCEEDED(blob->GetBuffer(&buffer)) && buffer != nullptr) buffer->Insert(bytes, 0);
    blob->Unlock();
    IDispatch* object = nullptr;
    blob->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object));
    blob->Release();
    return object;
  }

  orvo::test::BlobComponent blobs_;
  ICryptoSymmetric* aes_ = nullptr;
  ICryptoMisc* misc_ = nullptr;
  IDispatch* message_ = nullptr;
  bool ready_ = false;
};

ScriptingPath& Path() {
  static ScriptingPath path;
  return path;
}

bool Ready(benchmark::State& state) {
  if (Path().ready()) return true;
  state.SkipWithError("the scripting objects or the Blob component could not be set up");
  return false;
}

// One call as VBScript makes `Set r = o.M(blob)` or `x = o.P`: arguments by
// reference, a result requested, the result cleared after the call.
void InvokeLoop(benchmark::State& state, IDispatch* object, const wchar_t* name, IDispatch* argument) {
  const DISPID member = MemberNumber(object, name);
  VARIANT value;
  VariantInit(&value);
  VARIANT byRef;
  VariantInit(&byRef);
  if (argument != nullptr) {
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = argument;
    V_VT(&byRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&byRef) = &value;
  }
  DISPPARAMS params = {argument != nullptr ? &byRef : nullptr, nullptr, argument != nullptr ? 1u : 0u, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    EXCEPINFO excep{};
    UINT argErr = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                      &params, &result, &excep, &argErr);
    if (FAILED(hr)) {
      state.SkipWithError("Invoke failed");
      break;
    }
    VariantClear(&result);
  }
}

// Invoke/orvo: the scripting path.

void BM_InvokeAesEncrypt(benchmark::State& state) {
  if (Ready(state)) InvokeLoop(state, Path().aes(), L"Encrypt", Path().message());
}
BENCHMARK(BM_InvokeAesEncrypt)->Name("Invoke/orvo/aes-encrypt-64");

void BM_InvokeSha1(benchmark::State& state) {
  if (Ready(state)) InvokeLoop(state, Path().misc(), L"SHA1", Path().message());
}
BENCHMARK(BM_InvokeSha1)->Name("Invoke/orvo/sha1-64");

void BM_InvokeModeGet(benchmark::State& state) {
  if (Ready(state)) InvokeLoop(state, Path().aes(), L"Mode", nullptr);
}
BENCHMARK(BM_InvokeModeGet)->Name("Invoke/orvo/mode-get");

// What a host does before a call when it looks the name up each time.
void BM_GetIDsOfNames(benchmark::State& state) {
  if (!Ready(state)) return;
  std::wstring text(L"Encrypt");
  LPOLESTR names[] = {&text[0]};
  for (auto _ : state) {
    DISPID member = DISPID_UNKNOWN;
    Path().aes()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
    benchmark::DoNotOptimize(member);
  }
}
BENCHMARK(BM_GetIDsOfNames)->Name("Invoke/orvo/names-encrypt");

// Invoke/vtable: the dual interface's operations, no dispatcher.

template <class Op>
void VtableLoop(benchmark::State& state, Op op) {
  for (auto _ : state) {
    IDispatch* result = nullptr;
    if (FAILED(op(&result))) {
      state.SkipWithError("the operation failed");
      break;
    }
    result->Release();
  }
}

void BM_VtableAesEncrypt(benchmark::State& state) {
  if (Ready(state))
    VtableLoop(state, [](IDispatch** out) { return Path().aes()->Encrypt(Path().message(), out); });
}
BENCHMARK(BM_VtableAesEncrypt)->Name("Invoke/vtable/aes-encrypt-64");

void BM_VtableSha1(benchmark::State& state) {
  if (Ready(state)) VtableLoop(state, [](IDispatch** out) { return Path().misc()->SHA1(Path().message(), out); });
}
BENCHMARK(BM_VtableSha1)->Name("Invoke/vtable/sha1-64");

void BM_VtableModeGet(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    LONG mode = 0;
    Path().aes()->get_Mode(&mode);
    benchmark::DoNotOptimize(mode);
  }
}
BENCHMARK(BM_VtableModeGet)->Name("Invoke/vtable/mode-get");

// Invoke/direct: the core's work alone.

void BM_DirectAesEncrypt(benchmark::State& state) {
  XAES aes;
  aes.Setup(XBlockCipher::kModeECB, 0);
  aes.SetKey(FromHex(kAesKeyHex));
  const XBlob message = Message(64);
  for (auto _ : state) benchmark::DoNotOptimize(aes.Encrypt(message));
}
BENCHMARK(BM_DirectAesEncrypt)->Name("Invoke/direct/aes-encrypt-64");

void BM_DirectSha1(benchmark::State& state) {
  const XBlob message = Message(64);
  for (auto _ : state) benchmark::DoNotOptimize(SHA1Digest(message));
}
BENCHMARK(BM_DirectSha1)->Name("Invoke/direct/sha1-64");

void BM_DirectModeGet(benchmark::State& state) {
  XAES aes;
  aes.Setup(XBlockCipher::kModeECB, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&aes);
    auto mode = static_cast<LONG>(aes.mode);
    benchmark::DoNotOptimize(mode);
  }
}
BENCHMARK(BM_DirectModeGet)->Name("Invoke/direct/mode-get");

}  // namespace
