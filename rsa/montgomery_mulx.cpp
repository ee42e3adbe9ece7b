// The mulx Montgomery kernel (montgomery_kernels.h): 64-bit words in the
// separated operand scanning form (Koc, Acar and Kaliski, 1996), each row's
// products formed with MULX and summed with one ADC chain, and each row added
// in with another. Built with the target attribute, so the rest of the build
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

// row[0..n] = x * y for the n words of x: one carry chain.
template <size_t kN>
__attribute__((target("bmi2,adx"), always_inline)) inline void Row(u64* row, const u64* x, u64 y, size_t n) {
  const size_t count = kN != 0 ? kN : n;
  u64 high = 0;
  unsigned char c = 0;
  for (size_t j = 0; j < count; ++j) {
    u64 h;
    const u64 low = _mulx_u64(x[j], y, &h);
    c = _addcarry_u64(c, low, high, &row[j]);
    high = h;
  }
  row[count] = high + c;  // x * y < 2^(64 (n + 1)): no carry out
}

// t[0..n+1] += row[0..n]: one carry chain, ending in t[n + 1].
template <size_t kN>
__attribute__((target("bmi2,adx"), always_inline)) inline void AddRow(u64* t, const u64* row, size_t n) {
  const size_t count = kN != 0 ? kN : n;
  unsigned char c = 0;
  for (size_t j = 0; j <= count; ++j) c = _addcarry_u64(c, t[j], row[j], &t[j]);
  t[count + 1] += c;
}

// r = a * b * R^-1 mod m: for each word b[i], t += a * b[i] 2^(64 i), then
// t += q * m 2^(64 i) with q clearing word i; the result is t's words n to
// 2n, below 2m.
template <size_t kN>
__attribute__((target("bmi2,adx"))) void MulxMul(uint64_t* r, const uint64_t* a, const uint64_t* b,
                                                 const uint64_t* m, uint64_t m0inv, size_t n) {
  constexpr size_t kMax = kN != 0 ? kN : 1024;
  const size_t count = kN != 0 ? kN : n;
  u64 t[2 * kMax + 2];
  u64 row[kMax + 1];
  for (size_t j = 0; j < 2 * count + 2; ++j) t[j] = 0;
  const u64* ua = reinterpret_cast<const u64*>(a);
  const u64* um = reinterpret_cast<const u64*>(m);
  for (size_t i = 0; i < count; ++i) {
    Row<kN>(row, ua, b[i], count);
    AddRow<kN>(t + i, row, count);
    Row<kN>(row, um, t[i] * m0inv, count);
    AddRow<kN>(t + i, row, count);
  }
  const u64* high = t + count;
  // Subtract m once, keeping t when that borrows.
  u64 d[kMax];
  unsigned char borrow = 0;
  for (size_t j = 0; j < count; ++j) borrow = _subborrow_u64(borrow, high[j], um[j], &d[j]);
  u64 top;
  borrow = _subborrow_u64(borrow, high[count], 0, &top);
  const u64 keep = 0 - static_cast<u64>(borrow);  // all ones when t < m
  for (size_t j = 0; j < count; ++j) r[j] = (high[j] & keep) | (d[j] & ~keep);
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
