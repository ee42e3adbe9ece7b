// The 128-bit word arithmetic of the Montgomery kernels and the prime search:
// the compiler's own type on x86-64, the portable class on 32-bit x86 (the
// linux32 build). Expected values from Python's integers.
#include "rsa/wide_uint.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using orvo::u128;

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr uint64_t kPrime = 0xFFFFFFFFFFFFFFC5;  // the largest prime below 2^64

struct ProductCase {
  uint64_t a, b;
  uint64_t hi, lo;  // a * b
  uint64_t mod;     // a * b mod kPrime
};

TEST(WideUint, ProductsTheirHalvesAndRemainders) {
  const ProductCase cases[] = {
      {kAllOnes, kAllOnes, 0xFFFFFFFFFFFFFFFE, 0x1, 0xD24},
      {0x8000000000000001, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000FFFFFFFF, 0x8000001E7FFFFFC4},
      {0x0123456789ABCDEF, 0xFEDCBA9876543210, 0x0121FA00AD77D742, 0x2236D88FE5618CF0, 0x650B76B7E0002926},
      {1, 0, 0, 0, 0},
  };
  for (const ProductCase& c : cases) {
    SCOPED_TRACE(c.a);
    const u128 p = static_cast<u128>(c.a) * c.b;
    EXPECT_EQ(static_cast<uint64_t>(p >> 64), c.hi);
    EXPECT_EQ(static_cast<uint64_t>(p), c.lo);
    EXPECT_EQ(static_cast<uint64_t>(p % kPrime), c.mod);
    // Back from the halves: shifts, or, and the order agree with the product.
    const u128 rebuilt = (static_cast<u128>(c.hi) << 64) | c.lo;
    EXPECT_FALSE(rebuilt < p || p < rebuilt);
  }
}

TEST(WideUint, CarriesAndBorrowsCrossTheMiddle) {
  const u128 sum = static_cast<u128>(kAllOnes) + u128(1);
  EXPECT_EQ(static_cast<uint64_t>(sum >> 64), 1u);
  EXPECT_EQ(static_cast<uint64_t>(sum), 0u);

  const u128 below = u128(0) - u128(1);  // wraps to 2^128 - 1
  EXPECT_EQ(static_cast<uint64_t>(below >> 64), kAllOnes);
  EXPECT_EQ(static_cast<uint64_t>(below), kAllOnes);
  EXPECT_EQ(static_cast<uint64_t>(below >> 127), 1u);
  EXPECT_EQ(static_cast<uint64_t>((below << 100) >> 100 >> 27), 1u);  // 28 set bits survive

  u128 accumulated = static_cast<u128>(kAllOnes) << 64;
  accumulated += static_cast<u128>(kAllOnes) << 64;  // 2^129 - 2^65 wraps to 2^128 - 2^65
  EXPECT_EQ(static_cast<uint64_t>(accumulated >> 64), 0xFFFFFFFFFFFFFFFE);
  EXPECT_TRUE(static_cast<u128>(kAllOnes) < accumulated);
}

}  // namespace
