// XBlowfish: the Blowfish block cipher (B. Schneier, "Description of a New
// Variable-Length Key, 64-Bit Block Cipher (Blowfish)", FSE 1993): 8-byte
// blocks, 16 rounds, keys of 1 to 56 bytes, initial tables from the digits of pi.
//
// The Blowfish key blob (SetKey input, GetKey output): the key length L as a
// 4-byte big-endian number, then the L key bytes. L + 4 bytes in all.
//
// Every key set-up runs two self-tests over the tables it starts from:
// an integrity value computed while copying them (must be 0x55861A61, else
// "Invalid key" / "Blowfish"), and a known answer (ten encipherments of the
// zero block give the left half 0xAAFE4EBD and ten decipherments bring it back
// to zero, else "Unable to decrypt data" / "Blowfish"). With the standard
// tables both always pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"
#include "crypto/block_cipher.h"

namespace orvo::blowfish {

constexpr uint32_t kBlockSize = 8;
constexpr uint32_t kMaxKeyBytes = 56;
constexpr uint32_t kTableCheck = 0x55861A61;
constexpr uint32_t kKnownAnswerLeft = 0xAAFE4EBD;

// The keyed state. The P-array is also kept reversed, so that one routine
// serves both directions.
struct State {
  uint32_t p[18];
  uint32_t pReversed[18];
  uint32_t s[4][256];
};

}  // namespace orvo::blowfish

class XBlowfish final : public XBlockCipher {
 public:
  XBlowfish() = default;
  ~XBlowfish() override;

  uint32_t BlockSize() const override { return orvo::blowfish::kBlockSize; }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override;
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override;
  // Key length from the requested length, compared unsigned and clamped to 8..56.
  void GenerateKey(const XBlob& seed, uint32_t length) override;
  // "Data is corrupted" / "Blowfish" for a blob shorter than 5 bytes, an L
  // above 56 or a size other than L + 4; the earlier key stays. L = 1..7 is
  // accepted.
  void SetKey(const XBlob& blob) override;
  // "Invalid key" / "Blowfish" without a key.
  XBlob GetKey() const override;

 protected:
  // The engine's bulk hooks, with four blocks in flight where the mode allows.
  void EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;
  void DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;

 private:
  void LoadKey(const uint8_t* key, uint32_t length);

  orvo::KeyBytes<orvo::blowfish::kMaxKeyBytes> key_;
  orvo::blowfish::State state_ = {};
};
