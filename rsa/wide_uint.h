// u128: an unsigned 128-bit integer for the word arithmetic of the Montgomery
// kernels and the prime search. The compiler's own type where it has one
// (x86-64); elsewhere (32-bit x86), or where ORVO_PORTABLE_U128 asks for it
// (the constant-time check runs it natively), a small class with the same
// operators, so the arithmetic code is written once. The class's sums,
// differences, products and comparisons take no branch on their values: the
// private-key arithmetic runs on them.
#pragma once

#include <cstdint>

namespace orvo {

#if defined(__SIZEOF_INT128__) && !(defined(ORVO_PORTABLE_U128) && ORVO_PORTABLE_U128)

__extension__ typedef unsigned __int128 u128;

#else

class u128 {
 public:
  constexpr u128(uint64_t v = 0) : lo_(v), hi_(0) {}  // NOLINT: converts like the built-in type
  constexpr u128(uint64_t hi, uint64_t lo) : lo_(lo), hi_(hi) {}
  explicit constexpr operator uint64_t() const { return lo_; }

  friend u128 operator*(const u128& a, const u128& b) {
    // Low 128 bits of the product: a.lo*b.lo in full, the cross terms' low halves.
    const u128 low = Multiply64(a.lo_, b.lo_);
    return u128(low.hi_ + a.lo_ * b.hi_ + a.hi_ * b.lo_, low.lo_);
  }
  friend u128 operator+(const u128& a, const u128& b) {
    const uint64_t lo = a.lo_ + b.lo_;
    return u128(a.hi_ + b.hi_ + CarryOut(a.lo_, b.lo_, lo), lo);
  }
  friend u128 operator-(const u128& a, const u128& b) {
    const uint64_t lo = a.lo_ - b.lo_;
    return u128(a.hi_ - b.hi_ - BorrowOut(a.lo_, b.lo_, lo), lo);
  }
  u128& operator+=(const u128& b) { return *this = *this + b; }
  friend u128 operator|(const u128& a, const u128& b) { return u128(a.hi_ | b.hi_, a.lo_ | b.lo_); }
  friend u128 operator<<(const u128& a, unsigned n) {
    if (n == 0) return a;
    if (n >= 64) return u128(a.lo_ << (n - 64), 0);
    return u128((a.hi_ << n) | (a.lo_ >> (64 - n)), a.lo_ << n);
  }
  friend u128 operator>>(const u128& a, unsigned n) {
    if (n == 0) return a;
    if (n >= 64) return u128(0, a.hi_ >> (n - 64));
    return u128(a.hi_ >> n, (a.lo_ >> n) | (a.hi_ << (64 - n)));
  }
  // The borrow out of a - b.
  friend bool operator<(const u128& a, const u128& b) {
    const uint64_t lo = a.lo_ - b.lo_;
    const uint64_t borrow = BorrowOut(a.lo_, b.lo_, lo);
    return BorrowOut(a.hi_, b.hi_, a.hi_ - b.hi_ - borrow) != 0;
  }
  // Remainder by a 64-bit divisor, bit by bit (only the 32-bit build uses it).
  friend u128 operator%(const u128& a, uint64_t m) {
    uint64_t r = 0;
    for (int bit = 127; bit >= 0; --bit) {
      const uint64_t next = bit >= 64 ? (a.hi_ >> (bit - 64)) & 1 : (a.lo_ >> bit) & 1;
      const bool carry = (r >> 63) != 0;
      r = (r << 1) | next;
      if (carry || r >= m) r -= m;
    }
    return u128(r);
  }

 private:
  // The carry out of s = x + y (+ a carry in), and the borrow out of
  // d = x - y (- a borrow in), from the top bits alone.
  static uint64_t CarryOut(uint64_t x, uint64_t y, uint64_t s) { return ((x & y) | ((x | y) & ~s)) >> 63; }
  static uint64_t BorrowOut(uint64_t x, uint64_t y, uint64_t d) { return ((~x & y) | (~(x ^ y) & d)) >> 63; }

  static u128 Multiply64(uint64_t a, uint64_t b) {
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return u128(p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu));
  }

  uint64_t lo_;
  uint64_t hi_;
};

#endif

}  // namespace orvo
