// orvo_rsa: an RSA key pair (or either half) with its label, the operations
// of the RSA scripting object, and signing of data fed piece by piece.
#include <memory>

#include "base/alarm.h"
#include "capi/call_frame.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"

using namespace orvo::capi;

struct orvo_rsa {
  std::unique_ptr<XRSAKey> key = std::make_unique<XRSAKey>();
  orvo::Sha1Stream fed;  // the data of orvo_rsa_update since the last final
};

namespace {

const XRSAKey& KeyOf(const orvo_rsa* rsa) { return *Need(rsa, "rsa")->key; }

void RequireHalf(const XRSAKey& key, uint32_t half) {
  if ((key.flags & half) == 0) throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA");
}

// Loads a key blob into a copy of the key (its present halves and label), so
// that a blob failing part-way leaves the key as it was; the copy then
// replaces it.
template <typename Load>
void LoadAllOrNothing(orvo_rsa& rsa, Load load) {
  auto next = std::make_unique<XRSAKey>();
  const XRSAKey& now = *rsa.key;
  XBlob blob(16);
  if ((now.flags & XRSAKey::kPrivateHalf) != 0) {
    now.GetPrivateBlob(blob);
    next->SetPrivateBlob(blob);
  }
  if ((now.flags & XRSAKey::kPublicHalf) != 0) {
    now.GetPublicBlob(blob);
    next->SetPublicBlob(blob);
  }
  next->iv = now.iv;
  load(*next);
  rsa.key = std::move(next);
}

// The key blob of one half: "Invalid key - RSA" when that half is missing.
void GetBlob(const orvo_rsa* rsa, orvo_buffer* key_blob, uint32_t half) {
  Need(key_blob, "key_blob");
  const XRSAKey& key = KeyOf(rsa);
  RequireHalf(key, half);
  XBlob blob(16);
  if (half == XRSAKey::kPublicHalf) {
    key.GetPublicBlob(blob);
  } else {
    key.GetPrivateBlob(blob);
  }
  Store(key_blob, blob);
}

void Verified(int32_t result, int* valid) { *valid = result != 0 ? 1 : 0; }

}  // namespace

extern "C" {

orvo_status orvo_rsa_new(orvo_rsa** rsa) {
  return Frame(__func__, [&] {
    Need(rsa, "rsa");
    *rsa = nullptr;
    *rsa = new orvo_rsa;
  });
}

void orvo_rsa_free(orvo_rsa* rsa) { delete rsa; }

orvo_status orvo_rsa_generate_key(orvo_rsa* rsa, const void* seed1, size_t seed1_size, const void* seed2,
                                  size_t seed2_size, uint32_t size) {
  return Frame(__func__, [&] {
    Need(rsa, "rsa")->key->GenerateKey(BlobOf(seed1, seed1_size, "seed1"), BlobOf(seed2, seed2_size, "seed2"), size);
  });
}

orvo_status orvo_rsa_size(const orvo_rsa* rsa, size_t* size) {
  return Frame(__func__, [&] {
    const XRSAKey& key = KeyOf(rsa);
    *Need(size, "size") = key.flags != 0 ? key.size : 0;
  });
}

orvo_status orvo_rsa_get_public_key(const orvo_rsa* rsa, orvo_buffer* key_blob) {
  return Frame(__func__, [&] { GetBlob(rsa, key_blob, XRSAKey::kPublicHalf); });
}

orvo_status orvo_rsa_get_private_key(const orvo_rsa* rsa, orvo_buffer* key_blob) {
  return Frame(__func__, [&] { GetBlob(rsa, key_blob, XRSAKey::kPrivateHalf); });
}

orvo_status orvo_rsa_set_public_key(orvo_rsa* rsa, const void* key_blob, size_t size) {
  return Frame(__func__, [&] {
    const XBlob blob = BlobOf(key_blob, size, "key_blob");
    LoadAllOrNothing(*Need(rsa, "rsa"), [&](XRSAKey& key) { key.SetPublicBlob(blob); });
  });
}

orvo_status orvo_rsa_set_private_key(orvo_rsa* rsa, const void* key_blob, size_t size) {
  return Frame(__func__, [&] {
    const XBlob blob = BlobOf(key_blob, size, "key_blob");
    LoadAllOrNothing(*Need(rsa, "rsa"), [&](XRSAKey& key) { key.SetPrivateBlob(blob); });
  });
}

orvo_status orvo_rsa_set_label(orvo_rsa* rsa, const void* label, size_t size) {
  return Frame(__func__, [&] { Need(rsa, "rsa")->key->SetIV(BlobOf(label, size, "label")); });
}

orvo_status orvo_rsa_encrypt(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] {
    Need(out, "out");
    Store(out, KeyOf(rsa).Encrypt(BlobOf(data, size, "data")));
  });
}

orvo_status orvo_rsa_decrypt(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] {
    Need(out, "out");
    Store(out, KeyOf(rsa).Decrypt(BlobOf(data, size, "data")));
  });
}

orvo_status orvo_rsa_sign(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* signature) {
  return Frame(__func__, [&] {
    Need(signature, "signature");
    orvo::Sha1Stream sha1;
    sha1.Update(Bytes(data, size, "data"), size);
    Store(signature, KeyOf(rsa).SignDigest(sha1.Finish()));
  });
}

orvo_status orvo_rsa_verify(const orvo_rsa* rsa, const void* data, size_t size, const void* signature,
                            size_t signature_size, int* valid) {
  return Frame(__func__, [&] {
    Need(valid, "valid");
    orvo::Sha1Stream sha1;
    sha1.Update(Bytes(data, size, "data"), size);
    Verified(KeyOf(rsa).VerifyDigest(sha1.Finish(), BlobOf(signature, signature_size, "signature")), valid);
  });
}

orvo_status orvo_rsa_update(orvo_rsa* rsa, const void* data, size_t size) {
  return Frame(__func__, [&] { Need(rsa, "rsa")->fed.Update(Bytes(data, size, "data"), size); });
}

orvo_status orvo_rsa_sign_final(orvo_rsa* rsa, orvo_buffer* signature) {
  return Frame(__func__, [&] {
    Need(signature, "signature");
    Store(signature, KeyOf(rsa).SignDigest(Need(rsa, "rsa")->fed.Finish()));
  });
}

orvo_status orvo_rsa_verify_final(orvo_rsa* rsa, const void* signature, size_t signature_size, int* valid) {
  return Frame(__func__, [&] {
    Need(valid, "valid");
    const XBlob sig = BlobOf(signature, signature_size, "signature");
    Verified(KeyOf(rsa).VerifyDigest(Need(rsa, "rsa")->fed.Finish(), sig), valid);
  });
}

}  // extern "C"
