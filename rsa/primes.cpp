// NextPrime: the search for the smallest candidate at or above a value that no
// prime of kSmallPrimes divides and that passes the Fermat test to base 2.
//
// The reference form divides every candidate by every table prime. The fast
// form keeps the candidate's residue modulo each table prime, computed once
// with single-word remainders, and sieves a window of odd candidates c + 2i:
// the prime p divides c + 2i exactly when i = (p - c mod p) * (p + 1) / 2
// mod p. Candidates are still examined in increasing order and rejected
// exactly when a table prime divides them (a table prime itself included), so
// both forms return the same value. Survivors take the Fermat test in
// Montgomery form, where a power of two needs only squarings and doublings.
#include "rsa/primes.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "base/wipe.h"
#include "rsa/modular.h"
#include "rsa/montgomery.h"
#include "rsa/wide_uint.h"

namespace {

using orvo::u128;

constexpr uint32_t kWindow = 1024;  // odd candidates sieved at a time

uint64_t PowMod64(uint64_t base, uint64_t e, uint64_t m) {
  uint64_t result = 1 % m;
  base %= m;
  while (e != 0) {
    if (e & 1) result = static_cast<uint64_t>(static_cast<u128>(result) * base % m);
    base = static_cast<uint64_t>(static_cast<u128>(base) * base % m);
    e >>= 1;
  }
  return result;
}

bool FermatBase2Small(uint64_t c) {
  // 2^(c-1) mod c, with 2^0 = 1 for c = 1 as in the limb-wise PowMod.
  return c == 1 || PowMod64(2, c - 1, c) == 1;
}

uint64_t NextPrimeSmall(uint64_t c) {
  for (;; c += 2) {
    bool divisible = false;
    for (uint32_t k = 0; k < kSmallPrimeCount && !divisible; ++k) divisible = c % kSmallPrimes[k] == 0;
    if (!divisible && FermatBase2Small(c)) return c;
  }
}

uint64_t ValueOf(const XBigInt& x) {
  uint64_t v = 0;
  for (uint32_t i = x.Count(); i-- > 0;) v = (v << 16) | x.Limb(i);
  return v;
}

XBigInt BigIntOfValue(uint64_t v) {
  const uint16_t limbs[4] = {static_cast<uint16_t>(v), static_cast<uint16_t>(v >> 16),
                             static_cast<uint16_t>(v >> 32), static_cast<uint16_t>(v >> 48)};
  XBigInt x;
  x.AssignLimbs(limbs, 4);
  return x;
}

// A vector of residues or chunks of a secret candidate, wiped when it dies.
class WipedWords {
 public:
  explicit WipedWords(size_t n = 0) : words_(n) {}
  WipedWords(const WipedWords&) = delete;
  WipedWords& operator=(const WipedWords&) = delete;
  WipedWords(WipedWords&&) = default;
  ~WipedWords() {
    if (!words_.empty()) orvo::SecureWipe(words_.data(), sizeof(uint32_t) * words_.size());
  }
  std::vector<uint32_t>& operator*() { return words_; }

 private:
  std::vector<uint32_t> words_;
};

// x mod p for every table prime. Pairs of primes share one pass over the
// number: their product is below 2^30, so each step (r * 2^32 + chunk) fits
// in 64 bits.
WipedWords Residues(const XBigInt& x) {
  WipedWords chunkStore;
  std::vector<uint32_t>& chunks = *chunkStore;  // 32-bit chunks, most significant first
  // Reserved in full: a vector that grew would free its earlier blocks unwiped.
  chunks.reserve((x.Count() + 1) / 2);
  for (uint32_t i = (x.Count() + 1) / 2; i-- > 0;) {
    const uint32_t lo = x.Limb(2 * i);
    const uint32_t hi = 2 * i + 1 < x.Count() ? x.Limb(2 * i + 1) : 0;
    chunks.push_back((hi << 16) | lo);
  }
  WipedWords residueStore(kSmallPrimeCount);
  std::vector<uint32_t>& residues = *residueStore;
  for (uint32_t k = 0; k < kSmallPrimeCount; k += 2) {
    const uint64_t product = uint64_t{kSmallPrimes[k]} * kSmallPrimes[k + 1];
    uint64_t r = 0;
    for (const uint32_t chunk : chunks) r = ((r << 32) | chunk) % product;
    residues[k] = static_cast<uint32_t>(r % kSmallPrimes[k]);
    residues[k + 1] = static_cast<uint32_t>(r % kSmallPrimes[k + 1]);
  }
  return residueStore;
}

}  // namespace

XBigInt& XBigInt::NextPrime() {
  if (IsEven()) Add(XBigInt(1));
  if (BitLength() <= 32) return *this = BigIntOfValue(NextPrimeSmall(ValueOf(*this)));

  // Above 2^32 no candidate equals a table prime, and c is odd, so 2 never
  // divides a candidate: the sieve starts at the second prime.
  WipedWords residueStore = Residues(*this);
  std::vector<uint32_t>& residues = *residueStore;
  std::vector<uint8_t> composite(kWindow);
  for (;;) {
    std::fill(composite.begin(), composite.end(), 0);
    for (uint32_t k = 1; k < kSmallPrimeCount; ++k) {
      const uint32_t p = kSmallPrimes[k];
      const uint32_t r = residues[k];
      uint32_t i = r == 0 ? 0 : static_cast<uint32_t>((uint64_t{p - r} * ((p + 1) / 2)) % p);
      for (; i < kWindow; i += p) composite[i] = 1;
    }
    for (uint32_t i = 0; i < kWindow; ++i) {
      if (composite[i]) continue;
      XBigInt candidate(*this);
      candidate.Add(XBigInt(static_cast<uint16_t>(2 * i)));
      if (orvo::MontgomeryModulus(candidate, false).FermatBase2()) return *this = std::move(candidate);
    }
    Add(XBigInt(static_cast<uint16_t>(2 * kWindow)));
    for (uint32_t k = 1; k < kSmallPrimeCount; ++k) residues[k] = (residues[k] + 2 * kWindow) % kSmallPrimes[k];
  }
}

namespace orvo {

XBigInt NextPrime(const XBigInt& x) {
  XBigInt c(x);
  return c.NextPrime();
}

bool IsStrongProbablePrime(const XBigInt& x) {
  if (x.BitLength() <= 32) {
    const uint64_t v = ValueOf(x);
    for (uint32_t k = 0; k < kSmallPrimeCount; ++k) {
      if (v % kSmallPrimes[k] == 0) return v == kSmallPrimes[k];
    }
  } else {
    WipedWords residues = Residues(x);
    for (const uint32_t r : *residues) {
      if (r == 0) return false;
    }
  }
  if (x.Compare(XBigInt(2)) < 0) return false;
  const MontgomeryModulus m(x);
  for (const uint16_t base : {2, 3, 5, 7}) {
    if (!m.StrongProbablePrime(XBigInt(base))) return false;
  }
  return true;
}

namespace reference {

XBigInt NextPrime(const XBigInt& x) {
  XBigInt c(x);
  if (c.IsEven()) c.Add(XBigInt(1));
  XBigInt exponent(c);
  exponent.Subtract(XBigInt(1));
  const XBigInt two(2);
  for (;;) {
    bool divisible = false;
    for (uint32_t k = 0; k < kSmallPrimeCount && !divisible; ++k) {
      XBigInt r(c);
      divisible = r.Modulo(XBigInt(kSmallPrimes[k])).IsZero();
    }
    if (!divisible && reference::PowMod(two, exponent, c).Compare(XBigInt(1)) == 0) return c;
    c.Add(two);
    exponent.Add(two);
  }
}

}  // namespace reference
}  // namespace orvo
