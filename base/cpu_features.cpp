#include "base/cpu_features.h"

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
    f.avx2 = (b & bit_AVX2) != 0;
  }
#endif
  return f;
}

}  // namespace

const Features& Detected() {
  static const Features features = Detect();
  return features;
}

}  // namespace orvo::cpu
