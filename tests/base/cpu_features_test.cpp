// cpu::ScopedFeatureOverride: hides a feature from Usable() while it lives,
// never shows one the processor lacks, and restores what it found, nested too.
#include "base/cpu_features.h"

#include <gtest/gtest.h>

#include "base/test_hooks.h"

namespace {

using orvo::cpu::Detected;
using orvo::cpu::Feature;
using orvo::cpu::ScopedFeatureOverride;
using orvo::cpu::Usable;

TEST(ScopedFeatureOverride, HidesShowsAndRestoresNested) {
  ASSERT_EQ(Usable().aesni, Detected().aesni);
  {
    const ScopedFeatureOverride hidden(Feature::kAesNi);
    EXPECT_FALSE(Usable().aesni);
    EXPECT_EQ(Usable().sha, Detected().sha) << "only the named feature is hidden";
    {
      const ScopedFeatureOverride shown(Feature::kAesNi, true);
      EXPECT_EQ(Usable().aesni, Detected().aesni) << "shown again, but only where the processor has it";
      const ScopedFeatureOverride sha(Feature::kSha);
      EXPECT_FALSE(Usable().sha);
    }
    EXPECT_FALSE(Usable().aesni) << "the inner override restores the outer one's setting";
    EXPECT_EQ(Usable().sha, Detected().sha);
  }
  EXPECT_EQ(Usable().aesni, Detected().aesni);
}

}  // namespace
