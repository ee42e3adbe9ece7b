// XBigInt: the arbitrary-precision, non-negative integer on which all RSA
// arithmetic runs. Digits are 16-bit limbs in base 65536, least significant
// first; products, sums and borrows are formed in 32-bit arithmetic.
//
// Every operation modifies the receiver and leaves it in normal form: at least
// one limb, and a non-zero top limb unless the value is zero (one limb 0).
// These limb-wise routines are the reference for the word-sized fast paths
// (montgomery.h, primes.h), which must give identical results.
#pragma once

#include <cstdint>
#include <memory>

#include "base/xblob.h"

namespace orvo {
// How many times long division has taken its add-back step in this process
// (the tests show that their operands reach it).
uint64_t DivisionAddBacks();
}  // namespace orvo

class XBigInt {
 public:
  explicit XBigInt(uint16_t value = 0);
  XBigInt(const XBigInt& other);
  // A moved-from XBigInt holds no limbs (it allocates nothing, so a move never
  // throws): it reads as zero through IsZero(), and may be assigned to, copied
  // or destroyed; other operations need a value assigned first.
  XBigInt(XBigInt&& other) noexcept;
  XBigInt& operator=(const XBigInt& other);
  XBigInt& operator=(XBigInt&& other) noexcept;
  // The limbs are wiped: an XBigInt may hold a private number.
  ~XBigInt();

  XBigInt& Set(uint16_t value);
  // The big-endian value of the bytes; an empty string gives zero.
  XBigInt& FromBytes(const XBlob& bytes);
  // Replaces `out` by the big-endian bytes of the value. length 0 is the natural
  // length (shortest form, zero as the single byte 00); a longer length pads
  // with leading zeros; a shorter one keeps only the low `length` bytes.
  void ToBytes(XBlob& out, uint32_t length = 0) const;

  XBigInt& Add(const XBigInt& other);
  // Raises XCryptoAlarm "Invalid key" / "RSA" when `other` exceeds the receiver
  // (only a loaded key with impossible numbers can lead there); the receiver is
  // then unchanged.
  XBigInt& Subtract(const XBigInt& other);
  XBigInt& Multiply(const XBigInt& other);
  // Knuth's Algorithm D (bigint_division.cpp). The receiver becomes the
  // quotient; the remainder goes to *remainder when asked for (it may not be
  // the receiver or the divisor). A zero divisor raises XCryptoAlarm
  // "Invalid key" / "RSA" and leaves both unchanged.
  XBigInt& DivMod(const XBigInt& divisor, XBigInt* remainder);
  XBigInt& Divide(const XBigInt& divisor) { return DivMod(divisor, nullptr); }
  XBigInt& Modulo(const XBigInt& divisor);

  int Compare(const XBigInt& other) const;
  uint32_t BitLength() const;
  bool IsEven() const { return (limbs_[0] & 1) == 0; }
  bool IsZero() const { return count_ == 0 || (count_ == 1 && limbs_[0] == 0); }
  XBigInt& Normalize();

  // Modular arithmetic (modular.cpp, primes.cpp).
  // (receiver * b) mod m.
  XBigInt& MulMod(const XBigInt& b, const XBigInt& m);
  // receiver^e mod m. An exponent of 0 gives 1, even when m is 1; otherwise
  // the result is reduced. Odd moduli run in Montgomery form on machine words
  // (montgomery.h); even ones by square-and-multiply with MulMod.
  XBigInt& PowMod(const XBigInt& e, const XBigInt& m);
  // gcd(receiver, other); gcd(x, 0) = x.
  XBigInt& Gcd(const XBigInt& other);
  // The inverse of the receiver modulo m, for a receiver coprime to m
  // (extended Euclid with unsigned coefficients and a sign flag).
  XBigInt& InverseMod(const XBigInt& m);
  // The smallest value at or above the receiver (above it when it is even)
  // that no prime of kSmallPrimes divides and that passes the Fermat test to
  // base 2. 0 and 1 give 1.
  XBigInt& NextPrime();

  // Read access for the word-sized fast paths and for tests.
  uint32_t Count() const { return count_; }
  uint32_t Capacity() const { return capacity_; }
  uint16_t Limb(uint32_t i) const { return limbs_[i]; }
  bool Bit(uint32_t i) const { return i / 16 < count_ && ((limbs_[i / 16] >> (i % 16)) & 1) != 0; }
  // Replaces the value by `n` limbs given least significant first; normalises.
  XBigInt& AssignLimbs(const uint16_t* limbs, uint32_t n);

 private:
  void Reserve(uint32_t n);       // capacity of at least n limbs, keeping the value
  void PushLimb(uint16_t limb);   // appends above the top; doubles a full array
  void Resize(uint32_t n);        // count = n; new limbs are 0

  std::unique_ptr<uint16_t[]> limbs_;
  uint32_t capacity_;
  uint32_t count_;
};
