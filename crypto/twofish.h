// XTwofish: the Twofish block cipher (B. Schneier, J. Kelsey, D. Whiting,
// D. Wagner, C. Hall, N. Ferguson, "Twofish: A 128-Bit Block Cipher", 1998)
// with 128-, 192- and 256-bit keys, 16 rounds and the full-keying option: the
// key set-up folds the key-dependent S-boxes into the MDS columns, so that g is
// four table look-ups and three exclusive-ors.
//
// The Twofish key blob (SetKey input, GetKey output): k as a 4-byte big-endian
// number (the key length in 64-bit words: 2, 3 or 4), then the 8k key bytes in
// the order the Twofish paper takes them. 20, 28 or 36 bytes in all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"
#include "crypto/block_cipher.h"

namespace orvo::twofish {

constexpr uint32_t kBlockSize = 16;
constexpr uint32_t kMaxKeyBytes = 32;

// The key-dependent state: 40 subkeys and the four key-dependent S-boxes
// already multiplied into their MDS columns.
struct Schedule {
  uint32_t subkeys[40];
  uint32_t sbox[4][256];
};

}  // namespace orvo::twofish

class XTwofish final : public XBlockCipher {
 public:
  XTwofish() = default;
  ~XTwofish() override;

  uint32_t BlockSize() const override { return orvo::twofish::kBlockSize; }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override;
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override;
  // Key size from the requested length, compared unsigned: up to 16 bytes gives
  // 16 (k = 2), 17 to 24 gives 24 (k = 3), above 24 gives 32 (k = 4).
  void GenerateKey(const XBlob& seed, uint32_t length) override;
  // "Data is corrupted" / "Twofish" for a blob shorter than 5 bytes, a k other
  // than 2, 3 or 4, or a size other than 4 + 8k; the earlier key stays.
  void SetKey(const XBlob& blob) override;
  // "Invalid key" / "Twofish" without a key.
  XBlob GetKey() const override;

 protected:
  // The engine's bulk hooks, with four blocks in flight where the mode allows.
  void EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;
  void DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;

 private:
  void LoadKey(const uint8_t* key, uint32_t k);

  orvo::KeyBytes<orvo::twofish::kMaxKeyBytes> key_;
  orvo::twofish::Schedule schedule_ = {};
};
