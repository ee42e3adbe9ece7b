// cpu::ScopedFeatureOverride: hides a feature from Usable() while it lives,
// never shows one the processor lacks, and restores what it found, nested too.
// cpu::WithoutNamed: the list ORVOCRYPTO_HIDE_CPU_FEATURES takes.
#include "base/cpu_features.h"

#include <gtest/gtest.h>

#include <string>

#include "base/test_hooks.h"

namespace {

using orvo::cpu::Detected;
using orvo::cpu::Feature;
using orvo::cpu::ScopedFeatureOverride;
using orvo::cpu::Usable;

TEST(ScopedFeatureOverride, HidesShowsAndRestoresNested) {
  ASSERT_EQ(Usable().pclmulqdq, Detected().pclmulqdq);
  {
    const ScopedFeatureOverride hidden(Feature::kPclmulqdq);
    EXPECT_FALSE(Usable().pclmulqdq);
    EXPECT_EQ(Usable().sha, Detected().sha) << "only the named feature is hidden";
    {
      const ScopedFeatureOverride shown(Feature::kPclmulqdq, true);
      EXPECT_EQ(Usable().pclmulqdq, Detected().pclmulqdq) << "shown again, but only where the processor has it";
      const ScopedFeatureOverride sha(Feature::kSha);
      EXPECT_FALSE(Usable().sha);
    }
    EXPECT_FALSE(Usable().pclmulqdq) << "the inner override restores the outer one's setting";
    EXPECT_EQ(Usable().sha, Detected().sha);
  }
  EXPECT_EQ(Usable().pclmulqdq, Detected().pclmulqdq);
}

}  // namespace

namespace {

using orvo::cpu::Features;
using orvo::cpu::WithoutNamed;

// Every field, in the order of the struct, as a string of 0s and 1s.
std::string Fields(const Features& f) {
  std::string s;
  for (bool b : {f.aesni, f.pclmulqdq, f.sse41, f.ssse3, f.sha, f.avx2, f.vaes, f.avx512f, f.bmi2, f.adx,
                 f.avx512ifma, f.bmi1}) {
    s += b ? '1' : '0';
  }
  return s;
}

Features All() {
  Features f;
  f.aesni = f.pclmulqdq = f.sse41 = f.ssse3 = f.sha = f.avx2 = f.vaes = f.avx512f = true;
  f.bmi2 = f.adx = f.avx512ifma = f.bmi1 = true;
  return f;
}

// ORVOCRYPTO_HIDE_CPU_FEATURES's list applied to a processor with every
// feature. The expected fields, in order: aesni pclmulqdq sse41 ssse3 sha
// avx2 vaes avx512f bmi2 adx avx512ifma bmi1.
// The list as a static object of another file sees it, while static objects
// are still being built: a benchmark's registration asks Detected() then, and
// the names must already be known (this file's objects are built before the
// library's).
const Features kHiddenDuringStaticInitialisation = WithoutNamed(All(), "vaes,avx512f");

TEST(WithoutNamed, WorksDuringStaticInitialisation) {
  EXPECT_FALSE(kHiddenDuringStaticInitialisation.vaes);
  EXPECT_FALSE(kHiddenDuringStaticInitialisation.avx512f);
  EXPECT_TRUE(kHiddenDuringStaticInitialisation.aesni);
}

TEST(WithoutNamed, HidesNamedFeaturesAndWhatNeedsThem) {
  const struct {
    const char* names;
    const char* left;
  } kCases[] = {
      {"", "111111111111"},
      {"aes", "011111011111"},  // and the VAES paths, which need AES-NI
      {"pclmulqdq", "101111111111"},
      {"sse4_1", "110111111111"},
      {"ssse3", "111011111111"},
      {"sha_ni", "111101111111"},
      {"avx2", "111110011111"},  // and VAES on ymm and zmm
      {"vaes", "111111011111"},
      {"avx512f", "111111101101"},  // and IFMA
      {"bmi2", "111111110111"},
      {"adx", "111111111011"},
      {"avx512ifma", "111111111101"},
      {"bmi1", "111111111110"},
      {"avx512f,vaes,aes", "011111001101"},
      {"AES,Sha_Ni", "011101011111"},                    // any case
      {" aes ,\tsha_ni\n", "011101011111"},              // white space around names
      {",,aes,,", "011111011111"},                       // empty items
      {"aes,aes", "011111011111"},                       // repeats
      {"vpclmulqdq", "111111111111"},                    // known to /proc/cpuinfo, used by no path
      {"aesni,sha,avx512,sse4.1,sse41", "111111111111"},  // not /proc/cpuinfo's spellings
      {"aes aes,a es,aesx,xaes,aes\x01", "111111111111"},  // a name must be the whole item
      {" , ,", "111111111111"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Fields(WithoutNamed(All(), c.names)), c.left) << "names: \"" << c.names << '"';
  }
}

TEST(WithoutNamed, NeverShowsAndTakesAnyText) {
  // A feature the processor lacks stays absent; hiding only clears.
  EXPECT_EQ(Fields(WithoutNamed(Features{}, "")), "000000000000");
  EXPECT_EQ(Fields(WithoutNamed(Features{}, "aes")), "000000000000");
  // Long values, embedded zeros, bytes above 127: no effect beyond the names.
  const std::string longName(1 << 20, 'a');
  EXPECT_EQ(Fields(WithoutNamed(All(), longName)), "111111111111");
  EXPECT_EQ(Fields(WithoutNamed(All(), longName + ",bmi1," + longName)), "111111111110");
  EXPECT_EQ(Fields(WithoutNamed(All(), std::string("aes\0,bmi1", 9))), "111111111110");
  EXPECT_EQ(Fields(WithoutNamed(All(), std::string(4096, ','))), "111111111111");
  EXPECT_EQ(Fields(WithoutNamed(All(), "\xff\xfe,\x80")), "111111111111");
}

}  // namespace
