// The codec module's own rules, beyond what its surfaces show
// (text_codecs_surfaces.cpp): fault positions count across pieces, and the
// framing's 4-byte number reads missing bytes as zero.
#include "base/text_codecs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using orvo::codec::Fault;

TEST(TextCodecs, FaultPositionsCountEveryPieceFed) {
  orvo::codec::HexDecoder hex({orvo::codec::WhiteSpace::kCLocale, false});
  uint8_t out[8];
  EXPECT_EQ(hex.Feed("0a 1", 4, out), 1u);
  EXPECT_EQ(hex.Feed(L"b z", 3, out), 1u);  // "b" closes the pair; " " is then between pairs
  EXPECT_EQ(hex.fault().kind, Fault::kBadCharacter);
  EXPECT_EQ(hex.fault().position, 6u);
  EXPECT_EQ(hex.Feed("00", 2, out), 0u);  // nothing after a fault
  EXPECT_FALSE(hex.Finish());

  orvo::codec::Base64Decoder base64({orvo::codec::WhiteSpace::kBlankTabNewline, false, true});
  EXPECT_EQ(base64.Feed("Zm9v", 4, out), 3u);
  EXPECT_EQ(base64.Feed("Zh", 2, out), 0u);
  EXPECT_EQ(base64.Finish(out), 0u);  // unpadded, but its padding bits are not zero
  EXPECT_EQ(base64.fault().kind, Fault::kNonZeroPaddingBits);
  EXPECT_EQ(base64.fault().position, 5u);
}

TEST(TextCodecs, LongsReadMissingBytesAsZero) {
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  const struct {
    size_t available;
    uint32_t value;
    size_t taken;
  } cases[] = {{0, 0, 0}, {1, 0x12000000, 1}, {3, 0x12345600, 3}, {4, 0x12345678, 4}, {5, 0x12345678, 4}};
  for (const auto& c : cases) {
    size_t taken = 99;
    EXPECT_EQ(orvo::codec::LoadLongZeroFilled(bytes, c.available, &taken), c.value) << c.available;
    EXPECT_EQ(taken, c.taken) << c.available;
  }
}

}  // namespace
