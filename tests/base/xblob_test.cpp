// XBlob: the capacity policy, insertion, big-endian numbers, equality and
// exclusive-or.
#include "base/xblob.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "base/blob_allocator.h"
#include "base/test_hooks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ToHexText;

// A buffer of the given capacity holding `bytes` (size = bytes.size()).
XBlob Filled(uint32_t capacity, const std::string& bytes) {
  XBlob blob(capacity);
  for (const char c : bytes) blob.InsertByte(static_cast<uint8_t>(c), blob.size);
  EXPECT_EQ(blob.capacity, capacity) << "fixture outgrew its capacity";
  return blob;
}

TEST(XBlobTest, FreshAndCopiedBuffers) {
  const XBlob fresh;
  EXPECT_EQ(fresh.capacity, 16u);
  EXPECT_EQ(fresh.size, 0u);

  const XBlob source = Filled(40, "abc");
  const XBlob copy(source);
  EXPECT_EQ(copy.capacity, 40u);
  EXPECT_EQ(copy.size, 3u);
  EXPECT_NE(copy.data, source.data);
  EXPECT_EQ(ToHexText(copy), "616263");
}

TEST(XBlobTest, SingleByteAppendsDoubleAFullBuffer) {
  XBlob blob(4);
  std::vector<uint32_t> capacities;
  for (int i = 0; i < 9; ++i) {
    blob.InsertByte(static_cast<uint8_t>(i), blob.size);
    capacities.push_back(blob.capacity);
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{4, 4, 4, 4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(ToHexText(blob), "000102030405060708");
}

TEST(XBlobTest, InsertGrowsByTheOtherCapacityWhenTheNewSizeReachesItsOwn) {
  struct Case {
    uint32_t ownCapacity;
    std::string own;
    uint32_t otherCapacity;
    std::string other;
    uint32_t expectedCapacity;
  };
  const Case cases[] = {
      {16, "123456789", 16, "abcdef", 16},     // 15 < 16: no growth
      {16, "1234567890", 16, "abcdef", 32},    // 16 reaches 16: + other's capacity
      {16, "1234567890", 100, "abcdef", 116},  // adds the capacity, not the bytes needed
      {16, "", 16, "abc", 16},                 // into an empty buffer: stays
      {4, "", 8, "abcd", 12},                  // other.size == capacity: grows by 8
      {4, "abcd", 16, "", 20},                 // a full buffer grows even for no bytes
  };
  for (const Case& c : cases) {
    XBlob own = Filled(c.ownCapacity, c.own);
    const XBlob other = Filled(c.otherCapacity, c.other);
    own.Insert(other, 0);
    EXPECT_EQ(own.capacity, c.expectedCapacity) << c.own << " + " << c.other;
    EXPECT_EQ(own.size, c.own.size() + c.other.size());
    EXPECT_EQ(ToHexText(own), ToHexText(BlobOf(c.other + c.own)));
    EXPECT_EQ(other.size, c.other.size());
  }
}

TEST(XBlobTest, InsertPlacesTheBytesAtThePositionOrAppends) {
  const struct {
    uint32_t pos;
    const char* expected;
  } cases[] = {{0, "xyabcd"}, {1, "axybcd"}, {3, "abcxyd"}, {4, "abcdxy"}, {5, "abcdxy"}, {0xFFFFFFFF, "abcdxy"}};
  for (const auto& c : cases) {
    XBlob blob = BlobOf(std::string("abcd"));
    blob.Insert(BlobOf(std::string("xy")), c.pos);
    EXPECT_TRUE(blob.Equals(BlobOf(std::string(c.expected)))) << c.pos << ": " << ToHexText(blob);
  }
  XBlob blob = BlobOf(std::string("ab"));
  blob.InsertByte('x', 1);
  blob.InsertByte('y', 99);
  EXPECT_TRUE(blob.Equals(BlobOf(std::string("axby"))));
}

TEST(XBlobTest, InsertOfItselfDoublesTheContent) {
  XBlob blob = BlobOf(std::string("abc"));
  blob.Insert(blob, 1);
  EXPECT_TRUE(blob.Equals(BlobOf(std::string("aabcbc"))));
}

TEST(XBlobTest, GrowAddsExactlyAndKeepsTheBytes) {
  XBlob blob = Filled(5, "hello");
  blob.Grow(3);
  EXPECT_EQ(blob.capacity, 8u);
  EXPECT_TRUE(blob.Equals(BlobOf(std::string("hello"))));
}

TEST(XBlobTest, BulkAppendGrowsLikeSingleByteAppends) {
  for (uint32_t start : {0u, 1u, 3u, 16u}) {
    for (uint32_t n : {0u, 1u, 2u, 15u, 16u, 17u, 100u}) {
      std::vector<uint8_t> bytes(n, 0x5a);
      XBlob bulk(start);
      bulk.Append(bytes.data(), n);
      XBlob single(start);
      for (uint8_t b : bytes) single.InsertByte(b, single.size);
      EXPECT_EQ(bulk.capacity, single.capacity) << start << "/" << n;
      EXPECT_TRUE(bulk.Equals(single));
    }
  }
}

TEST(XBlobTest, LongsAreBigEndian) {
  XBlob blob = BlobOf(std::string("z"));
  blob.InsertLong(0x01020304);
  blob.InsertLong(0xFFFEFDFC);
  EXPECT_EQ(ToHexText(blob), "7a01020304fffefdfc");
  EXPECT_EQ(blob.ExtractLong(1), 0x01020304u);
  EXPECT_EQ(blob.ExtractLong(5), 0xFFFEFDFCu);
  EXPECT_EQ(blob.ExtractLong(2), 0x020304FFu);
}

TEST(XBlobTest, EqualsComparesSizesAndBytesOnly) {
  EXPECT_TRUE(XBlob(0).Equals(XBlob(64)));
  EXPECT_TRUE(Filled(8, "ab").Equals(Filled(100, "ab")));
  EXPECT_FALSE(BlobOf(std::string("ab")).Equals(BlobOf(std::string("abc"))));
  EXPECT_FALSE(BlobOf(std::string("ab")).Equals(BlobOf(std::string("aB"))));
  XBlob reused = BlobOf(std::string("abc"));
  reused.size = 2;  // the bytes past the size do not count
  EXPECT_TRUE(reused.Equals(BlobOf(std::string("ab"))));
}

TEST(XBlobTest, XorExtendsTheShorterOperandWithZeros) {
  const XBlob three = BlobOf(std::vector<uint8_t>{1, 2, 3});
  const XBlob five = BlobOf(std::vector<uint8_t>{1, 1, 1, 9, 8});
  for (const XBlob& x : {XBlob::Xor(three, five), XBlob::Xor(five, three)}) {
    EXPECT_EQ(ToHexText(x), "0003020908");
    EXPECT_EQ(x.capacity, 5u);
  }
  XBlob empty = XBlob::Xor(XBlob(0), XBlob(4));
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.capacity, 0u);
  empty.InsertByte(7, 0);  // doubling a capacity of 0 must still make room
  empty.InsertLong(0x01020304);
  EXPECT_EQ(ToHexText(empty), "0701020304");

  XBlob fromEmpty = XBlob::Xor(XBlob(0), XBlob(0));
  fromEmpty.Insert(BlobOf(std::string("abc")), 0);
  EXPECT_EQ(ToHexText(fromEmpty), "616263");
}

TEST(XBlobTest, MovedFromBufferIsEmptyAndUsable) {
  XBlob a = BlobOf(std::string("abc"));
  XBlob b(std::move(a));
  EXPECT_EQ(ToHexText(b), "616263");
  a.InsertByte(1, 0);  // NOLINT(bugprone-use-after-move): a moved-from buffer is empty, not broken
  EXPECT_EQ(ToHexText(a), "01");
  b = a;
  EXPECT_EQ(ToHexText(b), "01");
}

// When memory runs out, the allocation throws std::bad_alloc before anything
// changes: every growing operation leaves the buffer as it was.
TEST(XBlobTest, RunningOutOfMemoryLeavesTheBufferAsItWas) {
  struct LimitFor {
    LimitFor() { orvo::SetBlobAllocationLimitForTesting(64); }
    ~LimitFor() { orvo::SetBlobAllocationLimitForTesting(0); }
  } limit;
  XBlob blob = Filled(32, std::string(32, 'k'));
  const XBlob big = BlobOf(std::string(40, 'x'));
  const std::vector<uint8_t> more(40, 0x55);
  blob.Append(more.data(), 32);  // doubles to the limit, 64
  ASSERT_EQ(blob.capacity, 64u);
  const std::string before = ToHexText(blob);
  EXPECT_THROW(blob.InsertByte(1, 0), std::bad_alloc);  // would double to 128
  EXPECT_THROW(blob.Insert(big, 3), std::bad_alloc);
  EXPECT_THROW(blob.Append(more.data(), 40), std::bad_alloc);
  EXPECT_THROW(blob.Grow(1), std::bad_alloc);
  EXPECT_THROW(XBlob copy(XBlob(65)), std::bad_alloc);
  EXPECT_EQ(ToHexText(blob), before);
  EXPECT_EQ(blob.capacity, 64u);
}

}  // namespace
