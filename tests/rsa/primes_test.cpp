// The small-prime table, modular arithmetic and the prime search: the fast
// paths against the limb-wise reference, and the search against the
// independent Python reference (tests/rsa/rsa_reference.py).
#include "rsa/primes.h"

#include <gtest/gtest.h>

#include <vector>

#include "rsa/modular.h"
#include "rsa/montgomery.h"
#include "tests/rsa/rsa_test_support.h"

namespace {

using orvo::test::BigHex;
using orvo::test::HexOf;
using orvo::test::SeededRandom;

TEST(SmallPrimesTest, TableIsTheSieveUpTo20393) {
  std::vector<bool> composite(20394, false);
  std::vector<uint16_t> primes;
  for (uint32_t i = 2; i <= 20393; ++i) {
    if (composite[i]) continue;
    primes.push_back(static_cast<uint16_t>(i));
    for (uint32_t j = i * i; j <= 20393; j += i) composite[j] = true;
  }
  ASSERT_EQ(primes.size(), kSmallPrimeCount);
  for (uint32_t k = 0; k < kSmallPrimeCount; ++k) ASSERT_EQ(kSmallPrimes[k], primes[k]) << k;
}

TEST(ModularTest, SmallKnownValues) {
  XBigInt x(2);
  EXPECT_EQ(HexOf(x.PowMod(XBigInt(10), XBigInt(1000))), "18");  // 1024 mod 1000 = 24
  XBigInt y(7);
  EXPECT_EQ(HexOf(y.PowMod(XBigInt(0), XBigInt(1))), "01");  // exponent 0 gives 1, unreduced
  XBigInt z(7);
  EXPECT_EQ(HexOf(z.PowMod(XBigInt(3), XBigInt(1))), "00");
  XBigInt inv(3);
  EXPECT_EQ(HexOf(inv.InverseMod(XBigInt(7))), "05");
}

TEST(ModularTest, GcdCases) {
  XBigInt g = BigHex("010001");
  EXPECT_EQ(HexOf(g.Gcd(BigHex("030003"))), "010001");
  XBigInt h = BigHex("123456789");
  EXPECT_EQ(HexOf(h.Gcd(XBigInt(1))), "01");
  XBigInt k = BigHex("1234");
  EXPECT_EQ(HexOf(k.Gcd(XBigInt(0))), "1234");
}

TEST(ModularTest, MontgomeryPowModMatchesTheReference) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  for (int i = 0; i < 300; ++i) {
    XBigInt m = random.Number(i < 200 ? 20 : 70);
    if (m.IsEven()) m.Add(XBigInt(1));
    if (m.Compare(XBigInt(1)) == 0) continue;
    const XBigInt base = random.Number(i % 5 == 0 ? 90 : 20);  // sometimes far above m
    const XBigInt e = random.Number(i % 4 == 0 ? 1 : 6);
    XBigInt fast(base);
    fast.PowMod(e, m);
    ASSERT_EQ(HexOf(fast), HexOf(orvo::reference::PowMod(base, e, m))) << HexOf(base) << " ^ " << HexOf(e) << " mod "
                                                                       << HexOf(m);
  }
}

TEST(ModularTest, InverseTimesValueIsOne) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  int parities[2] = {0, 0};
  for (int i = 0; i < 400; ++i) {
    const XBigInt m = random.Number(16);
    const XBigInt x = random.Number(12);
    XBigInt g(x);
    if (m.Compare(XBigInt(1)) <= 0 || g.Gcd(m).Compare(XBigInt(1)) != 0) continue;
    XBigInt inverse(x);
    inverse.InverseMod(m);
    ASSERT_LT(inverse.Compare(m), 0);
    XBigInt check(inverse);
    XBigInt reduced(x);
    ASSERT_EQ(HexOf(check.MulMod(reduced, m)), "01") << HexOf(x) << " mod " << HexOf(m);
    ++parities[inverse.Compare(x) < 0];
  }
  EXPECT_GT(parities[0] + parities[1], 100);
}

TEST(PrimesTest, NextPrimeMatchesThePythonReference) {
  for (const auto& record : orvo::test::ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "NextPrime") continue;
    const XBigInt start = BigHex(record.Get("Start"));
    EXPECT_EQ(HexOf(orvo::NextPrime(start)), record.Get("Prime")) << record.Where();
  }
}

TEST(PrimesTest, FermatPseudoprimesAreAccepted) {
  // 841217653 = 20509 * 41017 passes the base-2 test and has no factor up to 20393.
  EXPECT_EQ(HexOf(orvo::NextPrime(BigHex("3223f675"))), "3223f675");
  EXPECT_EQ(HexOf(orvo::reference::NextPrime(BigHex("3223f675"))), "3223f675");
  EXPECT_FALSE(orvo::IsStrongProbablePrime(BigHex("3223f675")));
  EXPECT_TRUE(orvo::IsStrongProbablePrime(BigHex("3223f68d")));  // 841217677 is prime
  // A Carmichael number (6k+1)(12k+1)(18k+1) with k = 3451 passes every Fermat
  // test but not the strong one.
  EXPECT_EQ(HexOf(orvo::NextPrime(BigHex("3072c3838729"))), "3072c3838729");
  EXPECT_FALSE(orvo::IsStrongProbablePrime(BigHex("3072c3838729")));
}

TEST(PrimesTest, FastSearchMatchesTheReference) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  for (int i = 0; i < 40; ++i) {
    const XBigInt start = random.Bytes(i < 10 ? 3 + i : 8 + 2 * (i % 8));
    ASSERT_EQ(HexOf(orvo::NextPrime(start)), HexOf(orvo::reference::NextPrime(start))) << HexOf(start);
  }
  // Small values: the whole table lies below the first accepted candidate.
  for (const uint16_t v : {0, 1, 2, 3, 1000, 20392, 20393}) {
    EXPECT_EQ(HexOf(orvo::NextPrime(XBigInt(v))), v <= 1 ? "01" : "4faf") << v;
  }
}

TEST(PrimesTest, StrongTestSeparatesPrimesFromComposites) {
  // Primes from the search (which uses only the base-2 Fermat test) whose
  // strong test must also pass, and products of them, which must fail.
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  for (int i = 0; i < 6; ++i) {
    const XBigInt p = orvo::NextPrime(random.Bytes(16));
    const XBigInt q = orvo::NextPrime(random.Bytes(12));
    EXPECT_TRUE(orvo::IsStrongProbablePrime(p)) << HexOf(p);
    XBigInt n(p);
    EXPECT_FALSE(orvo::IsStrongProbablePrime(n.Multiply(q))) << HexOf(n);
  }
}

}  // namespace
