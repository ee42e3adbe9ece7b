// The constant-time private-key arithmetic (rsa_private.h): word-level
// products, remainders and comparisons without branches on the values, the
// CRT consistency check on them, and the private exponentiations.
#include "rsa/rsa_private.h"

#include <algorithm>

#include "base/constant_time.h"
#include "rsa/wide_uint.h"

namespace orvo {

namespace {

uint64_t BorrowOut(uint64_t x, uint64_t y, uint64_t d) { return ((~x & y) | (~(x ^ y) & d)) >> 63; }

// r = a - b over n words; returns the borrow out (0 or 1).
uint64_t SubtractWords(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n) {
  uint64_t borrow = 0;
  for (size_t j = 0; j < n; ++j) {
    const uint64_t d = a[j] - b[j] - borrow;
    borrow = BorrowOut(a[j], b[j], d);
    r[j] = d;
  }
  return borrow;
}

uint64_t IsZeroWordsMask(const uint64_t* a, size_t n) {
  uint64_t any = 0;
  for (size_t j = 0; j < n; ++j) any |= a[j];
  return ct::IsZeroMask(any);
}

// All ones when a < b (n words each).
uint64_t LessWordsMask(const uint64_t* a, const uint64_t* b, size_t n) {
  SecretWords d(n);
  return ct::MaskOfBit(SubtractWords(d.data(), a, b, n));
}

// r (na + nb words) = a * b, schoolbook.
void MultiplyWords(uint64_t* r, const uint64_t* a, size_t na, const uint64_t* b, size_t nb) {
  for (size_t k = 0; k < na + nb; ++k) r[k] = 0;
  for (size_t i = 0; i < na; ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < nb; ++j) {
      const u128 t = static_cast<u128>(a[i]) * b[j] + r[i + j] + carry;
      r[i + j] = static_cast<uint64_t>(t);
      carry = static_cast<uint64_t>(t >> 64);
    }
    r[i + nb] = carry;
  }
}

// r (nm words) = x mod m, bit by bit from the top of x's nx words: the
// remainder doubles, takes the next bit, and loses m by a masked subtraction
// whenever it reached m. Any m works, even ones (p - 1) and zero (then r is
// x's low words, never a fault).
void RemainderWords(uint64_t* r, const uint64_t* x, size_t nx, const uint64_t* m, size_t nm) {
  SecretWords acc(nm + 1), mm(nm + 1), d(nm + 1);
  for (size_t j = 0; j < nm; ++j) mm[j] = m[j];
  for (size_t bit = 64 * nx; bit-- > 0;) {
    uint64_t in = (x[bit / 64] >> (bit % 64)) & 1;
    for (size_t j = 0; j <= nm; ++j) {
      const uint64_t out = acc[j] >> 63;
      acc[j] = (acc[j] << 1) | in;
      in = out;
    }
    const uint64_t keep = ct::MaskOfBit(SubtractWords(d.data(), acc.data(), mm.data(), nm + 1));
    for (size_t j = 0; j <= nm; ++j) acc[j] = ct::Select(keep, acc[j], d[j]);
  }
  for (size_t j = 0; j < nm; ++j) r[j] = acc[j];
}

// x's words zero-extended to n.
SecretWords Widened(const XBigInt& x, size_t n) { return WordsOf(x, std::max(n, WordCount(x))); }

}  // namespace

uint64_t EqualWordsMask(const uint64_t* a, const uint64_t* b, size_t n) {
  uint64_t diff = 0;
  for (size_t j = 0; j < n; ++j) diff |= a[j] ^ b[j];
  return ct::IsZeroMask(diff);
}

uint64_t LessNumberMask(const XBigInt& a, const XBigInt& b) {
  const size_t n = std::max(WordCount(a), WordCount(b));
  const SecretWords aw = WordsOf(a, n), bw = WordsOf(b, n);
  return LessWordsMask(aw.data(), bw.data(), n);
}

void StoreBigEndian(uint8_t* out, size_t length, const uint64_t* words, size_t count) {
  for (size_t k = 0; k < length; ++k) {
    const size_t j = length - 1 - k;  // byte j from the least significant end
    out[k] = j / 8 < count ? static_cast<uint8_t>(words[j / 8] >> (8 * (j % 8))) : 0;
  }
}

bool CrtNumbersConsistent(const XRSAKey& key) {
  const size_t np = WordCount(key.p), nq = WordCount(key.q);
  const size_t nw = std::max({np, nq, WordCount(key.qInv), WordCount(key.n)});
  const SecretWords p = Widened(key.p, nw), q = Widened(key.q, nw), qInv = Widened(key.qInv, nw);
  const SecretWords n = Widened(key.n, np + nq), d = WordsOf(key.d, WordCount(key.d));
  uint64_t ok = ct::MaskOfBit(p[0] & q[0]);  // both odd
  SecretWords one(nw);
  one[0] = 1;
  ok &= LessWordsMask(one.data(), p.data(), nw) & LessWordsMask(one.data(), q.data(), nw);
  ok &= ~EqualWordsMask(p.data(), q.data(), nw);
  ok &= ~IsZeroWordsMask(d.data(), d.size());
  ok &= LessWordsMask(qInv.data(), p.data(), nw);

  SecretWords product(np + nq);
  MultiplyWords(product.data(), p.data(), np, q.data(), nq);
  ok &= EqualWordsMask(product.data(), n.data(), np + nq) & IsZeroWordsMask(n.data() + np + nq, n.size() - np - nq);

  // dP = d mod (p - 1) and dQ = d mod (q - 1), both non-zero.
  const XBigInt* halves[2][2] = {{&key.p, &key.dP}, {&key.q, &key.dQ}};
  for (const auto& half : halves) {
    const size_t nm = WordCount(*half[0]);
    SecretWords minusOne = WordsOf(*half[0], nm);
    SubtractWords(minusOne.data(), minusOne.data(), one.data(), 1);  // the prime is odd, or ok is clear
    SecretWords r(nm);
    RemainderWords(r.data(), d.data(), d.size(), minusOne.data(), nm);
    const SecretWords dx = Widened(*half[1], nm);
    ok &= EqualWordsMask(r.data(), dx.data(), nm) & IsZeroWordsMask(dx.data() + nm, dx.size() - nm);
    ok &= ~IsZeroWordsMask(dx.data(), dx.size());
  }

  // qInv * q = 1 mod p.
  SecretWords qqInv(2 * nw);
  MultiplyWords(qqInv.data(), qInv.data(), nw, q.data(), nw);
  SecretWords r(np);
  RemainderWords(r.data(), qqInv.data(), 2 * nw, p.data(), np);
  ok &= EqualWordsMask(r.data(), one.data(), np);
  // The verdict is public: a key that fails is refused or takes the direct path.
  return ct::Declassified(ok) != 0;
}

SecretWords PrivateCrt(const XRSAKey& key, const MontgomeryModulus& modP, const MontgomeryModulus& modQ,
                       const XBigInt& x) {
  const size_t nw = WordCount(key.n), np = WordCount(key.p), nq = WordCount(key.q);
  const size_t lp = modP.Limbs(), lq = modQ.Limbs();
  const SecretWords xw = WordsOf(x, nw);
  SecretWords xp(lp), xq(lq), m1(lp), m2(lq);
  modP.ToMontgomeryWords(xp.data(), xw.data(), nw);
  modQ.ToMontgomeryWords(xq.data(), xw.data(), nw);
  MontgomeryModulus::PowSecretPair(modP, m1.data(), xp.data(), key.dP, modQ, m2.data(), xq.data(), key.dQ);

  // h = (m1 - m2) qInv mod p, in Montgomery form under p throughout.
  SecretWords m2Plain(nq), m2p(lp), h(lp), qInvP(lp), hPlain(np);
  modQ.FromMontgomeryWords(m2Plain.data(), nq, m2.data());
  modP.ToMontgomeryWords(m2p.data(), m2Plain.data(), nq);
  modP.SubMod(h.data(), m1.data(), m2p.data());
  const SecretWords qInv = WordsOf(key.qInv, WordCount(key.qInv));
  modP.ToMontgomeryWords(qInvP.data(), qInv.data(), qInv.size());
  modP.Mul(h.data(), h.data(), qInvP.data());
  modP.FromMontgomeryWords(hPlain.data(), np, h.data());

  // m2 + h q < n.
  const SecretWords q = WordsOf(key.q, nq);
  SecretWords sum(np + nq + 1);
  MultiplyWords(sum.data(), hPlain.data(), np, q.data(), nq);
  uint64_t carry = 0;
  for (size_t j = 0; j < np + nq + 1; ++j) {
    const uint64_t add = j < nq ? m2Plain[j] : 0;
    const u128 t = static_cast<u128>(sum[j]) + add + carry;
    sum[j] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  SecretWords out(nw);
  for (size_t j = 0; j < nw && j < sum.size(); ++j) out[j] = sum[j];
  return out;
}

SecretWords PrivateDirect(const XRSAKey& key, const MontgomeryModulus& modN, const XBigInt& x) {
  const size_t nw = WordCount(key.n), ln = modN.Limbs();
  const SecretWords xw = WordsOf(x, nw);
  SecretWords base(ln), acc(ln), out(nw);
  modN.ToMontgomeryWords(base.data(), xw.data(), nw);
  modN.PowSecret(acc.data(), base.data(), key.d);
  modN.FromMontgomeryWords(out.data(), nw, acc.data());
  return out;
}

}  // namespace orvo
