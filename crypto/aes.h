// XAES: the AES block cipher (FIPS-197) with 128-, 192- and 256-bit keys.
//
// Key blob (SetKey input, GetKey output): the round count Nr as four bytes,
// big-endian (10, 12 or 14), then the 16, 24 or 32 key bytes in FIPS-197
// order. Nr 10 means a 16-byte key, 12 a 24-byte key, any other count a 32-byte
// key; a blob with 32 key bytes and a count of 0..14 runs that many rounds.
//
// Interchangeable block paths give identical bytes: table-driven code
// (aes_tables.cpp), AES-NI (aes_ni_x86.cpp) and VAES on 256- or 512-bit
// vectors (aes_vaes_x86.cpp). The widest the processor has is chosen at run
// time, call by call, unless a cpu::ScopedFeatureOverride hides it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace orvo::aes {
enum class Engine;
}  // namespace orvo::aes

class XAES final : public XBlockCipher {
 public:
  static constexpr uint32_t kMaxRounds = 14;

  XAES() = default;
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

  // Whether a VAES path gives the table-driven bytes for a fixed key and
  // blocks on this processor (emulators exist that report VAES and get its
  // wide forms wrong). Run once per path before the path is first chosen.
  static bool WidePathAnswersRight(orvo::aes::Engine engine);

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
};

namespace orvo::aes {

// True when the processor has AES-NI and SSE4.1.
bool HardwareAvailable();
// True when XAES uses AES-NI now: available and not hidden by a
// cpu::ScopedFeatureOverride (base/test_hooks.h), which tests and benchmarks
// use to run the table-driven code.
bool HardwareInUse();

// The block paths. ECB in both directions and CBC decryption take the path
// chosen; CBC encryption, one chain, runs on AES-NI on the VAES paths too.
enum class Engine { kTable, kAesNi, kVaes256, kVaes512 };
// The path XAES takes now: VAES on zmm where the processor has VAES and
// AVX-512F, on ymm with VAES and AVX2, else AES-NI, else the tables; hiding
// kAesNi, kVaes or kAvx512 steps down, and so does a VAES path that fails
// its known answer (XAES::WidePathAnswersRight). The choice does not depend on
// the length: on the AVX-512 processor measured (bench/bench_aes.cpp), zmm
// leads ymm at 64 bytes as well as at 1 MiB.
Engine EngineInUse();
// Whether the processor has what `engine` needs.
bool EngineAvailable(Engine engine);
// The engine's name as `orvocrypto --version` prints it: table, aesni,
// vaes256 or vaes512.
const char* EngineName(Engine engine);

}  // namespace orvo::aes
