// For Blowfish and Twofish: running a test body on each way of taking S-box
// indices that this processor offers (crypto/byte_fields.h: shifts and masks,
// then BEXTR where it has BMI1), and the check of a cipher's bulk runs against
// its one-block function.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "base/cpu_features.h"
#include "base/test_hooks.h"
#include "tests/support/vec_file.h"

namespace orvo::test {

template <typename Body>
void OnEachByteFieldsPath(Body body) {
  for (const bool bmi1 : {false, true}) {
    if (bmi1 && !cpu::Detected().bmi1) continue;
    SCOPED_TRACE(bmi1 ? "BEXTR byte fields" : "portable byte fields");
    const cpu::ScopedFeatureOverride path(cpu::Feature::kBmi1, bmi1);
    body();
  }
}

// One cipher's block function and bulk runs under one key; the CBC runs
// chain from `iv` and leave the last ciphertext block in it.
struct BulkRuns {
  size_t blockSize = 0;
  std::function<void(const uint8_t* in, uint8_t* out)> encryptBlock;
  std::function<void(const uint8_t* in, uint8_t* out, size_t blocks)> encryptECB;
  std::function<void(const uint8_t* in, uint8_t* out, size_t blocks)> decryptECB;
  std::function<void(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv)> encryptCBC;
  std::function<void(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv)> decryptCBC;
};

// Runs of 1 to 9 blocks (every remainder after groups of up to eight in
// flight) in ECB and CBC, both directions, against the block function chained
// by hand, and the chaining value each CBC run leaves.
inline void ExpectBulkRunsMatchTheBlockFunction(const BulkRuns& runs) {
  const size_t bs = runs.blockSize;
  std::vector<uint8_t> iv(bs);
  for (size_t i = 0; i < bs; ++i) iv[i] = static_cast<uint8_t>(0xF0 - 17 * i);
  for (size_t blocks = 1; blocks <= 9; ++blocks) {
    SCOPED_TRACE(testing::Message() << blocks << " blocks");
    const size_t n = bs * blocks;
    std::vector<uint8_t> plain(n);
    for (size_t i = 0; i < n; ++i) plain[i] = static_cast<uint8_t>(i * 29 + blocks);
    std::vector<uint8_t> ecb(n);
    std::vector<uint8_t> cbc(n);
    std::vector<uint8_t> chain = iv;
    std::vector<uint8_t> mixed(bs);
    for (size_t at = 0; at < n; at += bs) {
      runs.encryptBlock(plain.data() + at, ecb.data() + at);
      for (size_t i = 0; i < bs; ++i) mixed[i] = plain[at + i] ^ chain[i];
      runs.encryptBlock(mixed.data(), cbc.data() + at);
      std::memcpy(chain.data(), cbc.data() + at, bs);
    }
    const std::string lastCipher = ToHexText(cbc.data() + n - bs, bs);
    std::vector<uint8_t> out(n);
    runs.encryptECB(plain.data(), out.data(), blocks);
    EXPECT_EQ(ToHexText(out.data(), n), ToHexText(ecb.data(), n)) << "ECB encryption";
    runs.decryptECB(ecb.data(), out.data(), blocks);
    EXPECT_EQ(ToHexText(out.data(), n), ToHexText(plain.data(), n)) << "ECB decryption";
    std::vector<uint8_t> reg = iv;
    runs.encryptCBC(plain.data(), out.data(), blocks, reg.data());
    EXPECT_EQ(ToHexText(out.data(), n), ToHexText(cbc.data(), n)) << "CBC encryption";
    EXPECT_EQ(ToHexText(reg.data(), bs), lastCipher);
    reg = iv;
    runs.decryptCBC(cbc.data(), out.data(), blocks, reg.data());
    EXPECT_EQ(ToHexText(out.data(), n), ToHexText(plain.data(), n)) << "CBC decryption";
    EXPECT_EQ(ToHexText(reg.data(), bs), lastCipher);
  }
}

}  // namespace orvo::test
