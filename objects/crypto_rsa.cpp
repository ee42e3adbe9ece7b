// CryptoRSA (see crypto_rsa.h).
#include "objects/crypto_rsa.h"

#include "objects/method_frame.h"
#include "xatlcom/error.h"
#include "xatlcom/page_hooks.h"

namespace orvo {
namespace {

using orvo::FrameBlobs;

constexpr orvo::FrameOwner kOperations = {&CLSID_CryptoRSA, &IID_ICryptoRSA, orvo::CatchPolicy::kAll};
constexpr orvo::FrameOwner kKeyMembers = {&CLSID_CryptoRSA, &IID_ICryptoRSA, orvo::CatchPolicy::kAlarmsOnly};

// The key's numbers and halves, kept while a key blob loads: the loaders
// replace numbers as they read them, so a blob that fails half-way would
// otherwise leave a key mixed from two blobs.
class KeySnapshot {
 public:
  explicit KeySnapshot(const XRSAKey& key)
      : p_(key.p), q_(key.q), n_(key.n), e_(key.e), d_(key.d), dP_(key.dP), dQ_(key.dQ), qInv_(key.qInv),
        size_(key.size), flags_(key.flags) {}
  void Restore(XRSAKey& key) const {
    key.p = p_, key.q = q_, key.n = n_, key.e = e_, key.d = d_;
    key.dP = dP_, key.dQ = dQ_, key.qInv = qInv_;
    key.size = size_, key.flags = flags_;
  }

 private:
  XBigInt p_, q_, n_, e_, d_, dP_, dQ_, qInv_;
  uint32_t size_;
  uint32_t flags_;
};

// Loads a key blob with `load`; on any exception the key is put back first.
template <class Load>
void LoadAllOrNothing(XRSAKey& key, Load&& load) {
  const KeySnapshot before(key);
  try {
    load();
  } catch (...) {
    before.Restore(key);
    throw;
  }
}

using I = ICryptoRSA;
const orvo::MemberEntry kRows[] = {
    orvo::OnStartPageRow<I>(),                                          // 1
    orvo::OnEndPageRow<I>(),                                            // 2
    orvo::Method<&I::SetIV>("SetIV"),                                   // 3
    orvo::Method<&I::KeyGen>("KeyGen"),                                 // 4
    orvo::Property<&I::get_PublicKey, &I::put_PublicKey>("PublicKey"),  // 5
    orvo::Property<&I::get_PrivateKey, &I::put_PrivateKey>("PrivateKey"),  // 6
    orvo::Method<&I::Encrypt>("Encrypt"),                               // 7
    orvo::Method<&I::Decrypt>("Decrypt"),                               // 8
    orvo::Method<&I::Sign>("Sign"),                                     // 9
    orvo::Method<&I::Verify>("Verify"),                                 // 10
};
const orvo::MemberTable kTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kRows);

}  // namespace

const orvo::InterfaceMapEntry CryptoRSA::kInterfaceMap[] = {{&IID_ICryptoRSA, 0}, {&IID_IDispatch, 0}, {nullptr, 0}};

HRESULT CryptoRSA::SetIV(IDispatch* bytes) {
  return orvo::RunMethodFrame(kKeyMembers, {bytes}, nullptr, [this](FrameBlobs& blobs) {
    key_.SetIV(*blobs.input[0]);
    return S_OK;
  });
}

HRESULT CryptoRSA::KeyGen(IDispatch* firstSeed, IDispatch* secondSeed, LONG size) {
  return orvo::RunMethodFrame(kKeyMembers, {firstSeed, secondSeed}, nullptr, [this, size](FrameBlobs& blobs) {
    key_.GenerateKey(*blobs.input[0], *blobs.input[1], static_cast<uint32_t>(size));
    return S_OK;
  });
}

HRESULT CryptoRSA::get_PublicKey(IDispatch** key) {
  if (key == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kKeyMembers, {}, key, [this](FrameBlobs& blobs) {
    key_.GetPublicBlob(*blobs.result);
    return S_OK;
  });
}

HRESULT CryptoRSA::put_PublicKey(IDispatch* key) {
  return orvo::RunMethodFrame(kKeyMembers, {key}, nullptr, [this](FrameBlobs& blobs) {
    LoadAllOrNothing(key_, [&] { key_.SetPublicBlob(*blobs.input[0]); });
    return S_OK;
  });
}

HRESULT CryptoRSA::get_PrivateKey(IDispatch** key) {
  if (key == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kKeyMembers, {}, key, [this](FrameBlobs& blobs) {
    key_.GetPrivateBlob(*blobs.result);
    return S_OK;
  });
}

HRESULT CryptoRSA::put_PrivateKey(IDispatch* key) {
  return orvo::RunMethodFrame(kKeyMembers, {key}, nullptr, [this](FrameBlobs& blobs) {
    LoadAllOrNothing(key_, [&] { key_.SetPrivateBlob(*blobs.input[0]); });
    return S_OK;
  });
}

HRESULT CryptoRSA::Encrypt(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOperations, {data}, result, [this](FrameBlobs& blobs) {
    orvo::StoreResult(*blobs.result, key_.Encrypt(*blobs.input[0]));
    return S_OK;
  });
}

HRESULT CryptoRSA::Decrypt(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOperations, {data}, result, [this](FrameBlobs& blobs) {
    orvo::StoreResult(*blobs.result, key_.Decrypt(*blobs.input[0]));
    return S_OK;
  });
}

HRESULT CryptoRSA::Sign(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOperations, {data}, result, [this](FrameBlobs& blobs) {
    orvo::StoreResult(*blobs.result, key_.Sign(*blobs.input[0]));
    return S_OK;
  });
}

HRESULT CryptoRSA::Verify(IDispatch* data, IDispatch* signature, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return orvo::RunMethodFrame(kOperations, {data, signature}, nullptr, [this, result](FrameBlobs& blobs) {
    *result = key_.Verify(*blobs.input[0], *blobs.input[1]) != 0 ? 1 : 0;
    return S_OK;
  });
}

const orvo::MemberTable* CryptoRSA::GetMemberTable() { return &kTable; }

}  // namespace orvo
