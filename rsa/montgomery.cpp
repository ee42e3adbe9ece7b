#include "rsa/montgomery.h"

#include <algorithm>
#include <cstring>

#include "crypto/wipe.h"

namespace orvo {

namespace {

__extension__ typedef unsigned __int128 u128;

// One CIOS Montgomery product r = a * b * R^-1 mod m for a, b < m. With kMax
// the exact word count the loops unroll; the generic instance takes n at run
// time. r may alias a or b.
template <size_t kMax>
inline void MontMulImpl(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv,
                        size_t n) {
  uint64_t t[kMax + 2];
  for (size_t j = 0; j < n + 2; ++j) t[j] = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t bi = b[i];
    uint64_t carry = 0;
    for (size_t j = 0; j < n; ++j) {
      const u128 s = static_cast<u128>(a[j]) * bi + t[j] + carry;
      t[j] = static_cast<uint64_t>(s);
      carry = static_cast<uint64_t>(s >> 64);
    }
    u128 s = static_cast<u128>(t[n]) + carry;
    t[n] = static_cast<uint64_t>(s);
    t[n + 1] = static_cast<uint64_t>(s >> 64);

    const uint64_t mq = t[0] * m0inv;
    s = static_cast<u128>(mq) * m[0] + t[0];
    carry = static_cast<uint64_t>(s >> 64);
    for (size_t j = 1; j < n; ++j) {
      s = static_cast<u128>(mq) * m[j] + t[j] + carry;
      t[j - 1] = static_cast<uint64_t>(s);
      carry = static_cast<uint64_t>(s >> 64);
    }
    s = static_cast<u128>(t[n]) + carry;
    t[n - 1] = static_cast<uint64_t>(s);
    t[n] = t[n + 1] + static_cast<uint64_t>(s >> 64);
  }
  // t < 2m: one conditional subtraction.
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

template <size_t kN>
void MontMulFixed(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t) {
  MontMulImpl<kN>(r, a, b, m, m0inv, kN);
}

void MontMulAny(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t n) {
  MontMulImpl<MontgomeryModulus::kMaxWords>(r, a, b, m, m0inv, n);
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
  const uint32_t limbs = std::min<uint32_t>(x.Count(), static_cast<uint32_t>(4 * n));
  for (uint32_t i = 0; i < limbs; ++i) w[i / 4] |= uint64_t{x.Limb(i)} << (16 * (i % 4));
  return w;
}

XBigInt BigIntOf(const uint64_t* words, size_t n) {
  std::vector<uint16_t> limbs(4 * n);
  for (size_t i = 0; i < 4 * n; ++i) limbs[i] = static_cast<uint16_t>(words[i / 4] >> (16 * (i % 4)));
  XBigInt x;
  x.AssignLimbs(limbs.data(), static_cast<uint32_t>(limbs.size()));
  SecureWipe(limbs.data(), sizeof(uint16_t) * limbs.size());
  return x;
}

MontgomeryModulus::MontgomeryModulus(const XBigInt& m, bool forPow)
    : modulus_(m), n_((m.BitLength() + 63) / 64), m_(WordsOf(m, n_)), m0inv_(0), one_(n_) {
  switch (n_) {
    case 4: mul_ = MontMulFixed<4>; break;
    case 8: mul_ = MontMulFixed<8>; break;
    case 16: mul_ = MontMulFixed<16>; break;
    case 32: mul_ = MontMulFixed<32>; break;
    default: mul_ = MontMulAny; break;
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
    Mul(acc, acc, acc);
    if (e.Bit(i)) Double(acc);
  }
}

void MontgomeryModulus::ToMontgomery(uint64_t* r, const XBigInt& x) const {
  const SecretWords w = WordsOf(x, n_);
  Mul(r, w.data(), r2_.data());
}

XBigInt MontgomeryModulus::FromMontgomery(const uint64_t* a) const {
  SecretWords unit(n_);
  unit[0] = 1;
  SecretWords r(n_);
  Mul(r.data(), a, unit.data());
  return BigIntOf(r.data(), n_);
}

void MontgomeryModulus::PowWords(uint64_t* acc, const uint64_t* base, const XBigInt& e) const {
  // Left-to-right sliding window over the odd powers base^1, base^3, ...
  const uint32_t bits = e.BitLength();
  const uint32_t w = bits <= 24 ? 1 : bits <= 80 ? 3 : bits <= 240 ? 4 : bits <= 768 ? 5 : 6;
  const size_t entries = size_t{1} << (w - 1);
  SecretWords table(entries * n_);
  std::memcpy(table.data(), base, sizeof(uint64_t) * n_);
  if (entries > 1) {
    SecretWords square(n_);
    Mul(square.data(), base, base);
    for (size_t k = 1; k < entries; ++k) Mul(table.data() + k * n_, table.data() + (k - 1) * n_, square.data());
  }
  bool started = false;
  int64_t i = static_cast<int64_t>(bits) - 1;
  while (i >= 0) {
    if (!e.Bit(static_cast<uint32_t>(i))) {
      if (started) Mul(acc, acc, acc);
      --i;
      continue;
    }
    int64_t j = std::max<int64_t>(i - static_cast<int64_t>(w) + 1, 0);
    while (!e.Bit(static_cast<uint32_t>(j))) ++j;
    uint32_t value = 0;
    for (int64_t k = i; k >= j; --k) value = (value << 1) | (e.Bit(static_cast<uint32_t>(k)) ? 1 : 0);
    const uint64_t* power = table.data() + ((value - 1) / 2) * n_;
    if (started) {
      for (int64_t k = i; k >= j; --k) Mul(acc, acc, acc);
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
  XBigInt reduced(base);
  if (reduced.Compare(modulus_) >= 0) reduced.Modulo(modulus_);
  SecretWords b(n_);
  ToMontgomery(b.data(), reduced);
  SecretWords acc(n_);
  PowWords(acc.data(), b.data(), e);
  return FromMontgomery(acc.data());
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
    Mul(x.data(), x.data(), x.data());
    if (EqualWords(x.data(), minusOne.data(), n_)) return true;
    if (EqualWords(x.data(), one_.data(), n_)) return false;
  }
  return false;
}

}  // namespace orvo
