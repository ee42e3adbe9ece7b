// XTwofish: the Twofish block cipher behind the Twofish scripting object: the
// key length rule, the key blob and the alarms around twofish_core.cpp.
#include "crypto/twofish.h"

#include "base/alarm.h"
#include "base/wipe.h"
#include "crypto/twofish_core.h"
#include "digest/seed_expansion.h"

namespace {
constexpr char kName[] = "Twofish";
}  // namespace

XTwofish::~XTwofish() { orvo::SecureWipe(&schedule_, sizeof schedule_); }

void XTwofish::EncryptBlock(const uint8_t* in, uint8_t* out) const { orvo::twofish::EncryptBlock(schedule_, in, out); }

void XTwofish::DecryptBlock(const uint8_t* in, uint8_t* out) const { orvo::twofish::DecryptBlock(schedule_, in, out); }

void XTwofish::EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  orvo::twofish::EncryptECB(schedule_, in, out, blocks);
}

void XTwofish::DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  orvo::twofish::DecryptECB(schedule_, in, out, blocks);
}

void XTwofish::EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  orvo::twofish::EncryptCBC(schedule_, in, out, blocks, iv);
}

void XTwofish::DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  orvo::twofish::DecryptCBC(schedule_, in, out, blocks, iv);
}

void XTwofish::LoadKey(const uint8_t* key, uint32_t k) {
  key_.Store(k, key, 8 * k);
  orvo::twofish::ExpandKey(key_.data(), k, schedule_);
  MarkKeySet();
}

void XTwofish::GenerateKey(const XBlob& seed, uint32_t length) {
  const uint32_t k = length <= 16 ? 2 : length <= 24 ? 3 : 4;
  const XBlob bytes = ExpandSeed(seed, 8 * k);
  LoadKey(bytes.data, k);
}

void XTwofish::SetKey(const XBlob& blob) {
  if (blob.size < 5) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  const uint32_t k = blob.ExtractLong(0);
  if (k < 2 || k > 4 || blob.size != 4 + 8 * k) throw XCryptoAlarm(alarm_text::kDataCorrupted, kName);
  LoadKey(blob.data + 4, k);
}

XBlob XTwofish::GetKey() const {
  RequireKey(kName);
  return key_.Blob();
}
