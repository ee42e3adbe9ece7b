// Length-prefixed frames (InsertBlob / ExtractBlob) and hexadecimal text (FromHex).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/alarm.h"
#include "base/xblob.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::FromHexText;
using orvo::test::ToHexText;

XBlob Hex(const std::string& hex) { return BlobOf(FromHexText(hex)); }

TEST(BlobFramingTest, InsertAndExtractOneFrame) {
  XBlob packed(16);
  const XBlob payload = Hex("aabb");
  packed.InsertBlob(payload);
  EXPECT_EQ(ToHexText(packed), "00000002aabb");
  EXPECT_EQ(ToHexText(payload), "aabb");

  XBlob out = Hex("0102030405");  // replaced, not appended to
  EXPECT_EQ(packed.ExtractBlob(0, out), 6u);
  EXPECT_EQ(ToHexText(out), "aabb");
}

TEST(BlobFramingTest, FramesAndNumbersInARow) {
  XBlob packed(16);
  packed.InsertBlob(Hex("01"));
  packed.InsertLong(0xCAFEBABE);
  packed.InsertBlob(XBlob(0));  // an empty frame is a bare zero length
  packed.InsertBlob(Hex("0203"));
  EXPECT_EQ(ToHexText(packed), "0000000101" "cafebabe" "00000000" "000000020203");

  XBlob out;
  uint32_t offset = packed.ExtractBlob(0, out);
  EXPECT_EQ(offset, 5u);
  EXPECT_EQ(ToHexText(out), "01");
  EXPECT_EQ(packed.ExtractLong(offset), 0xCAFEBABEu);
  offset = packed.ExtractBlob(offset + 4, out);
  EXPECT_EQ(offset, 13u);
  EXPECT_EQ(out.size, 0u);
  offset = packed.ExtractBlob(offset, out);
  EXPECT_EQ(offset, packed.size);
  EXPECT_EQ(ToHexText(out), "0203");
}

TEST(BlobFramingTest, InsertBlobOfItself) {
  XBlob blob = Hex("abcd");
  blob.InsertBlob(blob);
  EXPECT_EQ(ToHexText(blob), "abcd00000002abcd");
}

TEST(BlobFramingTest, ExtractBlobIntoItsOwnBuffer) {
  XBlob blob = Hex("00000002aabbcc");
  EXPECT_EQ(blob.ExtractBlob(0, blob), 6u);
  EXPECT_EQ(ToHexText(blob), "aabb");
}

TEST(BlobFramingTest, DamagedFramesRaiseDataIsCorruptedAndCopyNothing) {
  const struct {
    const char* packed;
    uint32_t offset;
    const char* why;
  } cases[] = {
      {"00000003aabb", 0, "length larger than the bytes after it"},
      {"00000002aabb", 7, "offset 1 past the end"},
      {"00000002aabb", 6, "offset at the end: no length bytes"},
      {"00000002aabb", 3, "only 3 bytes left for the length"},
      {"000000", 0, "a buffer shorter than a length"},
      {"", 0, "an empty buffer"},
      {"ffffffffaabb", 0, "a length that would wrap the offset"},
      {"fffffffe", 0, "a length near 2^32 with no bytes after it"},
      {"0000000100000001", 4, "a second frame cut short"},
      {"00", 0xFFFFFFFF, "the largest offset"},
  };
  for (const auto& c : cases) {
    const XBlob packed = Hex(c.packed);
    const XBlob before(packed);
    XBlob out = Hex("0102");
    try {
      packed.ExtractBlob(c.offset, out);
      ADD_FAILURE() << "no alarm: " << c.why;
    } catch (const XAlarm& alarm) {
      EXPECT_STREQ(alarm.message, "Data is corrupted") << c.why;
      ASSERT_NE(alarm.object, nullptr) << c.why;
      EXPECT_STREQ(alarm.object, "XBlob") << c.why;
    }
    EXPECT_EQ(out.size, 0u) << c.why;
    EXPECT_TRUE(packed.Equals(before)) << c.why;
  }
}

TEST(BlobFramingTest, FromHexReadsPairsAndPadsAnOddText) {
  const struct {
    const char* text;
    const char* bytes;
  } cases[] = {
      {"10001", "010001"},  // odd length: read as "010001"
      {"0A0b", "0a0b"},
      {"", ""},
      {"f", "0f"},
      {"00ff7F80", "00ff7f80"},
      // Pairs that hold no hexadecimal number append 00; a pair whose first
      // character is a digit and the second is not appends that digit.
      {"zz", "00"},
      {"g1", "00"},
      {"1g", "01"},
      {"a-", "0a"},
      {"0x", "00"},
      {"12zz34", "120034"},
      {"z", "00"},  // "0z"
      // As "%hx" reads it, white space before the digits is skipped and a
      // sign is taken: " 7" is 7, "-1" is 0xFFFF, of which the low 8 bits go in.
      {" 7", "07"},
      {"-1", "ff"},
      {"+a", "0a"},
  };
  for (const auto& c : cases) {
    XBlob blob = Hex("deadbeef");  // the contents are replaced
    blob.FromHex(c.text);
    EXPECT_EQ(ToHexText(blob), c.bytes) << '"' << c.text << '"';
  }
}

// For every pair of printable characters, FromHex appends what the C library's
// sscanf("%hx") reads from it (low 8 bits), or 00 where it reads no number.
TEST(BlobFramingTest, FromHexAgreesWithTheCLibraryForEveryPrintablePair) {
  for (int a = 0x20; a < 0x7f; ++a) {
    for (int b = 0x20; b < 0x7f; ++b) {
      const char pair[3] = {static_cast<char>(a), static_cast<char>(b), '\0'};
      unsigned short value = 0;
      const int read = std::sscanf(pair, "%hx", &value);
      char expected[3] = "00";
      if (read == 1) std::snprintf(expected, sizeof expected, "%02x", value & 0xffu);
      XBlob blob(4);
      blob.FromHex(pair);
      ASSERT_EQ(ToHexText(blob), expected) << '"' << pair << '"';
    }
  }
}

}  // namespace
