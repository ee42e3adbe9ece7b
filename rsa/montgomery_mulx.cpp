// The mulx Montgomery kernel (montgomery_kernels.h): 64-bit words in the
// coarsely integrated operand scanning form (Koc, Acar and Kaliski, 1996),
// each row's products formed with MULX, which leaves the flags alone, and
// summed with ADC. Built with the target attribute, so the rest of the build
// keeps its baseline instruction set; taken only where the processor has BMI2
// and ADX.
#include "rsa/montgomery_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define ORVO_MONT_MULX 1
#endif

namespace orvo::mont_detail {

#if defined(ORVO_MONT_MULX)

namespace {

using u64 = unsigned long long;

// t[0..n] += x * y for the n words of x; returns the carry out of t[n].
template <size_t kN>
__attribute__((target("bmi2,adx"), always_inline)) inline u64 AddRow(u64* t, const u64* x, u64 y, size_t n) {
  const size_t count = kN != 0 ? kN : n;
  u64 high = 0;
  unsigned char c1 = 0, c2 = 0;
  for (size_t j = 0; j < count; ++j) {
    u64 h;
    const u64 low = _mulx_u64(x[j], y, &h);
    c1 = _addcarry_u64(c1, t[j], low, &t[j]);
    c2 = _addcarryx_u64(c2, t[j], high, &t[j]);
    high = h;
  }
  c1 = _addcarry_u64(c1, t[count], high, &t[count]);
  c2 = _addcarryx_u64(c2, t[count], 0, &t[count]);
  return static_cast<u64>(c1) + c2;  // at most 1 for the sums it is used on
}

// r = a * b * R^-1 mod m: for each word of b, t += a * b[i], then
// t += q * m with q clearing t's low word, and t moves down a word.
template <size_t kN>
__attribute__((target("bmi2,adx"))) void MulxMul(uint64_t* r, const uint64_t* a, const uint64_t* b,
                                                 const uint64_t* m, uint64_t m0inv, size_t n) {
  constexpr size_t kMax = kN != 0 ? kN : 1024;
  const size_t count = kN != 0 ? kN : n;
  u64 t[kMax + 2];
  for (size_t j = 0; j < count + 2; ++j) t[j] = 0;
  const u64* ua = reinterpret_cast<const u64*>(a);
  const u64* um = reinterpret_cast<const u64*>(m);
  for (size_t i = 0; i < count; ++i) {
    t[count + 1] += AddRow<kN>(t, ua, b[i], count);
    const u64 q = t[0] * m0inv;
    t[count + 1] += AddRow<kN>(t, um, q, count);
    for (size_t j = 0; j <= count; ++j) t[j] = t[j + 1];
    t[count + 1] = 0;
  }
  // t < 2m: subtract m once, keeping t when that borrows.
  u64 d[kMax];
  unsigned char borrow = 0;
  for (size_t j = 0; j < count; ++j) borrow = _subborrow_u64(borrow, t[j], um[j], &d[j]);
  borrow = _subborrow_u64(borrow, t[count], 0, &t[count]);
  const u64 keep = 0 - static_cast<u64>(borrow);  // all ones when t < m
  for (size_t j = 0; j < count; ++j) r[j] = (t[j] & keep) | (d[j] & ~keep);
}

template <size_t kN>
__attribute__((target("bmi2,adx"))) void MulxSqr(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv,
                                                 size_t n) {
  MulxMul<kN>(r, a, a, m, m0inv, n);
}

}  // namespace

bool MulxCompiled() { return true; }

void MulxSelect(MontKernel& k) {
  switch (k.limbs) {
    case 4: k.mul = MulxMul<4>; k.sqr = MulxSqr<4>; break;
    case 8: k.mul = MulxMul<8>; k.sqr = MulxSqr<8>; break;
    case 16: k.mul = MulxMul<16>; k.sqr = MulxSqr<16>; break;
    case 32: k.mul = MulxMul<32>; k.sqr = MulxSqr<32>; break;
    default: k.mul = MulxMul<0>; k.sqr = MulxSqr<0>; break;
  }
}

#else

bool MulxCompiled() { return false; }
void MulxSelect(MontKernel&) {}

#endif

}  // namespace orvo::mont_detail
