// The symmetric scripting classes (see crypto_symmetric.h).
#include "objects/crypto_symmetric.h"

#include <algorithm>
#include <cstring>

#include "base/wipe.h"
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

// One member table for the three classes.
using I = ICryptoSymmetric;
const MemberEntry kRows[] = {
    OnStartPageRow<I>(),                                        // 1
    OnEndPageRow<I>(),                                          // 2
    Method<&I::KeyGen>("KeyGen"),                               // 3
    Property<&I::get_Key, &I::put_Key>("Key"),                  // 4
    Method<&I::Encrypt>("Encrypt"),                             // 5
    Method<&I::Decrypt>("Decrypt"),                             // 6
    Property<&I::get_Mode, &I::put_Mode>("Mode"),               // 7
    Property<&I::get_Filler, &I::put_Filler>("Filler"),         // 8
};
const MemberTable kTable = MakeMemberTable(&DispatchBaseTable, kRows);

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
  return &kTable;
}

template class CryptoSymmetric<XAES>;
template class CryptoSymmetric<XTwofish>;
template class CryptoSymmetric<XBlowfish>;

}  // namespace orvo
