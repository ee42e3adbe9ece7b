// Shared by the AES and engine tests: run a test on each AES block engine (the
// tables, AES-NI, VAES on ymm and on zmm; an engine the processor lacks is
// skipped), and build AES key blobs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/xblob.h"
#include "crypto/aes.h"

namespace orvo::test {

// A test on one engine, named by the parameter: its XAES objects are made
// with XAES(EngineUnderTest()).
class AesEngineTest : public ::testing::TestWithParam<orvo::aes::Engine> {
 protected:
  void SetUp() override {
    if (!orvo::aes::EngineAvailable(EngineUnderTest())) GTEST_SKIP() << "this processor lacks the instructions of this engine";
    const XAES aes(EngineUnderTest());
    ASSERT_EQ(aes.BlockEngine(), EngineUnderTest());
  }
  orvo::aes::Engine EngineUnderTest() const { return GetParam(); }
};

inline std::string AesEngineName(const ::testing::TestParamInfo<orvo::aes::Engine>& info) {
  return orvo::aes::EngineName(info.param);
}

// Every engine XAES has.
inline const orvo::aes::Engine kAesEngines[] = {orvo::aes::Engine::kTable, orvo::aes::Engine::kAesNi,
                                                orvo::aes::Engine::kVaes256, orvo::aes::Engine::kVaes512};

#define ORVO_INSTANTIATE_AES_ENGINES(fixture) \
  INSTANTIATE_TEST_SUITE_P(Engines, fixture, ::testing::ValuesIn(orvo::test::kAesEngines), orvo::test::AesEngineName)

// Round count (4 bytes, big-endian) followed by the key bytes.
inline XBlob AesKeyBlob(uint32_t rounds, const std::vector<uint8_t>& key) {
  XBlob blob(16);
  blob.InsertLong(rounds);
  blob.Append(key.data(), static_cast<uint32_t>(key.size()));
  return blob;
}

inline uint32_t AesRoundsFor(size_t keyLength) { return keyLength == 16 ? 10 : keyLength == 24 ? 12 : 14; }

}  // namespace orvo::test
