// SHA1Digest against FIPS 180-1's examples (including one million "a") and
// against Python's hashlib at every length around the padding boundaries and
// on long inputs, on both the portable and the SHA-extensions path.
#include "digest/sha1.h"

#include <gtest/gtest.h>

#include "base/test_hooks.h"
#include "tests/digest/digest_inputs.h"

#include <optional>

namespace {

using namespace orvo::test;

class Sha1Test : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && !orvo::Sha1HardwareAvailable()) GTEST_SKIP() << "no SHA extensions on this processor";
    path_.emplace(orvo::cpu::Feature::kSha, GetParam());
  }
  void TearDown() override { path_.reset(); }

 private:
  std::optional<orvo::cpu::ScopedFeatureOverride> path_;
};

TEST_P(Sha1Test, Fips180_1Examples) {
  const auto records = ReadVecFile("digest/sha1_fips180_1.vec");
  ASSERT_EQ(records.size(), 3u);
  for (const VecRecord& r : records) {
    EXPECT_EQ(ToHexText(SHA1Digest(RepeatedText(r))), r.Get("SHA1")) << r.Where();
  }
}

TEST_P(Sha1Test, EveryLengthAndLongInputs) {
  const auto records = ReadVecFile("digest/pattern_digests.vec");
  ASSERT_GT(records.size(), 200u);
  for (const VecRecord& r : records) {
    const XBlob input = Pattern(static_cast<uint32_t>(r.Number("Len")));
    EXPECT_EQ(ToHexText(SHA1Digest(input)), r.Get("SHA1")) << r.Where();
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Sha1Test, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "ShaExtensions" : "Portable"; });

}  // namespace
