// XBlowfish: the Blowfish block cipher behind the Blowfish scripting object:
// the key length rule, the key blob and the alarms around blowfish_core.cpp.
#include "crypto/blowfish.h"

#include "base/alarm.h"
#include "base/wipe.h"
#include "crypto/blowfish_core.h"
#include "digest/seed_expansion.h"

namespace {
constexpr char kName[] = "Blowfish";
}  // namespace

XBlowfish::~XBlowfish() { orvo::SecureWipe(&state_, sizeof state_); }

void XBlowfish::EncryptBlock(const uint8_t* in, uint8_t* out) const {
  orvo::blowfish::CryptBlock(state_, state_.p, in, out);
}

void XBlowfish::DecryptBlock(const uint8_t* in, uint8_t* out) const {
  orvo::blowfish::CryptBlock(state_, state_.pReversed, in, out);
}

void XBlowfish::EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  orvo::blowfish::CryptECB(state_, state_.p, in, out, blocks);
}

void XBlowfish::DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  orvo::blowfish::CryptECB(state_, state_.pReversed, in, out, blocks);
}

void XBlowfish::EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  orvo::blowfish::EncryptCBC(state_, in, out, blocks, iv);
}

void XBlowfish::DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  orvo::blowfish::DecryptCBC(state_, in, out, blocks, iv);
}

void XBlowfish::LoadKey(const uint8_t* key, uint32_t length) {
  orvo::blowfish::KeySetup(key, length, orvo::blowfish::kInitialP, orvo::blowfish::kInitialS, state_);
  key_.Store(length, key, length);
  MarkKeySet();
}

void XBlowfish::GenerateKey(const XBlob& seed, uint32_t length) {
  const uint32_t clamped = length < 8 ? 8 : length > orvo::blowfish::kMaxKeyBytes ? orvo::blowfish::kMaxKeyBytes : length;
  const XBlob bytes = ExpandSeed(seed, clamped);
  LoadKey(bytes.data, clamped);
}

void XBlowfish::SetKey(const XBlob& blob) {
  if (blob.size < 5) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  const uint32_t length = blob.ExtractLong(0);
  if (length > orvo::blowfish::kMaxKeyBytes || blob.size != length + 4) {
    throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  }
  LoadKey(blob.data + 4, length);
}

XBlob XBlowfish::GetKey() const {
  RequireKey(kName);
  return key_.Blob();
}
