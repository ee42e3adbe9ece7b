// CRC-32 by folding with carry-less multiplication (PCLMULQDQ), after Gopal et
// al., "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ
// Instruction" (Intel, 2009), in the bit-reflected form.
//
// A 128-bit lane X followed, d bits later, by data Y is replaced by
// X_lo * k_lo ^ X_hi * k_hi ^ Y, where the constants are the bit-reflected
// remainders x^(d+32) mod P and x^(d-32) mod P (shifted left by one for the
// reflected product): the result is congruent to X * x^d + Y modulo P, so the
// CRC of the whole input equals the CRC of the last folded lane. Four lanes are
// folded 512 bits ahead, then joined 128 bits at a time; the last lane is left
// to the table code (crc32.cpp), which replaces the usual Barrett reduction.
// The constants are checked by tests against the one-table loop at many lengths.
#include "digest/crc32_fold.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define ORVO_PCLMUL __attribute__((target("pclmul,sse4.1")))

namespace orvo::crc32 {

namespace {

// Reflected x^(4*128+32) mod P << 1 (low) and x^(4*128-32) mod P << 1 (high).
constexpr long long kFold512Lo = 0x154442bd4LL;
constexpr long long kFold512Hi = 0x1c6e41596LL;
// The same for 128 bits: x^(128+32) and x^(128-32).
constexpr long long kFold128Lo = 0x1751997d0LL;
constexpr long long kFold128Hi = 0x0ccaa009eLL;

ORVO_PCLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

ORVO_PCLMUL inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

ORVO_PCLMUL size_t FoldPclmul(uint32_t reg, const uint8_t* p, size_t n, uint8_t folded[16]) {
  const uint8_t* const start = p;
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  p += 64;
  n -= 64;
  const __m128i k512 = _mm_set_epi64x(kFold512Hi, kFold512Lo);
  for (; n >= 64; n -= 64, p += 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
  }
  const __m128i k128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  for (; n >= 16; n -= 16, p += 16) x0 = Fold(x0, k128, Load(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x0);
  return static_cast<size_t>(p - start);
}

}  // namespace orvo::crc32

#else

#include "base/cpu_features.h"

namespace orvo::crc32 {

// Processors without carry-less multiplication never select this path.
size_t FoldPclmul(uint32_t, const uint8_t*, size_t, uint8_t*) { cpu::HardwarePathUnreachable(); }

}  // namespace orvo::crc32

#endif
