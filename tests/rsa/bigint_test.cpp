// XBigInt: byte conversion, normal form, the refusals of impossible
// arithmetic, and long division checked by its identities on random operands.
#include "rsa/bigint.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "base/alarm.h"
#include "tests/rsa/rsa_test_support.h"

namespace {

using orvo::test::BigHex;
using orvo::test::BlobOf;
using orvo::test::FromHexText;
using orvo::test::HexOf;
using orvo::test::SeededRandom;
using orvo::test::ToHexText;

TEST(XBigIntTest, FromBytesIsBigEndianAndNormal) {
  struct Case {
    const char* bytes;
    uint32_t count;
    const char* natural;
  } const cases[] = {
      {"000001", 1, "01"}, {"", 1, "00"}, {"ab", 1, "ab"}, {"0100", 1, "0100"},
      {"012345", 2, "012345"}, {"00000000", 1, "00"}, {"ffffffff", 2, "ffffffff"},
  };
  for (const Case& c : cases) {
    XBigInt x;
    x.FromBytes(BlobOf(FromHexText(c.bytes)));
    EXPECT_EQ(x.Count(), c.count) << c.bytes;
    EXPECT_EQ(HexOf(x), c.natural) << c.bytes;
  }
}

TEST(XBigIntTest, ToBytesPadsOrKeepsTheLowBytes) {
  const XBigInt x = BigHex("012345");
  struct Case {
    uint32_t length;
    const char* bytes;
  } const cases[] = {{0, "012345"}, {2, "2345"}, {3, "012345"}, {4, "00012345"}, {5, "0000012345"}, {1, "45"}};
  for (const Case& c : cases) {
    XBlob out(16);
    x.ToBytes(out, c.length);
    EXPECT_EQ(ToHexText(out), c.bytes) << c.length;
  }
  XBlob out(16);
  XBigInt(0xFF).ToBytes(out);
  EXPECT_EQ(ToHexText(out), "ff");
}

TEST(XBigIntTest, CarriesAndBorrowsKeepNormalForm) {
  XBigInt x(0xFFFF);
  x.Add(XBigInt(1));
  ASSERT_EQ(x.Count(), 2u);
  EXPECT_EQ(x.Limb(0), 0);
  EXPECT_EQ(x.Limb(1), 1);
  x.Subtract(XBigInt(1));
  EXPECT_EQ(x.Count(), 1u);
  EXPECT_EQ(x.Limb(0), 0xFFFF);
  EXPECT_EQ(XBigInt(1).BitLength(), 1u);
  EXPECT_EQ(XBigInt(0x8000).BitLength(), 16u);
  EXPECT_EQ(BigHex("010000").BitLength(), 17u);
  EXPECT_EQ(XBigInt(0).BitLength(), 0u);
  EXPECT_EQ(BigHex("1234").Compare(BigHex("1234")), 0);
  XBigInt zero(5);
  EXPECT_TRUE(zero.Multiply(XBigInt(0)).IsZero());
}

TEST(XBigIntTest, ImpossibleArithmeticRaisesAndLeavesTheOperands) {
  XBigInt x = BigHex("123456789a");
  XBigInt remainder(7);
  EXPECT_THROW(x.DivMod(XBigInt(0), &remainder), XCryptoAlarm);
  EXPECT_THROW(x.Modulo(XBigInt(0)), XCryptoAlarm);
  EXPECT_THROW(x.Subtract(BigHex("123456789b")), XCryptoAlarm);
  EXPECT_EQ(HexOf(x), "123456789a");
  EXPECT_EQ(HexOf(remainder), "07");
}

TEST(XBigIntTest, DivisionHoldsItsIdentitiesOnRandomOperands) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  const uint64_t addBacksBefore = orvo::DivisionAddBacks();
  for (int i = 0; i < 60000; ++i) {
    const XBigInt a = random.Number(24);
    const XBigInt b = random.Number(i % 3 == 0 ? 2 : 12);
    XBigInt q(a);
    XBigInt r;
    q.DivMod(b, &r);
    ASSERT_LT(r.Compare(b), 0) << HexOf(a) << " / " << HexOf(b);
    XBigInt back(q);
    back.Multiply(b).Add(r);
    ASSERT_EQ(back.Compare(a), 0) << HexOf(a) << " / " << HexOf(b);
    XBigInt m(a);
    ASSERT_EQ(m.Modulo(b).Compare(r), 0);
    XBigInt d(a);
    ASSERT_EQ(d.Divide(b).Compare(q), 0);
  }
  // Edge limbs make the estimate one too large often enough to be seen.
  EXPECT_GT(orvo::DivisionAddBacks(), addBacksBefore);
}

TEST(XBigIntTest, DivisionEdgeCases) {
  struct Case {
    const char* a;
    const char* b;
    const char* q;
    const char* r;
  } const cases[] = {
      {"1234", "123456", "00", "1234"},             // fewer limbs than the divisor
      {"123456789abcdef0", "01", "123456789abcdef0", "00"},  // f = 32768
      {"123456789abcdef0", "ffff", "123468ad0369", "e259"},
      {"ffffffff", "ffff", "010001", "00"},         // f = 1
      {"abcd", "abcd", "01", "00"},                 // equal counts: one digit
      {"00", "05", "00", "00"},
  };
  for (const Case& c : cases) {
    XBigInt q = BigHex(c.a);
    XBigInt r;
    q.DivMod(BigHex(c.b), &r);
    EXPECT_EQ(HexOf(q), c.q) << c.a << " / " << c.b;
    EXPECT_EQ(HexOf(r), c.r) << c.a << " / " << c.b;
  }
}

TEST(XBigIntTest, CopiesAreDeepAndMovesLeaveZero) {
  XBigInt a = BigHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021222324");
  XBigInt b(a);
  b.Add(XBigInt(1));
  EXPECT_EQ(a.Compare(b), -1);
  XBigInt c(std::move(b));
  EXPECT_TRUE(b.IsZero());
  b = c;
  EXPECT_EQ(b.Compare(c), 0);
}

// A move allocates nothing, so containers move values instead of copying
// them; what it leaves behind takes copies and moves both ways.
TEST(XBigIntTest, MovesNeverThrowAndLeaveAValueThatTakesAssignment) {
  static_assert(std::is_nothrow_move_constructible_v<XBigInt>);
  static_assert(std::is_nothrow_move_assignable_v<XBigInt>);
  XBigInt a = BigHex("0102030405060708090a0b0c0d0e0f10");
  XBigInt b(std::move(a));
  XBigInt fromEmpty(a);  // a copy of the moved-from value
  EXPECT_TRUE(fromEmpty.IsZero());
  XBigInt c(std::move(fromEmpty));
  c = std::move(a);  // moved-from into moved-from
  EXPECT_TRUE(a.IsZero() && c.IsZero());
  a = std::move(b);
  EXPECT_EQ(HexOf(a), "0102030405060708090a0b0c0d0e0f10");
  EXPECT_TRUE(b.IsZero());
  b = a;
  b.Add(XBigInt(1));
  EXPECT_EQ(HexOf(b), "0102030405060708090a0b0c0d0e0f11");
  c = b;
  EXPECT_EQ(c.Compare(b), 0);
}

}  // namespace
