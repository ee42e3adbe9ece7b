// MD5, SHA-1 and CRC-32 fed piece by piece: every record of the pattern
// vectors (Python's hashlib and zlib), fed in pieces whose sizes straddle the
// 64-byte block (held bytes completed, whole blocks passed through, a block
// finished exactly), must give the record's digest; a stream starts anew
// after Finish.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/sha1.h"
#include "tests/digest/digest_inputs.h"

namespace {

using namespace orvo::test;

const size_t kPieces[] = {1, 63, 64, 65, 7, 200, 57, 128};

// Feeds `data` to update(pointer, n) in pieces cycling through kPieces,
// starting at `first`.
template <typename Update>
void FeedInPieces(const XBlob& data, size_t first, Update update) {
  size_t at = 0;
  for (size_t i = first; at < data.size; ++i) {
    const size_t n = std::min<size_t>(kPieces[i % std::size(kPieces)], data.size - at);
    update(data.data + at, n);
    at += n;
  }
}

std::string Crc32Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

TEST(DigestStreamTest, PiecesGiveTheDigestOfTheWhole) {
  const auto records = ReadVecFile("digest/pattern_digests.vec");
  ASSERT_GT(records.size(), 200u);
  orvo::Md5Stream md5;
  orvo::Sha1Stream sha1;
  for (const VecRecord& r : records) {
    const XBlob data = Pattern(static_cast<uint32_t>(r.Number("Len")));
    for (size_t first = 0; first < 3; ++first) {
      SCOPED_TRACE(testing::Message() << r.Where() << ", pieces from " << first);
      uint32_t reg = 0xFFFFFFFFu;
      FeedInPieces(data, first, [&](const uint8_t* p, size_t n) {
        md5.Update(p, n);
        sha1.Update(p, n);
        CRC32Update(reg, p, n);
      });
      EXPECT_EQ(ToHexText(md5.Finish()), r.Get("MD5"));  // each Finish starts the stream anew
      EXPECT_EQ(ToHexText(sha1.Finish()), r.Get("SHA1"));
      EXPECT_EQ(Crc32Hex(~reg), r.Get("CRC32"));
    }
  }
}

}  // namespace
