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
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#endif

namespace orvo::mont_detail {

#if defined(ORVO_MONT_IFMA)

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr uint64_t kMask52 = (uint64_t{1} << 52) - 1;

// Adds (subtract = false) or subtracts one in the lanes of `lanes`' bits, and
// keeps each lane's low 52 bits.
template <int kV>
__attribute__((target("avx512f,avx512ifma"), always_inline)) inline void StepLanes(__m512i* x, uint64_t lanes,
                                                                                   bool subtract) {
  const __m512i one = _mm512_set1_epi64(1), mask = _mm512_set1_epi64(static_cast<long long>(kMask52));
  for (int v = 0; v < kV; ++v) {
    const __mmask8 k = static_cast<__mmask8>(lanes >> (8 * v));
    x[v] = subtract ? _mm512_mask_sub_epi64(x[v], k, x[v], one) : _mm512_mask_add_epi64(x[v], k, x[v], one);
    x[v] = _mm512_and_si512(x[v], mask);
  }
}

// The lanes that a carry (or borrow) reaches: those right above a lane that
// generates one, and the runs of lanes that pass one on above those.
inline uint64_t CarriedLanes(uint64_t generate, uint64_t propagate) {
  return ((generate << 1) + propagate) ^ propagate;
}

// r = acc (lanes below 2^64, value below 2m for m of n limbs) normalised to
// 52-bit limbs and reduced under m, in the registers: each lane's bits above
// 52 move one lane up in one step, which leaves at most a single carry per
// lane, resolved for all lanes at once from the lanes that generate one
// (above 2^52 - 1) and those that pass one on (exactly 2^52 - 1); the
// subtraction of m resolves its borrows the same way, and its sign chooses
// between t and t - m by a mask.
template <int kV>
__attribute__((target("avx512f,avx512ifma"), always_inline)) inline void Finish(uint64_t* r, const __m512i* acc,
                                                                                const __m512i* vm, size_t n) {
  const __m512i zero = _mm512_setzero_si512(), mask = _mm512_set1_epi64(static_cast<long long>(kMask52));
  __m512i t[kV], d[kV];
  for (int v = 0; v < kV; ++v) {
    const __m512i carry = _mm512_srli_epi64(acc[v], 52);
    const __m512i below = v > 0 ? _mm512_srli_epi64(acc[v - 1], 52) : zero;
    t[v] = _mm512_add_epi64(_mm512_and_si512(acc[v], mask), _mm512_alignr_epi64(carry, below, 7));
  }
  // Lane j of the registers is bit j of these masks.
  uint64_t generate = 0, propagate = 0;
  for (int v = 0; v < kV; ++v) {
    generate |= static_cast<uint64_t>(_mm512_cmpgt_epu64_mask(t[v], mask)) << (8 * v);
    propagate |= static_cast<uint64_t>(_mm512_cmpeq_epu64_mask(t[v], mask)) << (8 * v);
  }
  StepLanes<kV>(t, CarriedLanes(generate, propagate), false);
  generate = propagate = 0;
  for (int v = 0; v < kV; ++v) {
    d[v] = _mm512_sub_epi64(t[v], vm[v]);
    generate |= static_cast<uint64_t>(_mm512_cmplt_epi64_mask(d[v], zero)) << (8 * v);
    propagate |= static_cast<uint64_t>(_mm512_cmpeq_epi64_mask(d[v], zero)) << (8 * v);
  }
  const uint64_t borrows = CarriedLanes(generate, propagate & ((uint64_t{1} << n) - 1));
  StepLanes<kV>(d, borrows, true);
  const __mmask8 keep = static_cast<__mmask8>(0 - ((borrows >> n) & 1));  // t < m: keep t
  const __mmask8 top = static_cast<__mmask8>(n % 8 == 0 ? 0xFF : (1u << (n % 8)) - 1);
  for (int v = 0; v < kV; ++v) {
    _mm512_mask_storeu_epi64(r + 8 * v, v == kV - 1 ? top : static_cast<__mmask8>(0xFF),
                             _mm512_mask_blend_epi64(keep, d[v], t[v]));
  }
}

// r = a * b * 2^(-52 n) mod m for n limbs in kV registers (8 kV - 8 < n <=
// 8 kV), for kWays independent sets of operands at once, step by step in
// lockstep so that one set's multiplications fill the other's waiting time.
// Each step adds a * b[i] and y * m, y chosen so that the low limb becomes a
// multiple of 2^52, and moves the sum down one limb: the low halves of the
// products go in before the move, the high halves (one limb up) after it.
// Limbs grow past 52 bits between steps (at most by 2^54 a step, well within
// 64 bits for n <= 40); Finish normalises them and takes the sum (below 2m)
// under m. The low limb, from which the quotient digit y comes, is kept in a
// general register and built from lane 1 as it stood a step earlier plus this
// step's products in scalar form: the path from one y to the next runs
// through a few scalar multiplications and never waits for the vector
// multiply-adds.
template <int kV, int kWays>
__attribute__((target("avx512f,avx512ifma"), always_inline)) inline void IfmaMulWays(
    uint64_t* const* r, const uint64_t* const* a, const uint64_t* const* b, const uint64_t* const* m,
    const uint64_t* m0inv, size_t n) {
  const __mmask8 top = static_cast<__mmask8>(n % 8 == 0 ? 0xFF : (1u << (n % 8)) - 1);
  const __m512i zero = _mm512_setzero_si512();
  __m512i va[kWays][kV], vm[kWays][kV], acc[kWays][kV];
  // The low two limbs of a and m, and the low limb of the sum, which a
  // general register holds (the register's own low lane is left behind).
  uint64_t a0[kWays], a1[kWays], m0[kWays], m1[kWays], low[kWays];
  for (int w = 0; w < kWays; ++w) {
    for (int v = 0; v < kV; ++v) {
      const __mmask8 k = v == kV - 1 ? top : static_cast<__mmask8>(0xFF);
      va[w][v] = _mm512_maskz_loadu_epi64(k, a[w] + 8 * v);
      vm[w][v] = _mm512_maskz_loadu_epi64(k, m[w] + 8 * v);
      acc[w][v] = zero;
    }
    a0[w] = a[w][0];
    m0[w] = m[w][0];
    a1[w] = n > 1 ? a[w][1] : 0;
    m1[w] = n > 1 ? m[w][1] : 0;
    low[w] = 0;
  }
  for (size_t i = 0; i < n; ++i) {
    for (int w = 0; w < kWays; ++w) {
      const uint64_t bi = b[w][i];
      // The next low limb starts from lane 1 as it stands before this step,
      // so that the registers' step is off the general registers' path.
      const uint64_t next = static_cast<uint64_t>(_mm_extract_epi64(_mm512_castsi512_si128(acc[w][0]), 1));
      const u128 ab = static_cast<u128>(a0[w]) * bi;
      const uint64_t t0 = low[w] + (static_cast<uint64_t>(ab) & kMask52);
      const uint64_t y = (t0 * m0inv[w]) & kMask52;
      const u128 my = static_cast<u128>(m0[w]) * y;
      const uint64_t carry = (t0 + (static_cast<uint64_t>(my) & kMask52)) >> 52;  // t0 + my is 0 mod 2^52
      low[w] = next + ((a1[w] * bi) & kMask52) + ((m1[w] * y) & kMask52) + static_cast<uint64_t>(ab >> 52) +
               static_cast<uint64_t>(my >> 52) + carry;
      const __m512i vb = _mm512_set1_epi64(static_cast<long long>(bi));
      const __m512i vy = _mm512_set1_epi64(static_cast<long long>(y));
      __m512i high[kV];
      for (int v = 0; v < kV; ++v) {
        acc[w][v] = _mm512_madd52lo_epu64(acc[w][v], va[w][v], vb);
        high[v] = _mm512_madd52hi_epu64(zero, va[w][v], vb);
      }
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
  for (int w = 0; w < kWays; ++w) acc[w][0] = _mm512_mask_set1_epi64(acc[w][0], 1, static_cast<long long>(low[w]));
  for (int w = 0; w < kWays; ++w) Finish<kV>(r[w], acc[w], vm[w], n);
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

template <int kV>
__attribute__((target("avx512f,avx512ifma"))) void IfmaFinish(uint64_t* r, const uint64_t* lanes, const uint64_t* m,
                                                               size_t n) {
  const __mmask8 top = static_cast<__mmask8>(n % 8 == 0 ? 0xFF : (1u << (n % 8)) - 1);
  __m512i acc[kV], vm[kV];
  for (int v = 0; v < kV; ++v) {
    const __mmask8 k = v == kV - 1 ? top : static_cast<__mmask8>(0xFF);
    acc[v] = _mm512_maskz_loadu_epi64(k, lanes + 8 * v);
    vm[v] = _mm512_maskz_loadu_epi64(k, m + 8 * v);
  }
  Finish<kV>(r, acc, vm, n);
}

}  // namespace

#if ORVO_TEST_HOOKS
bool IfmaFinishForTesting(uint64_t* r, const uint64_t* lanes, const uint64_t* m, size_t n) {
  if (!MontPathUsable(MontPath::kIfma) || n == 0 || n > 40) return false;
  switch ((n + 7) / 8) {
    case 1: IfmaFinish<1>(r, lanes, m, n); break;
    case 2: IfmaFinish<2>(r, lanes, m, n); break;
    case 3: IfmaFinish<3>(r, lanes, m, n); break;
    case 4: IfmaFinish<4>(r, lanes, m, n); break;
    default: IfmaFinish<5>(r, lanes, m, n); break;
  }
  return true;
}
#endif

bool IfmaCompiled() { return true; }

template <int kV>
void Use(MontKernel& k) {
  k.mul = IfmaMul<kV>;
  k.sqr = IfmaSqr<kV>;
  k.mulPair = IfmaMulPair<kV>;
  k.gather = IfmaGather<kV>;
}

void IfmaSelect(MontKernel& k) {
  switch ((k.limbs + 7) / 8) {
    case 1: Use<1>(k); break;
    case 2: Use<2>(k); break;
    case 3: Use<3>(k); break;
    case 4: Use<4>(k); break;
    default: Use<5>(k); break;
  }
}

#else

bool IfmaCompiled() { return false; }
void IfmaSelect(MontKernel&) {}
#if ORVO_TEST_HOOKS
bool IfmaFinishForTesting(uint64_t*, const uint64_t*, const uint64_t*, size_t) { return false; }
#endif

#endif

}  // namespace orvo::mont_detail
