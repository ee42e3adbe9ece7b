// The SHA-1 compression function (FIPS 180-1) with the x86 SHA extensions.
// SHA1RNDS4 runs four steps with the function and constant of its immediate
// (0: Ch/0x5A827999, 1: Parity/0x6ED9EBA1, 2: Maj/0x8F1BBCDC, 3:
// Parity/0xCA62C1D6); SHA1NEXTE adds S^30 of the previous A to the next four
// words; SHA1MSG1 and SHA1MSG2 compute the schedule four words at a time.
// The instructions are selected per function, so the file needs no flags;
// SHA1Digest calls it only where the processor reports them.
#include "digest/sha1_compress.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define ORVO_SHANI __attribute__((target("sha,sse4.1,ssse3")))

namespace orvo::sha1 {

namespace {

// Four steps on words m: e holds W + E for the first of them.
template <int kFunction>
ORVO_SHANI inline __m128i Rounds4(__m128i abcd, __m128i e) {
  return _mm_sha1rnds4_epu32(abcd, e, kFunction);
}

// W[t..t+3] from the previous sixteen words, oldest first in m0.
ORVO_SHANI inline __m128i Schedule(__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
  return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m0, m1), m2), m3);
}

}  // namespace

// One group of four steps: E for them is S^30 of the A from before the previous
// group plus the words m; `prev` then keeps the A of this group's start.
#define SHA1_GROUP(function, m)                     \
  e = _mm_sha1nexte_epu32(prev, m);                 \
  prev = abcd;                                      \
  abcd = Rounds4<function>(abcd, e)

ORVO_SHANI void CompressShaNi(uint32_t h[5], const uint8_t* p, size_t blocks) {
  // The words go in with W[t] in the most significant lane: reverse all 16 bytes.
  const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1b);
  __m128i e0 = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
  for (; blocks != 0; --blocks, p += 64) {
    const __m128i abcdSaved = abcd;
    const __m128i e0Saved = e0;
    __m128i m0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
    __m128i m1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), reverse);
    __m128i m2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), reverse);
    __m128i m3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), reverse);

    // Steps 0 to 3: E itself is added to the first words.
    __m128i e = _mm_add_epi32(e0, m0);
    __m128i prev = abcd;
    abcd = Rounds4<0>(abcd, e);
    SHA1_GROUP(0, m1);
    SHA1_GROUP(0, m2);
    SHA1_GROUP(0, m3);
    m0 = Schedule(m0, m1, m2, m3);  // steps 16..19
    SHA1_GROUP(0, m0);
    m1 = Schedule(m1, m2, m3, m0);
    SHA1_GROUP(1, m1);
    m2 = Schedule(m2, m3, m0, m1);
    SHA1_GROUP(1, m2);
    m3 = Schedule(m3, m0, m1, m2);
    SHA1_GROUP(1, m3);
    m0 = Schedule(m0, m1, m2, m3);
    SHA1_GROUP(1, m0);
    m1 = Schedule(m1, m2, m3, m0);
    SHA1_GROUP(1, m1);
    m2 = Schedule(m2, m3, m0, m1);  // steps 40..43
    SHA1_GROUP(2, m2);
    m3 = Schedule(m3, m0, m1, m2);
    SHA1_GROUP(2, m3);
    m0 = Schedule(m0, m1, m2, m3);
    SHA1_GROUP(2, m0);
    m1 = Schedule(m1, m2, m3, m0);
    SHA1_GROUP(2, m1);
    m2 = Schedule(m2, m3, m0, m1);
    SHA1_GROUP(2, m2);
    m3 = Schedule(m3, m0, m1, m2);  // steps 60..63
    SHA1_GROUP(3, m3);
    m0 = Schedule(m0, m1, m2, m3);
    SHA1_GROUP(3, m0);
    m1 = Schedule(m1, m2, m3, m0);
    SHA1_GROUP(3, m1);
    m2 = Schedule(m2, m3, m0, m1);
    SHA1_GROUP(3, m2);
    m3 = Schedule(m3, m0, m1, m2);
    SHA1_GROUP(3, m3);

    // E of the next block: S^30 of the A before the last group, plus the saved E.
    e0 = _mm_sha1nexte_epu32(prev, e0Saved);
    abcd = _mm_add_epi32(abcd, abcdSaved);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1b));
  h[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef SHA1_GROUP

}  // namespace orvo::sha1

#else

#include "base/cpu_features.h"

namespace orvo::sha1 {

// Processors without the extensions never select this path.
void CompressShaNi(uint32_t*, const uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }

}  // namespace orvo::sha1

#endif
