// The symmetric scripting classes (see crypto_symmetric.h).
#include "objects/crypto_symmetric.h"

#include <algorithm>
#include <cstring>

#include "crypto/wipe.h"
#include "objects/method_frame.h"
#include "xatlcom/error.h"
#include "xatlcom/page_hooks.h"

namespace orvo {
namespace {

// A copy of the chaining register, put back unless the call completes: an
// Encrypt or Decrypt that fails part-way (memory running out after some
// blocks were chained, or while the result is stored) leaves the register as
// the next call expects it.
class ChainKeeper {
 public:
  explicit ChainKeeper(XBlockCipher& cipher) noexcept
      : cipher_(cipher), n_(cipher.chain == nullptr ? 0 : std::min<std::size_t>(cipher.BlockSize(), sizeof saved_)) {
    if (n_ != 0) std::memcpy(saved_, cipher.chain, n_);
  }
  ~ChainKeeper() {
    if (!kept_ && n_ != 0 && cipher_.chain != nullptr) std::memcpy(cipher_.chain, saved_, n_);
    SecureWipe(saved_, sizeof saved_);
  }
  ChainKeeper(const ChainKeeper&) = delete;
  ChainKeeper& operator=(const ChainKeeper&) = delete;
  void Keep() noexcept { kept_ = true; }

 private:
  XBlockCipher& cipher_;
  uint8_t saved_[32];
  std::size_t n_;
  bool kept_ = false;
};

// Typed member functions, shared by the three classes: they call through the
// interface.
void KeyGenMember(ICryptoSymmetric* self, IDispatch* seed, LONG length) { ThrowOnFailure(self->KeyGen(seed, length)); }
IDispatch* GetKeyMember(ICryptoSymmetric* self) {
  IDispatch* key = nullptr;
  ThrowOnFailure(self->get_Key(&key));
  return key;
}
void PutKeyMember(ICryptoSymmetric* self, IDispatch* key) { ThrowOnFailure(self->put_Key(key)); }
IDispatch* EncryptMember(ICryptoSymmetric* self, IDispatch* data) {
  IDispatch* result = nullptr;
  ThrowOnFailure(self->Encrypt(data, &result));
  return result;
}
IDispatch* DecryptMember(ICryptoSymmetric* self, IDispatch* data) {
  IDispatch* result = nullptr;
  ThrowOnFailure(self->Decrypt(data, &result));
  return result;
}
LONG GetModeMember(ICryptoSymmetric* self) {
  LONG mode = 0;
  ThrowOnFailure(self->get_Mode(&mode));
  return mode;
}
void PutModeMember(ICryptoSymmetric* self, LONG mode) { ThrowOnFailure(self->put_Mode(mode)); }
LONG GetFillerMember(ICryptoSymmetric* self) {
  LONG filler = 0;
  ThrowOnFailure(self->get_Filler(&filler));
  return filler;
}
void PutFillerMember(ICryptoSymmetric* self, LONG filler) { ThrowOnFailure(self->put_Filler(filler)); }

// Each class's own page hooks.
template <class Cipher>
LONG PageStart(CryptoSymmetric<Cipher>*, IUnknown* context) noexcept {
  return OnStartPage(context);
}
template <class Cipher>
LONG PageEnd(CryptoSymmetric<Cipher>*) noexcept {
  return OnEndPage();
}

template <class Cipher>
struct Table {
  static const MemberEntry kRows[];
  static const MemberTable kTable;
};
template <class Cipher>
const MemberEntry Table<Cipher>::kRows[] = {
    Method<&PageStart<Cipher>>("OnStartPage"),           // 1
    Method<&PageEnd<Cipher>>("OnEndPage"),               // 2
    Method<&KeyGenMember>("KeyGen"),                     // 3
    Property<&GetKeyMember, &PutKeyMember>("Key"),       // 4
    Method<&EncryptMember>("Encrypt"),                   // 5
    Method<&DecryptMember>("Decrypt"),                   // 6
    Property<&GetModeMember, &PutModeMember>("Mode"),    // 7
    Property<&GetFillerMember, &PutFillerMember>("Filler"),  // 8
    EndRow(),
};
template <class Cipher>
const MemberTable Table<Cipher>::kTable = {&DispatchBaseTable, Table<Cipher>::kRows, {-1}};

template <class Cipher>
constexpr FrameOwner Owner() {
  return {CryptoSymmetric<Cipher>::kClassId, &IID_ICryptoSymmetric, CatchPolicy::kAll};
}

}  // namespace

template <class Cipher>
const InterfaceMapEntry CryptoSymmetric<Cipher>::kInterfaceMap[] = {
    {&IID_ICryptoSymmetric, 0}, {&IID_IDispatch, 0}, {nullptr, 0}};

template <class Cipher>
CryptoSymmetric<Cipher>::CryptoSymmetric() {
  cipher_.Setup(XBlockCipher::kModeECB, 0);
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::KeyGen(IDispatch* seed, LONG length) {
  return RunMethodFrame(Owner<Cipher>(), {seed}, nullptr, [&](FrameBlobs& blobs) {
    cipher_.GenerateKey(*blobs.input[0], static_cast<uint32_t>(length));
    return S_OK;
  });
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::get_Key(IDispatch** key) {
  if (key == nullptr) return E_POINTER;
  return RunMethodFrame(Owner<Cipher>(), {}, key, [&](FrameBlobs& blobs) {
    StoreResult(*blobs.result, cipher_.GetKey());
    return S_OK;
  });
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::put_Key(IDispatch* key) {
  return RunMethodFrame(Owner<Cipher>(), {key}, nullptr, [&](FrameBlobs& blobs) {
    cipher_.SetKey(*blobs.input[0]);
    return S_OK;
  });
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::Encrypt(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return RunMethodFrame(Owner<Cipher>(), {data}, result, [&](FrameBlobs& blobs) {
    ChainKeeper chain(cipher_);
    StoreResult(*blobs.result, cipher_.Encrypt(*blobs.input[0]));
    chain.Keep();
    return S_OK;
  });
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::Decrypt(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return RunMethodFrame(Owner<Cipher>(), {data}, result, [&](FrameBlobs& blobs) {
    ChainKeeper chain(cipher_);
    StoreResult(*blobs.result, cipher_.Decrypt(*blobs.input[0]));
    chain.Keep();
    return S_OK;
  });
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::get_Filler(LONG* filler) {
  if (filler == nullptr) return E_POINTER;
  *filler = cipher_.filler;
  return S_OK;
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::put_Filler(LONG filler) {
  cipher_.filler = static_cast<uint8_t>(filler & 0xFF);
  return S_OK;
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::get_Mode(LONG* mode) {
  if (mode == nullptr) return E_POINTER;
  *mode = static_cast<LONG>(cipher_.mode);
  return S_OK;
}

template <class Cipher>
HRESULT CryptoSymmetric<Cipher>::put_Mode(LONG mode) {
  cipher_.mode = static_cast<uint32_t>(mode);
  return S_OK;
}

template <class Cipher>
const MemberTable* CryptoSymmetric<Cipher>::GetMemberTable() {
  return &Table<Cipher>::kTable;
}

template class CryptoSymmetric<XAES>;
template class CryptoSymmetric<XTwofish>;
template class CryptoSymmetric<XBlowfish>;

}  // namespace orvo
