// Helpers shared by the RSA tests: numbers from hexadecimal text and a random
// generator whose seed is printed with every failure.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

#include "rsa/bigint.h"
#include "tests/support/vec_file.h"

namespace orvo::test {

inline XBigInt BigHex(const std::string& hex) {
  XBigInt x;
  x.FromBytes(BlobOf(FromHexText(hex.size() % 2 ? "0" + hex : hex)));
  return x;
}

inline std::string HexOf(const XBigInt& x) {
  XBlob out(16);
  x.ToBytes(out);
  return ToHexText(out);
}

// A generator seeded from ORVO_TEST_SEED when set, else from the clock; the
// seed goes into every failure message of the test through SCOPED_TRACE.
class SeededRandom {
 public:
  SeededRandom() {
    const char* fixed = std::getenv("ORVO_TEST_SEED");
    seed_ = fixed != nullptr ? std::stoull(fixed)
                             : static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    engine_.seed(seed_);
  }
  std::string Trace() const { return "random seed " + std::to_string(seed_) + " (set ORVO_TEST_SEED to repeat)"; }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
  uint16_t Limb() {
    // Edge limbs come often: they drive the division's corrections.
    static const uint16_t kEdges[] = {0, 1, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
    return Below(3) == 0 ? kEdges[Below(6)] : static_cast<uint16_t>(engine_());
  }
  // A number of 1 to maxLimbs limbs with a non-zero top limb.
  XBigInt Number(uint32_t maxLimbs) {
    const uint32_t n = 1 + Below(maxLimbs);
    std::vector<uint16_t> limbs(n);
    for (auto& l : limbs) l = Limb();
    if (limbs[n - 1] == 0) limbs[n - 1] = 1;
    XBigInt x;
    x.AssignLimbs(limbs.data(), n);
    return x;
  }
  XBigInt Bytes(uint32_t n) {
    XBlob b(16);
    for (uint32_t i = 0; i < n; ++i) b.InsertByte(static_cast<uint8_t>(engine_()), b.size);
    XBigInt x;
    x.FromBytes(b);
    return x;
  }

 private:
  uint64_t seed_;
  std::mt19937_64 engine_;
};

}  // namespace orvo::test
