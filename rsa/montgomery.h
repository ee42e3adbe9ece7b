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
  // r1 = x1^e1 mod m1 and r2 = x2^e2 mod m2, as Pow gives them: the two
  // halves of an RSA private operation by the Chinese remainder theorem.
  // Where both moduli run on a kernel with paired products and have the same
  // limb count, both exponentiations run in lockstep with a fixed window of
  // 5 bits over as many bits as the longer modulus or exponent has, each
  // table entry read by a masked pass over the whole table; else one Pow
  // after the other.
  static void PowPair(const MontgomeryModulus& m1, const XBigInt& x1, const XBigInt& e1, XBigInt& r1,
                      const MontgomeryModulus& m2, const XBigInt& x2, const XBigInt& e2, XBigInt& r2);
  // True when 2^(m-1) mod m is 1: the Fermat test to base 2.
  bool FermatBase2() const;
  // The strong probable-prime test (Miller-Rabin) to one base 1 < a < m - 1.
  bool StrongProbablePrime(const XBigInt& a) const;

  const XBigInt& Modulus() const { return modulus_; }
  // The kernel this modulus runs on, chosen when it was made (MontPathFor).
  MontPath Path() const { return kernel_.path; }

 private:
  void Mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const;
  void Sqr(uint64_t* r, const uint64_t* a) const;
  void ToMontgomery(uint64_t* r, const XBigInt& x) const;  // x < m
  XBigInt FromMontgomery(const uint64_t* a) const;
  void ToMontgomeryReduced(uint64_t* r, const XBigInt& x) const;  // any x
  void Double(uint64_t* a) const;  // a = 2a mod m
  // acc = 2^e in Montgomery form.
  void PowerOfTwo(uint64_t* acc, const XBigInt& e) const;
  // acc = base^e in Montgomery form, base given in Montgomery form; e > 0.
  void PowWords(uint64_t* acc, const uint64_t* base, const XBigInt& e) const;

  XBigInt modulus_;
  MontKernel kernel_;
  size_t n_;          // limbs
  unsigned bits_;     // bits per limb
  SecretWords m_;
  uint64_t m0inv_;    // -m^-1 mod 2^bits
  SecretWords one_;   // R mod m, R = 2^(bits n)
  SecretWords r2_;    // R^2 mod m (empty when not needed)
};

}  // namespace orvo
