// XBlob: the capacity policy, insertion, big-endian numbers and exclusive-or.
#include "crypto/xblob.h"

#include <gtest/gtest.h>

#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ToHexText;

TEST(XBlobTest, InsertPastTheEndAppends) {
  XBlob blob = BlobOf(std::string("ab"));
  blob.Insert(BlobOf(std::string("cd")), 100);
  EXPECT_EQ(ToHexText(blob), "61626364");
  blob.Insert(BlobOf(std::string("x")), 1);
  EXPECT_EQ(ToHexText(blob), "6178626364");
}

TEST(XBlobTest, LongsAreBigEndian) {
  XBlob blob(16);
  blob.InsertLong(0x01020304);
  EXPECT_EQ(ToHexText(blob), "01020304");
  EXPECT_EQ(blob.ExtractLong(0), 0x01020304u);
}

TEST(XBlobTest, XorExtendsTheShorterOperandWithZeros) {
  const XBlob x = XBlob::Xor(BlobOf(std::vector<uint8_t>{1, 2, 3}), BlobOf(std::vector<uint8_t>{1, 1, 1, 9, 8}));
  EXPECT_EQ(ToHexText(x), "0003020908");
  XBlob empty = XBlob::Xor(XBlob(0), XBlob(4));
  EXPECT_EQ(empty.capacity, 0u);
  empty.InsertByte(7, 0);  // a capacity of 0 must still grow
  EXPECT_EQ(ToHexText(empty), "07");
}

}  // namespace
