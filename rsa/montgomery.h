// Modular exponentiation in Montgomery form (P. L. Montgomery, "Modular
// Multiplication Without Trial Division", Math. Comp. 44, 1985).
//
// This is the fast path behind XBigInt::PowMod for odd moduli and behind the
// Fermat test of the prime search. The products run on the fastest kernel the
// processor has (montgomery_kernels.h); numbers are held as limbs of that
// kernel's width. Its results are the plain modular values,
// identical to the limb-wise reference (modular.h), which the tests hold it to.
#pragma once

#include <cstdint>
#include <vector>

#include "rsa/bigint.h"
#include "rsa/montgomery_kernels.h"

namespace orvo {

// A word vector that is wiped when it dies (it may hold private values).
class SecretWords {
 public:
  SecretWords() = default;
  explicit SecretWords(size_t n) : words_(n, 0) {}
  SecretWords(const SecretWords&) = default;
  SecretWords& operator=(const SecretWords&) = default;
  ~SecretWords();
  uint64_t* data() { return words_.data(); }
  const uint64_t* data() const { return words_.data(); }
  size_t size() const { return words_.size(); }
  uint64_t& operator[](size_t i) { return words_[i]; }
  uint64_t operator[](size_t i) const { return words_[i]; }

 private:
  std::vector<uint64_t> words_;
};

// The words of x (least significant first), zero-extended or cut to n words.
SecretWords WordsOf(const XBigInt& x, size_t n);
// The XBigInt of n words.
XBigInt BigIntOf(const uint64_t* words, size_t n);

class MontgomeryModulus {
 public:
  // Moduli longer than this many words are left to the limb-wise reference.
  static constexpr size_t kMaxWords = 1024;

  // m must be odd and greater than 1, and at most kMaxWords words long.
  // `forPow` = false skips R^2 mod m, which only FermatBase2 can do without.
  explicit MontgomeryModulus(const XBigInt& m, bool forPow = true);

  // base^e mod m for any base (reduced first) and any exponent; e = 0 gives 1.
  XBigInt Pow(const XBigInt& base, const XBigInt& e) const;
  // The constant-time forms, for private values: no branch and no memory
  // address depends on the values of the operands, the exponent or the
  // modulus, only on their lengths (limb and word counts, the modulus's bit
  // length), which are public. The constructor makes its constants (R and R^2
  // mod m) the same way. Numbers in Montgomery form are Limbs() limbs of
  // LimbBits() bits, fully reduced.
  size_t Limbs() const { return n_; }
  unsigned LimbBits() const { return bits_; }
  // r = a * b * R^-1 mod m, for a < R and b < m.
  void Mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const;
  // r = a - b mod m, for a, b < m.
  void SubMod(uint64_t* r, const uint64_t* a, const uint64_t* b) const;
  // acc = base^e in Montgomery form for a public exponent e > 0 (the
  // sliding window of Pow: its steps follow e's bits, the values flow only
  // through the products).
  void PowPublicExponent(uint64_t* acc, const uint64_t* base, const XBigInt& e) const { PowWords(acc, base, e); }
  // r = x * R mod m for x of `count` 64-bit words (least significant first),
  // of any value: x is taken in pieces of Limbs() limbs, top first, each
  // brought in by a product with R^2 mod m and added modulo m.
  void ToMontgomeryWords(uint64_t* r, const uint64_t* x, size_t count) const;
  // The `count` 64-bit words of the plain value of a (count at least the
  // modulus's word count).
  void FromMontgomeryWords(uint64_t* words, size_t count, const uint64_t* a) const;
  // acc = base^e in Montgomery form (base in Montgomery form) by a fixed
  // window of 5 bits over max(bit length of m, 16 * e.Count()) bits:
  // the same products in the same order for every e of that length; each
  // table entry is read by a masked pass over the whole table. e = 0 gives 1.
  void PowSecret(uint64_t* acc, const uint64_t* base, const XBigInt& e) const;
  // PowSecret under two moduli: in lockstep where both run on a kernel with
  // paired products and have the same limb count, else one after the other.
  static void PowSecretPair(const MontgomeryModulus& m1, uint64_t* acc1, const uint64_t* base1, const XBigInt& e1,
                            const MontgomeryModulus& m2, uint64_t* acc2, const uint64_t* base2, const XBigInt& e2);
  // True when 2^(m-1) mod m is 1: the Fermat test to base 2.
  bool FermatBase2() const;
  // The strong probable-prime test (Miller-Rabin) to one base 1 < a < m - 1.
  bool StrongProbablePrime(const XBigInt& a) const;

  const XBigInt& Modulus() const { return modulus_; }
  // The kernel this modulus runs on, chosen when it was made (MontPathFor).
  MontPath Path() const { return kernel_.path; }

 private:
  void Sqr(uint64_t* r, const uint64_t* a) const;
  void ToMontgomery(uint64_t* r, const XBigInt& x) const;  // x < m
  XBigInt FromMontgomery(const uint64_t* a) const;
  void ToMontgomeryReduced(uint64_t* r, const XBigInt& x) const;  // any x
  void Double(uint64_t* a) const;  // a = 2a mod m, in constant time
  void AddMod(uint64_t* r, const uint64_t* a, const uint64_t* b) const;  // r = a + b mod m, a, b < m
  // acc = 2^e in Montgomery form.
  void PowerOfTwo(uint64_t* acc, const XBigInt& e) const;
  // acc = base^e in Montgomery form, base given in Montgomery form; e > 0.
  void PowWords(uint64_t* acc, const uint64_t* base, const XBigInt& e) const;

  XBigInt modulus_;
  MontKernel kernel_;
  uint32_t modBits_;  // bit length of m (public)
  size_t n_;          // limbs
  unsigned bits_;     // bits per limb
  SecretWords m_;
  uint64_t m0inv_;    // -m^-1 mod 2^bits
  SecretWords one_;   // R mod m, R = 2^(bits n)
  SecretWords r2_;    // R^2 mod m (empty when not needed)
};

}  // namespace orvo
