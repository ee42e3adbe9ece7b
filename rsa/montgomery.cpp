#include "rsa/montgomery.h"

#include <algorithm>
#include <cstring>

#include "base/wipe.h"
#include "rsa/wide_uint.h"

namespace orvo {

namespace {

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

uint64_t LimbMask(unsigned bits) { return bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

size_t WordsFor(size_t limbs, unsigned bits) { return (limbs * bits + 63) / 64; }

// The n limbs of `bits` bits of the words, least significant first.
void SplitWords(uint64_t* limbs, size_t n, const uint64_t* words, size_t wordCount, unsigned bits) {
  const uint64_t mask = LimbMask(bits);
  for (size_t k = 0; k < n; ++k) {
    const size_t pos = k * bits, w = pos / 64, off = pos % 64;
    uint64_t v = w < wordCount ? words[w] >> off : 0;
    if (off + bits > 64 && w + 1 < wordCount) v |= words[w + 1] << (64 - off);
    limbs[k] = v & mask;
  }
}

// The words of n limbs of `bits` bits, cut to wordCount words.
void JoinLimbs(uint64_t* words, size_t wordCount, const uint64_t* limbs, size_t n, unsigned bits) {
  for (size_t w = 0; w < wordCount; ++w) words[w] = 0;
  for (size_t k = 0; k < n; ++k) {
    const size_t pos = k * bits, w = pos / 64, off = pos % 64;
    if (w < wordCount) words[w] |= limbs[k] << off;
    if (off + bits > 64 && w + 1 < wordCount) words[w + 1] |= limbs[k] >> (64 - off);
  }
}

// r = a - b over n limbs of `bits` bits; returns the borrow out.
uint64_t SubtractLimbs(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n, unsigned bits) {
  const uint64_t mask = LimbMask(bits);
  uint64_t borrow = 0;
  for (size_t j = 0; j < n; ++j) {
    const u128 d = static_cast<u128>(a[j]) - b[j] - borrow;
    r[j] = static_cast<uint64_t>(d) & mask;
    borrow = static_cast<uint64_t>(d >> 64) & 1;
  }
  return borrow;
}

// The limbs of x (least significant first), zero-extended or cut to n limbs.
void LoadLimbs(uint64_t* out, const XBigInt& x, size_t n, unsigned bits) {
  if (bits == 64) {
    LoadWords(out, x, n);
    return;
  }
  const size_t words = WordsFor(n, bits);
  ScratchWords w(words);
  LoadWords(w.data(), x, words);
  SplitWords(out, n, w.data(), words, bits);
}

XBigInt BigIntOfLimbs(const uint64_t* limbs, size_t n, unsigned bits) {
  if (bits == 64) return BigIntOf(limbs, n);
  const size_t words = WordsFor(n, bits);
  ScratchWords w(words);
  JoinLimbs(w.data(), words, limbs, n, bits);
  return BigIntOf(w.data(), words);
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
    : modulus_(m),
      kernel_(MontKernelFor(MontPathFor(m.BitLength()), m.BitLength())),
      n_(kernel_.limbs),
      bits_(kernel_.limbBits),
      m_(n_),
      m0inv_(0),
      one_(n_) {
  LoadLimbs(m_.data(), m, n_, bits_);
  // Newton's iteration doubles the correct low bits of m^-1 mod 2^64 each
  // step, starting from 3 bits (m * m = 1 mod 8 for odd m).
  uint64_t inverse = m_[0];
  for (int i = 0; i < 5; ++i) inverse *= 2 - m_[0] * inverse;
  m0inv_ = (0 - inverse) & LimbMask(bits_);

  // R mod m: 2^(b-1) < m for the bit length b, then double up to R.
  const uint32_t b = m.BitLength();
  one_[(b - 1) / bits_] = uint64_t{1} << ((b - 1) % bits_);
  for (size_t i = b - 1; i < bits_ * n_; ++i) Double(one_.data());
  if (forPow) {
    // R^2 mod m is R in Montgomery form: 2^(log2 R) by square-and-double.
    r2_ = SecretWords(n_);
    const uint32_t exponent = static_cast<uint32_t>(bits_ * n_);
    const uint16_t e[2] = {static_cast<uint16_t>(exponent), static_cast<uint16_t>(exponent >> 16)};
    XBigInt bigExponent;
    bigExponent.AssignLimbs(e, 2);
    PowerOfTwo(r2_.data(), bigExponent);
  }
}

void MontgomeryModulus::Mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
  kernel_.mul(r, a, b, m_.data(), m0inv_, n_);
}

void MontgomeryModulus::Sqr(uint64_t* r, const uint64_t* a) const { kernel_.sqr(r, a, m_.data(), m0inv_, n_); }

void MontgomeryModulus::Double(uint64_t* a) const {
  const uint64_t mask = LimbMask(bits_);
  uint64_t carry = 0;
  for (size_t j = 0; j < n_; ++j) {
    const uint64_t next = a[j] >> (bits_ - 1);
    a[j] = ((a[j] << 1) | carry) & mask;
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
  if (subtract) SubtractLimbs(a, a, m_.data(), n_, bits_);
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
  LoadLimbs(w.data(), x, n_, bits_);
  Mul(r, w.data(), r2_.data());
}

XBigInt MontgomeryModulus::FromMontgomery(const uint64_t* a) const {
  ScratchWords work(2 * n_);
  uint64_t* unit = work.data();
  uint64_t* r = work.data() + n_;
  unit[0] = 1;
  Mul(r, a, unit);
  return BigIntOfLimbs(r, n_, bits_);
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

void MontgomeryModulus::ToMontgomeryReduced(uint64_t* r, const XBigInt& x) const {
  if (x.Compare(modulus_) >= 0) {
    XBigInt reduced(x);
    ToMontgomery(r, reduced.Modulo(modulus_));
  } else {
    ToMontgomery(r, x);
  }
}

XBigInt MontgomeryModulus::Pow(const XBigInt& base, const XBigInt& e) const {
  if (e.IsZero()) return XBigInt(1);
  ScratchWords work(2 * n_);
  uint64_t* b = work.data();
  uint64_t* acc = work.data() + n_;
  ToMontgomeryReduced(b, base);
  PowWords(acc, b, e);
  return FromMontgomery(acc);
}

namespace {

constexpr uint32_t kPairWindow = 5;
constexpr size_t kPairEntries = size_t{1} << kPairWindow;

// The kPairWindow bits of e from bit `first` up.
uint32_t WindowOf(const XBigInt& e, uint32_t first) {
  uint32_t v = 0;
  for (uint32_t bit = 0; bit < kPairWindow; ++bit) v |= static_cast<uint32_t>(e.Bit(first + bit)) << bit;
  return v;
}

// out = table entry `index` of n words, by the kernel's gather or a masked
// pass over every entry.
void SelectEntry(const MontKernel& kernel, uint64_t* out, const uint64_t* table, uint32_t index, size_t n) {
  if (kernel.gather != nullptr) {
    kernel.gather(out, table, kPairEntries, index, n);
    return;
  }
  for (size_t j = 0; j < n; ++j) out[j] = 0;
  for (uint32_t k = 0; k < kPairEntries; ++k) {
    const uint64_t mask = 0 - ((static_cast<uint64_t>(k ^ index) - 1) >> 63);  // all ones when k == index
    const uint64_t* entry = table + k * n;
    for (size_t j = 0; j < n; ++j) out[j] |= entry[j] & mask;
  }
}

}  // namespace

void MontgomeryModulus::PowPair(const MontgomeryModulus& m1, const XBigInt& x1, const XBigInt& e1, XBigInt& r1,
                                const MontgomeryModulus& m2, const XBigInt& x2, const XBigInt& e2, XBigInt& r2) {
  const MontKernel& k = m1.kernel_;
  if (k.mulPair == nullptr || m2.kernel_.mulPair != k.mulPair || m1.n_ != m2.n_) {
    r1 = m1.Pow(x1, e1);
    r2 = m2.Pow(x2, e2);
    return;
  }
  const size_t n = m1.n_;
  const MontgomeryModulus* mods[2] = {&m1, &m2};
  // Per modulus: the table of x^0 .. x^31, the accumulator and a selected entry.
  ScratchWords work(2 * (kPairEntries + 2) * n);
  uint64_t* table[2];
  uint64_t* acc[2];
  uint64_t* entry[2];
  for (int i = 0; i < 2; ++i) {
    table[i] = work.data() + i * (kPairEntries + 2) * n;
    acc[i] = table[i] + kPairEntries * n;
    entry[i] = acc[i] + n;
    std::memcpy(table[i], mods[i]->one_.data(), sizeof(uint64_t) * n);
    mods[i]->ToMontgomeryReduced(table[i] + n, i == 0 ? x1 : x2);
  }
  MontPair pair{};
  for (int i = 0; i < 2; ++i) {
    pair.m[i] = mods[i]->m_.data();
    pair.m0inv[i] = mods[i]->m0inv_;
  }
  const auto multiply = [&](uint64_t* const r[2], const uint64_t* const a[2], const uint64_t* const b[2]) {
    for (int i = 0; i < 2; ++i) {
      pair.r[i] = r[i];
      pair.a[i] = a[i];
      pair.b[i] = b[i];
    }
    k.mulPair(pair, n);
  };
  for (size_t e = 2; e < kPairEntries; ++e) {
    uint64_t* const r[2] = {table[0] + e * n, table[1] + e * n};
    const uint64_t* const a[2] = {table[0] + (e - 1) * n, table[1] + (e - 1) * n};
    const uint64_t* const b[2] = {table[0] + n, table[1] + n};
    multiply(r, a, b);
  }
  const uint32_t bits = std::max({m1.modulus_.BitLength(), m2.modulus_.BitLength(), e1.BitLength(), e2.BitLength()});
  const uint32_t windows = (bits + kPairWindow - 1) / kPairWindow;
  const XBigInt* exponents[2] = {&e1, &e2};
  for (int i = 0; i < 2; ++i) {
    SelectEntry(k, acc[i], table[i], WindowOf(*exponents[i], (windows - 1) * kPairWindow), n);
  }
  for (uint32_t w = windows - 1; w-- > 0;) {
    for (uint32_t s = 0; s < kPairWindow; ++s) multiply(acc, acc, acc);
    for (int i = 0; i < 2; ++i) SelectEntry(k, entry[i], table[i], WindowOf(*exponents[i], w * kPairWindow), n);
    multiply(acc, acc, entry);
  }
  r1 = m1.FromMontgomery(acc[0]);
  r2 = m2.FromMontgomery(acc[1]);
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
  SubtractLimbs(minusOne.data(), m_.data(), one_.data(), n_, bits_);
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
