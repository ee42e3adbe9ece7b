// ExpandSeed against an independent implementation over Python's hashlib, and
// the relations that hold by construction.
#include "digest/seed_expansion.h"

#include <gtest/gtest.h>

#include "digest/md5.h"
#include "digest/sha1.h"
#include "tests/digest/digest_inputs.h"

namespace {

using namespace orvo::test;

TEST(SeedExpansionTest, Vectors) {
  const auto records = ReadVecFile("digest/expand_seed.vec");
  ASSERT_GT(records.size(), 50u);
  for (const VecRecord& r : records) {
    const XBlob seed = r.Blob("Seed");
    const XBlob before(seed);
    const XBlob out = ExpandSeed(seed, static_cast<uint32_t>(r.Number("N")));
    EXPECT_EQ(ToHexText(out), r.Get("Out")) << r.Where();
    EXPECT_TRUE(seed.Equals(before)) << r.Where();
  }
}

TEST(SeedExpansionTest, StreamIsMd5ThenSha1OfTheSeedThenOfEverythingSoFar) {
  for (const XBlob& seed : {XBlob(0), BlobOf(std::string("seed")), Pattern(100)}) {
    const XBlob md5 = MD5Digest(seed);
    const XBlob sha1 = SHA1Digest(seed);
    XBlob both(md5);
    both.Insert(sha1, both.size);
    EXPECT_TRUE(ExpandSeed(seed, 16).Equals(md5));
    EXPECT_TRUE(ExpandSeed(seed, 36).Equals(both));
    XBlob prefix = ExpandSeed(seed, 56);
    prefix.size = 20;
    EXPECT_TRUE(ExpandSeed(seed, 20).Equals(prefix));
    EXPECT_EQ(ExpandSeed(seed, 0).size, 0u);
  }
  // Byte 36 for an empty seed: MD5 of MD5("") || SHA-1("").
  XBlob first(MD5Digest(XBlob(0)));
  first.Insert(SHA1Digest(XBlob(0)), first.size);
  const XBlob out = ExpandSeed(XBlob(0), 37);
  ASSERT_EQ(out.size, 37u);
  EXPECT_EQ(out.data[36], MD5Digest(first).data[0]);
}

}  // namespace
