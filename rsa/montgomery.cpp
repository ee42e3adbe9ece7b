#include "rsa/montgomery.h"

#include <algorithm>
#include <cstring>

#include "base/wipe.h"
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

// t (n + 1 words, t < 2m) reduced to r < m by one conditional subtraction.
inline void FinalSubtract(uint64_t* r, const uint64_t* t, const uint64_t* m, size_t n) {
  bool subtract = t[n] != 0;
  if (!subtract) {
    subtract = true;  // t == m also subtracts
    for (size_t j = n; j-- > 0;) {
      if (t[j] != m[j]) {
        subtract = t[j] > m[j];
        break;
      }
    }
  }
  if (subtract) {
    uint64_t borrow = 0;
    for (size_t j = 0; j < n; ++j) {
      const u128 d = static_cast<u128>(t[j]) - m[j] - borrow;
      r[j] = static_cast<uint64_t>(d);
      borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
  } else {
    for (size_t j = 0; j < n; ++j) r[j] = t[j];
  }
}

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
  FinalSubtract(r, t, m, n);
}

template <size_t kN>
void MontMulFixed(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t) {
  MontProductImpl<kN, false>(r, a, b, m, m0inv, kN);
}

void MontMulAny(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t n) {
  MontProductImpl<MontgomeryModulus::kMaxWords, false>(r, a, b, m, m0inv, n);
}

template <size_t kN>
void MontSqrFixed(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv, size_t) {
  MontProductImpl<kN, true>(r, a, a, m, m0inv, kN);
}

void MontSqrAny(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv, size_t n) {
  MontProductImpl<MontgomeryModulus::kMaxWords, true>(r, a, a, m, m0inv, n);
}

// Scratch words on the stack when few are needed, else on the heap; wiped
// when they die. Spares the public-key operations most of their allocations.
class ScratchWords {
 public:
  explicit ScratchWords(size_t n) : n_(n) {
    if (n > kInline) heap_.resize(n);
    p_ = n > kInline ? heap_.data() : inline_;
    for (size_t i = 0; i < n; ++i) p_[i] = 0;
  }
  ScratchWords(const ScratchWords&) = delete;
  ScratchWords& operator=(const ScratchWords&) = delete;
  ~ScratchWords() { SecureWipe(p_, sizeof(uint64_t) * n_); }
  uint64_t* data() { return p_; }

 private:
  static constexpr size_t kInline = 160;
  uint64_t inline_[kInline];
  std::vector<uint64_t> heap_;
  uint64_t* p_;
  size_t n_;
};

// The low n words of x, least significant first.
void LoadWords(uint64_t* out, const XBigInt& x, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = 0;
  const uint32_t limbs = std::min<uint32_t>(x.Count(), static_cast<uint32_t>(4 * n));
  for (uint32_t i = 0; i < limbs; ++i) out[i / 4] |= uint64_t{x.Limb(i)} << (16 * (i % 4));
}

bool EqualWords(const uint64_t* a, const uint64_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

SecretWords::~SecretWords() {
  if (!words_.empty()) SecureWipe(words_.data(), sizeof(uint64_t) * words_.size());
}

SecretWords WordsOf(const XBigInt& x, size_t n) {
  SecretWords w(n);
  LoadWords(w.data(), x, n);
  return w;
}

XBigInt BigIntOf(const uint64_t* words, size_t n) {
  constexpr size_t kStackLimbs = 256;
  uint16_t stackLimbs[kStackLimbs];
  std::vector<uint16_t> heapLimbs(4 * n > kStackLimbs ? 4 * n : 0);
  uint16_t* limbs = 4 * n > kStackLimbs ? heapLimbs.data() : stackLimbs;
  for (size_t i = 0; i < 4 * n; ++i) limbs[i] = static_cast<uint16_t>(words[i / 4] >> (16 * (i % 4)));
  XBigInt x;
  x.AssignLimbs(limbs, static_cast<uint32_t>(4 * n));
  SecureWipe(limbs, sizeof(uint16_t) * 4 * n);
  return x;
}

MontgomeryModulus::MontgomeryModulus(const XBigInt& m, bool forPow)
    : modulus_(m), n_((m.BitLength() + 63) / 64), m_(WordsOf(m, n_)), m0inv_(0), one_(n_) {
  switch (n_) {
    case 4: mul_ = MontMulFixed<4>; sqr_ = MontSqrFixed<4>; break;
    case 8: mul_ = MontMulFixed<8>; sqr_ = MontSqrFixed<8>; break;
    case 16: mul_ = MontMulFixed<16>; sqr_ = MontSqrFixed<16>; break;
    case 32: mul_ = MontMulFixed<32>; sqr_ = MontSqrFixed<32>; break;
    default: mul_ = MontMulAny; sqr_ = MontSqrAny; break;
  }
  // Newton's iteration doubles the correct low bits of m^-1 mod 2^64 each
  // step, starting from 3 bits (m * m = 1 mod 8 for odd m).
  uint64_t inverse = m_[0];
  for (int i = 0; i < 5; ++i) inverse *= 2 - m_[0] * inverse;
  m0inv_ = 0 - inverse;

  // R mod m: 2^(b-1) < m for the bit length b, then double up to 2^(64 n).
  const uint32_t b = m.BitLength();
  one_[(b - 1) / 64] = uint64_t{1} << ((b - 1) % 64);
  for (uint32_t i = b - 1; i < 64 * n_; ++i) Double(one_.data());
  if (forPow) {
    // R^2 mod m is R in Montgomery form: 2^(64 n) by square-and-double.
    r2_ = SecretWords(n_);
    const uint32_t exponent = static_cast<uint32_t>(64 * n_);
    const uint16_t e[2] = {static_cast<uint16_t>(exponent), static_cast<uint16_t>(exponent >> 16)};
    XBigInt bigExponent;
    bigExponent.AssignLimbs(e, 2);
    PowerOfTwo(r2_.data(), bigExponent);
  }
}

void MontgomeryModulus::Mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
  mul_(r, a, b, m_.data(), m0inv_, n_);
}

void MontgomeryModulus::Sqr(uint64_t* r, const uint64_t* a) const { sqr_(r, a, m_.data(), m0inv_, n_); }

void MontgomeryModulus::Double(uint64_t* a) const {
  uint64_t carry = 0;
  for (size_t j = 0; j < n_; ++j) {
    const uint64_t next = a[j] >> 63;
    a[j] = (a[j] << 1) | carry;
    carry = next;
  }
  bool subtract = carry != 0;
  if (!subtract) {
    subtract = true;
    for (size_t j = n_; j-- > 0;) {
      if (a[j] != m_[j]) {
        subtract = a[j] > m_[j];
        break;
      }
    }
  }
  if (subtract) {
    uint64_t borrow = 0;
    for (size_t j = 0; j < n_; ++j) {
      const u128 d = static_cast<u128>(a[j]) - m_[j] - borrow;
      a[j] = static_cast<uint64_t>(d);
      borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
  }
}

void MontgomeryModulus::PowerOfTwo(uint64_t* acc, const XBigInt& e) const {
  std::memcpy(acc, one_.data(), sizeof(uint64_t) * n_);
  for (uint32_t i = e.BitLength(); i-- > 0;) {
    Sqr(acc, acc);
    if (e.Bit(i)) Double(acc);
  }
}

void MontgomeryModulus::ToMontgomery(uint64_t* r, const XBigInt& x) const {
  ScratchWords w(n_);
  LoadWords(w.data(), x, n_);
  Mul(r, w.data(), r2_.data());
}

XBigInt MontgomeryModulus::FromMontgomery(const uint64_t* a) const {
  ScratchWords work(2 * n_);
  uint64_t* unit = work.data();
  uint64_t* r = work.data() + n_;
  unit[0] = 1;
  Mul(r, a, unit);
  return BigIntOf(r, n_);
}

void MontgomeryModulus::PowWords(uint64_t* acc, const uint64_t* base, const XBigInt& e) const {
  // Left-to-right sliding window over the odd powers base^1, base^3, ...
  const uint32_t bits = e.BitLength();
  const uint32_t w = bits <= 24 ? 1 : bits <= 80 ? 3 : bits <= 240 ? 4 : bits <= 768 ? 5 : 6;
  const size_t entries = size_t{1} << (w - 1);
  ScratchWords table(entries * n_);
  std::memcpy(table.data(), base, sizeof(uint64_t) * n_);
  if (entries > 1) {
    ScratchWords square(n_);
    Sqr(square.data(), base);
    for (size_t k = 1; k < entries; ++k) Mul(table.data() + k * n_, table.data() + (k - 1) * n_, square.data());
  }
  bool started = false;
  int64_t i = static_cast<int64_t>(bits) - 1;
  while (i >= 0) {
    if (!e.Bit(static_cast<uint32_t>(i))) {
      if (started) Sqr(acc, acc);
      --i;
      continue;
    }
    int64_t j = std::max<int64_t>(i - static_cast<int64_t>(w) + 1, 0);
    while (!e.Bit(static_cast<uint32_t>(j))) ++j;
    uint32_t value = 0;
    for (int64_t k = i; k >= j; --k) value = (value << 1) | (e.Bit(static_cast<uint32_t>(k)) ? 1 : 0);
    const uint64_t* power = table.data() + ((value - 1) / 2) * n_;
    if (started) {
      for (int64_t k = i; k >= j; --k) Sqr(acc, acc);
      Mul(acc, acc, power);
    } else {
      std::memcpy(acc, power, sizeof(uint64_t) * n_);
      started = true;
    }
    i = j - 1;
  }
}

XBigInt MontgomeryModulus::Pow(const XBigInt& base, const XBigInt& e) const {
  if (e.IsZero()) return XBigInt(1);
  ScratchWords work(2 * n_);
  uint64_t* b = work.data();
  uint64_t* acc = work.data() + n_;
  if (base.Compare(modulus_) >= 0) {
    XBigInt reduced(base);
    ToMontgomery(b, reduced.Modulo(modulus_));
  } else {
    ToMontgomery(b, base);
  }
  PowWords(acc, b, e);
  return FromMontgomery(acc);
}

bool MontgomeryModulus::FermatBase2() const {
  XBigInt exponent(modulus_);
  exponent.Subtract(XBigInt(1));
  SecretWords acc(n_);
  PowerOfTwo(acc.data(), exponent);
  return EqualWords(acc.data(), one_.data(), n_);
}

bool MontgomeryModulus::StrongProbablePrime(const XBigInt& a) const {
  // m - 1 = 2^s * d with d odd.
  XBigInt d(modulus_);
  d.Subtract(XBigInt(1));
  uint32_t s = 0;
  while (!d.Bit(s)) ++s;
  // d >>= s, limb-wise.
  std::vector<uint16_t> limbs(d.Count());
  for (uint32_t i = 0; i < d.Count(); ++i) {
    uint32_t v = 0;
    for (uint32_t bit = 0; bit < 16; ++bit) v |= (d.Bit(16 * i + bit + s) ? 1u : 0u) << bit;
    limbs[i] = static_cast<uint16_t>(v);
  }
  d.AssignLimbs(limbs.data(), static_cast<uint32_t>(limbs.size()));
  SecureWipe(limbs.data(), sizeof(uint16_t) * limbs.size());

  SecretWords minusOne(n_);  // m - 1 in Montgomery form is m - R mod m
  uint64_t borrow = 0;
  for (size_t j = 0; j < n_; ++j) {
    const u128 diff = static_cast<u128>(m_[j]) - one_[j] - borrow;
    minusOne[j] = static_cast<uint64_t>(diff);
    borrow = static_cast<uint64_t>(diff >> 64) & 1;
  }
  XBigInt reduced(a);
  reduced.Modulo(modulus_);
  SecretWords base(n_);
  ToMontgomery(base.data(), reduced);
  SecretWords x(n_);
  PowWords(x.data(), base.data(), d);
  if (EqualWords(x.data(), one_.data(), n_) || EqualWords(x.data(), minusOne.data(), n_)) return true;
  for (uint32_t r = 1; r < s; ++r) {
    Sqr(x.data(), x.data());
    if (EqualWords(x.data(), minusOne.data(), n_)) return true;
    if (EqualWords(x.data(), one_.data(), n_)) return false;
  }
  return false;
}

}  // namespace orvo
