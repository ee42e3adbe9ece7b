#include "rsa/montgomery.h"

#include <algorithm>
#include <cstring>

#include "base/constant_time.h"
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

// r = a + b over n limbs of `bits` bits; returns the carry out.
uint64_t AddLimbs(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n, unsigned bits) {
  const uint64_t mask = LimbMask(bits);
  uint64_t carry = 0;
  for (size_t j = 0; j < n; ++j) {
    const u128 s = static_cast<u128>(a[j]) + b[j] + carry;
    r[j] = static_cast<uint64_t>(s) & mask;
    carry = static_cast<uint64_t>(s >> bits);
  }
  return carry;
}

// a = a - m when a (with `carry` above its n limbs) is at least m, else a:
// the subtraction is always made and its result kept or dropped by a mask.
void ReduceOnce(uint64_t* a, uint64_t carry, const uint64_t* m, size_t n, unsigned bits) {
  ScratchWords d(n);
  const uint64_t borrow = SubtractLimbs(d.data(), a, m, n, bits);
  const uint64_t keep = ct::MaskOfBit(borrow & ~carry);  // a < m
  for (size_t j = 0; j < n; ++j) a[j] = ct::Select(keep, a[j], d.data()[j]);
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

namespace {

// The bit length of a modulus is public: for n it is the key's size class,
// for p and q what every RSA key states (and a 52- or 64-bit limb count of
// them would tell nearly as much).
uint32_t PublicBitLength(const XBigInt& m) { return ct::Declassified(m.BitLength()); }

}  // namespace

MontgomeryModulus::MontgomeryModulus(const XBigInt& m, bool forPow)
    : modulus_(m),
      kernel_(MontKernelFor(MontPathFor(PublicBitLength(m)), PublicBitLength(m))),
      modBits_(PublicBitLength(m)),
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
  const uint32_t b = modBits_;
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
  ReduceOnce(a, carry, m_.data(), n_, bits_);
}

void MontgomeryModulus::AddMod(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
  const uint64_t carry = AddLimbs(r, a, b, n_, bits_);
  ReduceOnce(r, carry, m_.data(), n_, bits_);
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

void MontgomeryModulus::SubMod(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
  ScratchWords sum(n_);
  const uint64_t borrow = SubtractLimbs(r, a, b, n_, bits_);
  AddLimbs(sum.data(), r, m_.data(), n_, bits_);
  const uint64_t wrapped = ct::MaskOfBit(borrow);
  for (size_t j = 0; j < n_; ++j) r[j] = ct::Select(wrapped, sum.data()[j], r[j]);
}

void MontgomeryModulus::ToMontgomeryWords(uint64_t* r, const uint64_t* x, size_t count) const {
  // x = sum of piece_i R^i, so x R = ((piece_top R + ...) R + piece_0) R:
  // Horner's rule with every step a product by R^2 (which multiplies by R).
  const size_t pieces = std::max<size_t>((count * 64 + bits_ * n_ - 1) / (bits_ * n_), 1);
  ScratchWords work((pieces + 1) * n_);
  uint64_t* limbs = work.data();
  uint64_t* term = work.data() + pieces * n_;
  SplitWords(limbs, pieces * n_, x, count, bits_);
  Mul(r, limbs + (pieces - 1) * n_, r2_.data());
  for (size_t i = pieces - 1; i-- > 0;) {
    Mul(r, r, r2_.data());
    Mul(term, limbs + i * n_, r2_.data());
    AddMod(r, r, term);
  }
}

void MontgomeryModulus::FromMontgomeryWords(uint64_t* words, size_t count, const uint64_t* a) const {
  ScratchWords work(2 * n_);
  uint64_t* unit = work.data();
  uint64_t* r = work.data() + n_;
  unit[0] = 1;
  Mul(r, a, unit);
  JoinLimbs(words, count, r, n_, bits_);
}

namespace {

constexpr uint32_t kWindow = 5;
constexpr size_t kEntries = size_t{1} << kWindow;

// The kWindow bits of e from bit `first` up (Bit reads the limb at a public
// position; bits beyond e's limbs are 0).
uint32_t WindowOf(const XBigInt& e, uint32_t first) {
  uint32_t v = 0;
  for (uint32_t bit = 0; bit < kWindow; ++bit) v |= static_cast<uint32_t>(e.Bit(first + bit)) << bit;
  return v;
}

// out = table entry `index` of n words, by the kernel's gather or a masked
// pass over every entry.
void SelectEntry(const MontKernel& kernel, uint64_t* out, const uint64_t* table, uint32_t index, size_t n) {
  if (kernel.gather != nullptr) {
    kernel.gather(out, table, kEntries, index, n);
    return;
  }
  for (size_t j = 0; j < n; ++j) out[j] = 0;
  for (uint32_t k = 0; k < kEntries; ++k) {
    const uint64_t mask = ct::EqualMask(k, index);
    const uint64_t* entry = table + k * n;
    for (size_t j = 0; j < n; ++j) out[j] |= entry[j] & mask;
  }
}

// The number of windows for e under a modulus of modBits bits: e's length
// counts by its limbs, which the key blob states, never by its top bits.
uint32_t WindowsFor(uint32_t modBits, const XBigInt& e) {
  const uint32_t bits = std::max(modBits, 16 * e.Count());
  return (bits + kWindow - 1) / kWindow;
}

}  // namespace

void MontgomeryModulus::PowSecret(uint64_t* acc, const uint64_t* base, const XBigInt& e) const {
  const size_t n = n_;
  ScratchWords work((kEntries + 1) * n);
  uint64_t* table = work.data();
  uint64_t* entry = table + kEntries * n;
  std::memcpy(table, one_.data(), sizeof(uint64_t) * n);
  std::memcpy(table + n, base, sizeof(uint64_t) * n);
  for (size_t k = 2; k < kEntries; ++k) Mul(table + k * n, table + (k - 1) * n, base);
  const uint32_t windows = WindowsFor(modBits_, e);
  SelectEntry(kernel_, acc, table, WindowOf(e, (windows - 1) * kWindow), n);
  for (uint32_t w = windows - 1; w-- > 0;) {
    for (uint32_t s = 0; s < kWindow; ++s) Sqr(acc, acc);
    SelectEntry(kernel_, entry, table, WindowOf(e, w * kWindow), n);
    Mul(acc, acc, entry);
  }
}

void MontgomeryModulus::PowSecretPair(const MontgomeryModulus& m1, uint64_t* acc1, const uint64_t* base1,
                                      const XBigInt& e1, const MontgomeryModulus& m2, uint64_t* acc2,
                                      const uint64_t* base2, const XBigInt& e2) {
  const MontKernel& k = m1.kernel_;
  if (k.mulPair == nullptr || m2.kernel_.mulPair != k.mulPair || m1.n_ != m2.n_) {
    m1.PowSecret(acc1, base1, e1);
    m2.PowSecret(acc2, base2, e2);
    return;
  }
  const size_t n = m1.n_;
  const MontgomeryModulus* mods[2] = {&m1, &m2};
  const uint64_t* bases[2] = {base1, base2};
  // Per modulus: the table of x^0 .. x^31 and a selected entry.
  ScratchWords work(2 * (kEntries + 1) * n);
  uint64_t* table[2];
  uint64_t* acc[2] = {acc1, acc2};
  uint64_t* entry[2];
  MontPair pair{};
  for (int i = 0; i < 2; ++i) {
    table[i] = work.data() + i * (kEntries + 1) * n;
    entry[i] = table[i] + kEntries * n;
    std::memcpy(table[i], mods[i]->one_.data(), sizeof(uint64_t) * n);
    std::memcpy(table[i] + n, bases[i], sizeof(uint64_t) * n);
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
  for (size_t e = 2; e < kEntries; ++e) {
    uint64_t* const r[2] = {table[0] + e * n, table[1] + e * n};
    const uint64_t* const a[2] = {table[0] + (e - 1) * n, table[1] + (e - 1) * n};
    const uint64_t* const b[2] = {table[0] + n, table[1] + n};
    multiply(r, a, b);
  }
  const uint32_t windows = std::max(WindowsFor(m1.modBits_, e1), WindowsFor(m2.modBits_, e2));
  const XBigInt* exponents[2] = {&e1, &e2};
  for (int i = 0; i < 2; ++i) {
    SelectEntry(k, acc[i], table[i], WindowOf(*exponents[i], (windows - 1) * kWindow), n);
  }
  for (uint32_t w = windows - 1; w-- > 0;) {
    for (uint32_t s = 0; s < kWindow; ++s) multiply(acc, acc, acc);
    for (int i = 0; i < 2; ++i) SelectEntry(k, entry[i], table[i], WindowOf(*exponents[i], w * kWindow), n);
    multiply(acc, acc, entry);
  }
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
