// XAES: the AES block cipher (FIPS-197) with 128-, 192- and 256-bit keys.
//
// Key blob (SetKey input, GetKey output): the round count Nr as four bytes,
// big-endian (10, 12 or 14), then the 16, 24 or 32 key bytes in FIPS-197
// order. Nr 10 means a 16-byte key, 12 a 24-byte key, any other count a 32-byte
// key; a blob with 32 key bytes and a count of 0..14 runs that many rounds.
//
// Interchangeable block engines give identical bytes: table-driven code
// (aes_tables.cpp), AES-NI (aes_ni_x86.cpp) and VAES on 256- or 512-bit
// vectors (aes_vaes_x86.cpp). Each key takes one engine, as a table of its
// block operations (aes::EngineOps), when it is set: the widest the processor
// runs right, less what ORVOCRYPTO_HIDE_CPU_FEATURES hides (read once per
// process), unless the object was made for a named engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace orvo::aes {

// The block engines, narrowest first.
enum class Engine { kTable, kAesNi, kVaes256, kVaes512 };

// One engine's block operations on XAES's schedules (aes_ni.h describes
// them): Nr + 1 round keys of four little-endian column words. `in` and `out`
// do not overlap; the CBC operations leave `iv` holding the last ciphertext
// block, and leave it alone for zero blocks. CBC encryption, one chain, is
// AES-NI's on the VAES engines.
struct EngineOps {
  Engine engine;
  void (*encryptECB)(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
  void (*decryptECB)(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
  void (*encryptCBC)(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                     uint8_t* iv);
  void (*decryptCBC)(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                     uint8_t* iv);
};

}  // namespace orvo::aes

class XAES final : public XBlockCipher {
 public:
  static constexpr uint32_t kMaxRounds = 14;

  // Takes aes::EngineInUse() at each SetKey or GenerateKey.
  XAES();
  // Always takes `engine` where the processor runs it (aes::EngineAvailable),
  // else the tables: for tests and benchmarks that compare the engines.
  explicit XAES(orvo::aes::Engine engine);
  // Wipes the key bytes and both schedules.
  ~XAES() override;

  uint32_t BlockSize() const override { return 16; }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override;
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override;
  // Key size from the requested length in bytes: 32 or more gives AES-256,
  // 24..31 AES-192, anything below 24 (0 included) AES-128. The key bytes are
  // ExpandSeed(seed, key size).
  void GenerateKey(const XBlob& seed, uint32_t length) override;
  // "Data is corrupted" / "AES" for a blob shorter than 5 bytes, a size other
  // than 4 + the key length its count implies, or a count above 14; the
  // earlier key then stays as it was.
  void SetKey(const XBlob& blob) override;
  XBlob GetKey() const override;

  uint32_t Rounds() const { return rounds_; }
  // The engine the block operations run on now.
  orvo::aes::Engine BlockEngine() const { return ops_->engine; }

  // Whether a VAES engine gives the table-driven bytes for a fixed key and
  // blocks on this processor (emulators exist that report VAES and get its
  // wide forms wrong). Run once per engine, before it is first offered.
  static bool WideEngineAnswersRight(orvo::aes::Engine engine);

 protected:
  void EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const override;
  void EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;
  void DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const override;

 private:
  // Installs Nr and the key bytes, then runs the FIPS-197 key expansion and
  // derives the decryption schedule of the equivalent inverse cipher.
  void LoadKey(uint32_t rounds, const uint8_t* key, uint32_t keyLength);

  orvo::KeyBytes<32> key_;
  // Round keys 0..Nr, four column words each, little-endian (row 0 in the low
  // byte), so their bytes in memory are in FIPS-197 order.
  uint32_t encSchedule_[4 * (kMaxRounds + 1)] = {};
  // Equivalent inverse cipher (FIPS-197 5.3.5): round keys 0 and Nr as in the
  // encryption schedule, 1..Nr-1 passed through InvMixColumns.
  uint32_t decSchedule_[4 * (kMaxRounds + 1)] = {};
  uint32_t rounds_ = 0;
  // The block operations: a static table, never null.
  const orvo::aes::EngineOps* ops_;
  bool pinned_ = false;  // made for a named engine: SetKey keeps ops_
};

namespace orvo::aes {

// The engine a key takes when it is set: VAES on zmm where the processor has
// VAES and AVX-512F, on ymm with VAES and AVX2 (each only where it answers
// right: XAES::WideEngineAnswersRight), else AES-NI (with SSE4.1), else the
// tables; ORVOCRYPTO_HIDE_CPU_FEATURES steps down
// (aes, vaes, avx2, avx512f, sse4_1). Decided once per process, on the first
// call. The choice does not depend on the length: on the AVX-512 processor
// measured (bench/bench_aes.cpp), zmm leads ymm at 64 bytes as well as at
// 1 MiB.
Engine EngineInUse();
// Whether the processor runs `engine`: its features are there and not hidden
// by ORVOCRYPTO_HIDE_CPU_FEATURES, and a VAES engine answers right.
bool EngineAvailable(Engine engine);
// The engine's name as `orvocrypto --version` prints it: table, aesni,
// vaes256 or vaes512.
const char* EngineName(Engine engine);

}  // namespace orvo::aes
