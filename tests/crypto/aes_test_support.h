// Shared by the AES and engine tests: run a test on the table-driven path and
// on the AES-NI path (skipped where the processor lacks it), and build AES
// key blobs.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/test_hooks.h"
#include "base/xblob.h"
#include "crypto/aes.h"

namespace orvo::test {

enum class AesPath { kTable, kHardware };

class AesPathTest : public ::testing::TestWithParam<AesPath> {
 protected:
  void SetUp() override {
    if (GetParam() == AesPath::kHardware && !orvo::aes::HardwareAvailable()) {
      GTEST_SKIP() << "this processor has no AES-NI";
    }
    path_.emplace(orvo::cpu::Feature::kAesNi, GetParam() == AesPath::kHardware);
    ASSERT_EQ(orvo::aes::HardwareInUse(), GetParam() == AesPath::kHardware);
  }
  void TearDown() override { path_.reset(); }

 private:
  std::optional<orvo::cpu::ScopedFeatureOverride> path_;
};

inline std::string AesPathName(const ::testing::TestParamInfo<AesPath>& info) {
  return info.param == AesPath::kTable ? "Table" : "AesNi";
}

#define ORVO_INSTANTIATE_AES_PATHS(fixture)                                                                    \
  INSTANTIATE_TEST_SUITE_P(Paths, fixture,                                                                     \
                           ::testing::Values(orvo::test::AesPath::kTable, orvo::test::AesPath::kHardware), \
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
