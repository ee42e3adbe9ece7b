// The portable Montgomery kernel and the choice among the kernels
// (montgomery_kernels.h).
#include "rsa/montgomery_kernels.h"

#include "base/constant_time.h"
#include "base/cpu_features.h"
#include "rsa/wide_uint.h"

namespace orvo {

namespace {

// A three-word column accumulator for product scanning.
struct Accumulator {
  u128 low = 0;       // words 0 and 1
  uint64_t high = 0;  // word 2
  void Add(uint64_t x, uint64_t y) {
    const u128 p = static_cast<u128>(x) * y;
    low += p;
    high += low < p;
  }
  void AddTwice(const Accumulator& other) {
    const u128 doubled = other.low << 1;
    low += doubled;
    high += 2 * other.high + static_cast<uint64_t>(other.low >> 127) + (low < doubled);
  }
  uint64_t ShiftOut() {  // returns word 0 and moves the others down
    const uint64_t w = static_cast<uint64_t>(low);
    low = (low >> 64) | (static_cast<u128>(high) << 64);
    high = 0;
    return w;
  }
};

// t (n + 1 words, t < 2m) reduced to r < m by one subtraction whose result
// is kept or dropped by a mask: no branch and no address depends on t.
template <size_t kMax>
inline void FinalSubtract(uint64_t* r, const uint64_t* t, const uint64_t* m, size_t n) {
  uint64_t d[kMax];
  uint64_t borrow = 0;
  for (size_t j = 0; j < n; ++j) {
    const u128 diff = static_cast<u128>(t[j]) - m[j] - borrow;
    d[j] = static_cast<uint64_t>(diff);
    borrow = static_cast<uint64_t>(diff >> 64) & 1;
  }
  // t < m exactly when the subtraction borrows and t has no word n.
  const uint64_t keep = ct::MaskOfBit(borrow & ~t[n]);
  for (size_t j = 0; j < n; ++j) r[j] = ct::Select(keep, t[j], d[j]);
}

constexpr size_t kMaxWords = 1024;

// r = a * b * R^-1 mod m for a, b < m, in the finely integrated product
// scanning form: column i of the product a * b and of q * m is summed at once,
// and the quotient word q[i] is chosen to clear the column's low word. With
// kMax the exact word count the loops unroll; the generic instance takes n at
// run time. r may alias a or b. When `square` is set, b is a and each column
// sums its symmetric products once and doubles them.
template <size_t kMax, bool kSquare>
inline void MontProductImpl(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv,
                            size_t n) {
  uint64_t q[kMax];
  uint64_t t[kMax + 1];
  Accumulator acc;
  for (size_t i = 0; i < 2 * n - 1; ++i) {
    const size_t first = i < n ? 0 : i - n + 1;
    if (kSquare) {
      Accumulator half;
      for (size_t j = first; 2 * j < i; ++j) half.Add(a[j], a[i - j]);
      acc.AddTwice(half);
      if (i % 2 == 0) acc.Add(a[i / 2], a[i / 2]);
    } else {
      for (size_t j = first; j <= i && j < n; ++j) acc.Add(a[j], b[i - j]);
    }
    const size_t last = i < n ? i : n;  // q[j] for j < last pairs with m[i - j]
    for (size_t j = first; j < last; ++j) acc.Add(q[j], m[i - j]);
    if (i < n) {
      q[i] = static_cast<uint64_t>(acc.low) * m0inv;
      acc.Add(q[i], m[0]);
      acc.ShiftOut();
    } else {
      t[i - n] = acc.ShiftOut();
    }
  }
  t[n - 1] = acc.ShiftOut();
  t[n] = static_cast<uint64_t>(acc.low);
  FinalSubtract<kMax>(r, t, m, n);
}

template <size_t kN>
void MontMulFixed(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t) {
  MontProductImpl<kN, false>(r, a, b, m, m0inv, kN);
}

void MontMulAny(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t n) {
  MontProductImpl<kMaxWords, false>(r, a, b, m, m0inv, n);
}

template <size_t kN>
void MontSqrFixed(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv, size_t) {
  MontProductImpl<kN, true>(r, a, a, m, m0inv, kN);
}

void MontSqrAny(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv, size_t n) {
  MontProductImpl<kMaxWords, true>(r, a, a, m, m0inv, n);
}

void PortableSelect(MontKernel& k) {
  switch (k.limbs) {
    case 4: k.mul = MontMulFixed<4>; k.sqr = MontSqrFixed<4>; break;
    case 8: k.mul = MontMulFixed<8>; k.sqr = MontSqrFixed<8>; break;
    case 16: k.mul = MontMulFixed<16>; k.sqr = MontSqrFixed<16>; break;
    case 32: k.mul = MontMulFixed<32>; k.sqr = MontSqrFixed<32>; break;
    default: k.mul = MontMulAny; k.sqr = MontSqrAny; break;
  }
}

}  // namespace

bool MontPathUsable(MontPath path) {
  const cpu::Features f = cpu::Usable();
  switch (path) {
    case MontPath::kPortable: return true;
    case MontPath::kMulx: return mont_detail::MulxCompiled() && f.bmi2 && f.adx;
    case MontPath::kIfma: return mont_detail::IfmaCompiled() && f.avx512ifma;
  }
  return false;
}

MontPath MontPathFor(uint32_t bits) {
  // Below 257 bits the ifma kernel's fixed cost outweighs its multipliers.
  // The mulx kernel, as GCC compiles its carry chains, trails the portable
  // one at every length measured (bench/README.md: the 2048-bit private
  // operation takes about 1.4 times as long on it): it is never chosen, until
  // it is rewritten.
  if (bits <= kIfmaMaxBits && bits > 256 && MontPathUsable(MontPath::kIfma)) return MontPath::kIfma;
  return MontPath::kPortable;
}

const char* MontPathName(MontPath path) {
  switch (path) {
    case MontPath::kPortable: return "portable";
    case MontPath::kMulx: return "mulx";
    case MontPath::kIfma: return "ifma";
  }
  return "portable";
}

MontKernel MontKernelFor(MontPath path, uint32_t bits) {
  MontKernel k;
  k.path = path;
  if (path == MontPath::kIfma) {
    // One spare bit: a product before its final subtraction (below 2m) fits.
    k.limbBits = 52;
    k.limbs = (bits + 1 + 51) / 52;
    mont_detail::IfmaSelect(k);
    return k;
  }
  k.limbBits = 64;
  k.limbs = (bits + 63) / 64;
  if (path == MontPath::kMulx) {
    mont_detail::MulxSelect(k);
  } else {
    PortableSelect(k);
  }
  return k;
}

}  // namespace orvo
