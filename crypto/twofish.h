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

// The fixed tables of the paper (twofish_tables.cpp).
// q0 and q1: the fixed 8-bit permutations (paper 4.3.5).
extern const uint8_t kQ0[256];
extern const uint8_t kQ1[256];
struct ColumnTables {
  uint32_t col[4][256];
};
// kMdsQ.col[j][x]: MDS column j (paper 4.3.2, over GF(2^8) mod 0x169) times the
// byte that the last q permutation of byte position j gives for x (q1, q0, q1,
// q0 for j = 0..3), as a little-endian word.
extern const ColumnTables kMdsQ;
// kRs.col[c][x]: column c of the Reed-Solomon matrix RS (paper 4.3, over
// GF(2^8) mod 0x14D) times x, as a little-endian word; S_i is the exclusive-or
// of kRs.col[c][m(8i+c)] over c = 0..7.
struct RsTables {
  uint32_t col[8][256];
};
extern const RsTables kRs;

// The key-dependent state: 40 subkeys and the four key-dependent S-boxes
// already multiplied into their MDS columns.
struct Schedule {
  uint32_t subkeys[40];
  uint32_t sbox[4][256];
};

// The Twofish key schedule (paper 4.3) of k 64-bit words (k = 2, 3 or 4) at `key`.
void ExpandKey(const uint8_t* key, uint32_t k, Schedule& out);
// The function h of the paper (4.3.2) for k words of the list L.
uint32_t H(uint32_t x, const uint32_t* list, uint32_t k);

// One block; `in` and `out` may be the same block.
void EncryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out);
void DecryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out);
// Runs of whole blocks, several in flight; CBC chains from `iv` and leaves the
// last ciphertext block in it. `in` and `out` may be the same buffer.
void EncryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks);
void EncryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);
void DecryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);

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
  // The engine's bulk hooks, with two blocks in flight where the mode allows.
  void EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;
  void DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;

 private:
  void LoadKey(const uint8_t* key, uint32_t k);

  uint8_t key_[orvo::twofish::kMaxKeyBytes] = {};
  uint32_t k_ = 0;
  orvo::twofish::Schedule schedule_ = {};
};
