// MD5Digest against RFC 1321's test suite and against Python's hashlib at every
// length around the padding boundaries (55, 56, 63, 64, 65 bytes and their
// multiples) and on long inputs.
#include "digest/md5.h"

#include <gtest/gtest.h>

#include "tests/digest/digest_inputs.h"

namespace {

using namespace orvo::test;

TEST(Md5Test, Rfc1321Suite) {
  const auto records = ReadVecFile("digest/md5_rfc1321.vec");
  ASSERT_EQ(records.size(), 7u);
  for (const VecRecord& r : records) {
    const XBlob input = RepeatedText(r);
    const XBlob digest = MD5Digest(input);
    EXPECT_EQ(ToHexText(digest), r.Get("MD5")) << r.Where();
    EXPECT_EQ(input.size, r.Get("Text").size()) << "input changed";
  }
}

TEST(Md5Test, EveryLengthAndLongInputs) {
  const auto records = ReadVecFile("digest/pattern_digests.vec");
  ASSERT_GT(records.size(), 200u);
  for (const VecRecord& r : records) {
    EXPECT_EQ(ToHexText(MD5Digest(Pattern(static_cast<uint32_t>(r.Number("Len"))))), r.Get("MD5")) << r.Where();
  }
}

}  // namespace
