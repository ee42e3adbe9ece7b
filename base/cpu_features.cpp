#include "base/cpu_features.h"

#include <atomic>

#include "base/test_hooks.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace orvo::cpu {

namespace {

Features Detect() {
  Features f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
    f.ssse3 = (c & bit_SSSE3) != 0;
    f.sse41 = (c & bit_SSE4_1) != 0;
    f.pclmulqdq = (c & bit_PCLMUL) != 0;
    f.aesni = (c & bit_AES) != 0;
  }
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
    f.sha = (b & bit_SHA) != 0;
    f.bmi1 = (b & bit_BMI) != 0;
  }
#endif
  return f;
}

// The features hidden from the hardware paths, a set of Feature bits.
std::atomic<unsigned> g_hidden{0};

bool Shown(unsigned hidden, Feature feature) { return (hidden & static_cast<unsigned>(feature)) == 0; }

}  // namespace

const Features& Detected() {
  static const Features features = Detect();
  return features;
}

Features Usable() {
  Features f = Detected();
  const unsigned hidden = g_hidden.load(std::memory_order_relaxed);
  f.aesni = f.aesni && Shown(hidden, Feature::kAesNi);
  f.pclmulqdq = f.pclmulqdq && Shown(hidden, Feature::kPclmulqdq);
  f.sse41 = f.sse41 && Shown(hidden, Feature::kSse41);
  f.ssse3 = f.ssse3 && Shown(hidden, Feature::kSsse3);
  f.sha = f.sha && Shown(hidden, Feature::kSha);
  f.bmi1 = f.bmi1 && Shown(hidden, Feature::kBmi1);
  return f;
}

ScopedFeatureOverride::ScopedFeatureOverride(Feature feature, bool usable)
    : previous_(g_hidden.load(std::memory_order_relaxed)) {
  const unsigned bit = static_cast<unsigned>(feature);
  g_hidden.store(usable ? previous_ & ~bit : previous_ | bit, std::memory_order_relaxed);
}

ScopedFeatureOverride::~ScopedFeatureOverride() { g_hidden.store(previous_, std::memory_order_relaxed); }

}  // namespace orvo::cpu
