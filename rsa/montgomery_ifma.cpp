// The ifma Montgomery kernel (montgomery_kernels.h): 52-bit limbs, eight to a
// 512-bit register, multiplied with VPMADD52LUQ/VPMADD52HUQ, after the
// word-by-word Montgomery multiplication in radix 2^52 of S. Gueron and
// V. Krasnov, "Accelerating Big Integer Arithmetic Using Intel IFMA
// Extensions" (ARITH 2016). Built with the target attribute, so the rest of
// the build keeps its baseline instruction set; taken only where the
// processor has AVX-512F and IFMA.
#include "rsa/montgomery_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define ORVO_MONT_IFMA 1
// GCC 12 takes the deliberately undefined pass-through operand inside the
// AVX-512 intrinsics' headers for an uninitialised variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif

namespace orvo::mont_detail {

#if defined(ORVO_MONT_IFMA)

namespace {

constexpr uint64_t kMask52 = (uint64_t{1} << 52) - 1;

// r = a * b * 2^(-52 n) mod m for n limbs in kV registers (8 kV - 8 < n <=
// 8 kV), for kWays independent sets of operands at once, step by step in
// lockstep so that one set's multiplications fill the other's waiting time.
// Each step adds a * b[i] and y * m, y chosen so that the low limb becomes a
// multiple of 2^52, and moves the sum down one limb: the low halves of the
// products go in before the move, the high halves (one limb up) after it.
// Limbs grow past 52 bits between steps (at most by 2^54 a step, well within
// 64 bits for n <= 40); one carry pass at the end normalises them, and one
// subtraction takes the sum (below 2m) under m. The quotient digit y comes
// from the low limb in a general register, the only value that waits for the
// previous step.
template <int kV, int kWays>
__attribute__((target("avx512f,avx512ifma"), always_inline)) inline void IfmaMulWays(
    uint64_t* const* r, const uint64_t* const* a, const uint64_t* const* b, const uint64_t* const* m,
    const uint64_t* m0inv, size_t n) {
  const __mmask8 top = static_cast<__mmask8>(n % 8 == 0 ? 0xFF : (1u << (n % 8)) - 1);
  const __m512i zero = _mm512_setzero_si512();
  __m512i va[kWays][kV], vm[kWays][kV], acc[kWays][kV];
  uint64_t a0[kWays], m0[kWays];
  for (int w = 0; w < kWays; ++w) {
    for (int v = 0; v < kV; ++v) {
      const __mmask8 k = v == kV - 1 ? top : static_cast<__mmask8>(0xFF);
      va[w][v] = _mm512_maskz_loadu_epi64(k, a[w] + 8 * v);
      vm[w][v] = _mm512_maskz_loadu_epi64(k, m[w] + 8 * v);
      acc[w][v] = zero;
    }
    a0[w] = a[w][0];
    m0[w] = m[w][0];
  }
  for (size_t i = 0; i < n; ++i) {
    for (int w = 0; w < kWays; ++w) {
      const uint64_t bi = b[w][i];
      const __m512i vb = _mm512_set1_epi64(static_cast<long long>(bi));
      const uint64_t t0 =
          static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(acc[w][0]))) + ((a0[w] * bi) & kMask52);
      const uint64_t y = (t0 * m0inv[w]) & kMask52;
      const uint64_t carry = (t0 + ((m0[w] * y) & kMask52)) >> 52;
      const __m512i vy = _mm512_set1_epi64(static_cast<long long>(y));
      __m512i high[kV];
      for (int v = 0; v < kV; ++v) {
        acc[w][v] = _mm512_madd52lo_epu64(acc[w][v], va[w][v], vb);
        high[v] = _mm512_madd52hi_epu64(zero, va[w][v], vb);
      }
      high[0] = _mm512_add_epi64(high[0], _mm512_maskz_set1_epi64(1, static_cast<long long>(carry)));
      for (int v = 0; v < kV; ++v) {
        acc[w][v] = _mm512_madd52lo_epu64(acc[w][v], vm[w][v], vy);
        high[v] = _mm512_madd52hi_epu64(high[v], vm[w][v], vy);
      }
      for (int v = 0; v < kV; ++v) {
        const __m512i above = v + 1 < kV ? acc[w][v + 1] : zero;
        acc[w][v] = _mm512_add_epi64(_mm512_alignr_epi64(above, acc[w][v], 1), high[v]);
      }
    }
  }
  for (int w = 0; w < kWays; ++w) {
    alignas(64) uint64_t t[8 * kV];
    for (int v = 0; v < kV; ++v) _mm512_store_si512(reinterpret_cast<__m512i*>(t + 8 * v), acc[w][v]);
    uint64_t c = 0;
    for (size_t j = 0; j < n; ++j) {
      const uint64_t s = t[j] + c;
      t[j] = s & kMask52;
      c = s >> 52;
    }
    // t - m, and t itself when that borrows, chosen without a branch.
    uint64_t d[8 * kV];
    uint64_t borrow = 0;
    for (size_t j = 0; j < n; ++j) {
      const uint64_t s = t[j] - m[w][j] - borrow;
      d[j] = s & kMask52;
      borrow = s >> 63;
    }
    const uint64_t keep = 0 - borrow;  // all ones when t < m
    for (size_t j = 0; j < n; ++j) r[w][j] = (t[j] & keep) | (d[j] & ~keep);
  }
}

template <int kV>
__attribute__((target("avx512f,avx512ifma"))) void IfmaMul(uint64_t* r, const uint64_t* a, const uint64_t* b,
                                                            const uint64_t* m, uint64_t m0inv, size_t n) {
  IfmaMulWays<kV, 1>(&r, &a, &b, &m, &m0inv, n);
}

template <int kV>
__attribute__((target("avx512f,avx512ifma"))) void IfmaSqr(uint64_t* r, const uint64_t* a, const uint64_t* m,
                                                            uint64_t m0inv, size_t n) {
  IfmaMulWays<kV, 1>(&r, &a, &a, &m, &m0inv, n);
}

template <int kV>
__attribute__((target("avx512f,avx512ifma"))) void IfmaMulPair(const MontPair& p, size_t n) {
  uint64_t* const r[2] = {p.r[0], p.r[1]};
  IfmaMulWays<kV, 2>(r, p.a, p.b, p.m, p.m0inv, n);
}

// out = entry `index` of the table of `entries` entries of n limbs: every
// entry is loaded, and the one kept is chosen by a vector comparison.
template <int kV>
__attribute__((target("avx512f,avx512ifma"))) void IfmaGather(uint64_t* out, const uint64_t* table, uint32_t entries,
                                                               uint32_t index, size_t n) {
  const __mmask8 top = static_cast<__mmask8>(n % 8 == 0 ? 0xFF : (1u << (n % 8)) - 1);
  const __m512i wanted = _mm512_set1_epi64(index);
  __m512i kept[kV];
  for (int v = 0; v < kV; ++v) kept[v] = _mm512_setzero_si512();
  for (uint32_t k = 0; k < entries; ++k) {
    const __mmask8 hit = _mm512_cmpeq_epi64_mask(_mm512_set1_epi64(k), wanted);
    for (int v = 0; v < kV; ++v) {
      const __mmask8 lanes = v == kV - 1 ? top : static_cast<__mmask8>(0xFF);
      kept[v] = _mm512_mask_blend_epi64(hit, kept[v], _mm512_maskz_loadu_epi64(lanes, table + k * n + 8 * v));
    }
  }
  for (int v = 0; v < kV; ++v) {
    _mm512_mask_storeu_epi64(out + 8 * v, v == kV - 1 ? top : static_cast<__mmask8>(0xFF), kept[v]);
  }
}

}  // namespace

bool IfmaCompiled() { return true; }

void IfmaSelect(MontKernel& k) {
  switch ((k.limbs + 7) / 8) {
    case 1: k.mul = IfmaMul<1>; k.sqr = IfmaSqr<1>; k.mulPair = IfmaMulPair<1>;
      k.gather = IfmaGather<1>;
      break;
    case 2: k.mul = IfmaMul<2>; k.sqr = IfmaSqr<2>; k.mulPair = IfmaMulPair<2>;
      k.gather = IfmaGather<2>;
      break;
    case 3: k.mul = IfmaMul<3>; k.sqr = IfmaSqr<3>; k.mulPair = IfmaMulPair<3>;
      k.gather = IfmaGather<3>;
      break;
    case 4: k.mul = IfmaMul<4>; k.sqr = IfmaSqr<4>; k.mulPair = IfmaMulPair<4>;
      k.gather = IfmaGather<4>;
      break;
    default: k.mul = IfmaMul<5>; k.sqr = IfmaSqr<5>; k.mulPair = IfmaMulPair<5>;
      k.gather = IfmaGather<5>;
      break;
  }
}

#else

bool IfmaCompiled() { return false; }
void IfmaSelect(MontKernel&) {}

#endif

}  // namespace orvo::mont_detail
