// Shared by the AES and engine tests: run a test on each AES block path (the
// tables, AES-NI, VAES on ymm and on zmm; a path the processor lacks is
// skipped), and build AES key blobs.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/xblob.h"
#include "crypto/aes.h"
#include "crypto/aes_test_hooks.h"

namespace orvo::test {

// Every block path XAES has, each forced through the CPU-feature override.
enum class AesPath { kTable, kHardware, kVaes256, kVaes512 };

inline orvo::aes::Engine EngineOf(AesPath path) {
  switch (path) {
    case AesPath::kTable: return orvo::aes::Engine::kTable;
    case AesPath::kHardware: return orvo::aes::Engine::kAesNi;
    case AesPath::kVaes256: return orvo::aes::Engine::kVaes256;
    case AesPath::kVaes512: return orvo::aes::Engine::kVaes512;
  }
  return orvo::aes::Engine::kTable;
}

class AesPathTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    const orvo::aes::Engine engine = EngineOf(GetParam());
    if (!orvo::aes::EngineAvailable(engine)) GTEST_SKIP() << "this processor lacks the instructions of this path";
    path_.emplace(engine);
    ASSERT_EQ(orvo::aes::EngineInUse(), engine);
    ASSERT_EQ(orvo::aes::HardwareInUse(), GetParam() != AesPath::kTable);
  }
  void TearDown() override { path_.reset(); }

 private:
  std::optional<orvo::aes::ScopedEngineForTesting> path_;
};

inline std::string AesPathName(const ::testing::TestParamInfo<AesPath>& info) {
  switch (info.param) {
    case AesPath::kTable: return "Table";
    case AesPath::kHardware: return "AesNi";
    case AesPath::kVaes256: return "Vaes256";
    case AesPath::kVaes512: return "Vaes512";
  }
  return "?";
}

#define ORVO_INSTANTIATE_AES_PATHS(fixture)                                                                       \
  INSTANTIATE_TEST_SUITE_P(Paths, fixture,                                                                        \
                           ::testing::Values(orvo::test::AesPath::kTable, orvo::test::AesPath::kHardware,         \
                                             orvo::test::AesPath::kVaes256, orvo::test::AesPath::kVaes512),   \
                           orvo::test::AesPathName)

// Round count (4 bytes, big-endian) followed by the key bytes.
inline XBlob AesKeyBlob(uint32_t rounds, const std::vector<uint8_t>& key) {
  XBlob blob(16);
  blob.InsertLong(rounds);
  blob.Append(key.data(), static_cast<uint32_t>(key.size()));
  return blob;
}

inline uint32_t AesRoundsFor(size_t keyLength) { return keyLength == 16 ? 10 : keyLength == 24 ? 12 : 14; }

}  // namespace orvo::test
