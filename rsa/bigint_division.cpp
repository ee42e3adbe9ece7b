// Long division of XBigInt values: Knuth's Algorithm D (The Art of Computer
// Programming, vol. 2, 4.3.1) in base b = 65536.
//
// Dividing an m-limb number u by an n-limb number v produces one quotient
// digit per step, from the most significant down, each time from the top of
// what is left of the dividend. Guessing a digit from the leading limbs alone
// is what makes the method quadratic rather than a search, and three ideas
// keep the guess honest:
//
// Normalisation. Both operands are multiplied by f = floor(b / (v[n-1] + 1)),
// which leaves the quotient unchanged, scales the remainder by f, and makes
// the divisor's top limb at least b / 2. (Here f is not a power of two, so the
// scaling is a multiplication and the remainder is divided back by f at the
// end with a short division.) The dividend gains one limb on top for the
// carry of that multiplication, so every step divides an (n + 1)-limb window
// by the n-limb divisor and yields a digit below b.
//
// The estimate. With u0, u1 the window's two top limbs and w1 the divisor's
// top limb, q = floor((u0 * b + u1) / w1), capped at b - 1. Because w1 >= b/2,
// this estimate is never too small and at most two too large (Knuth's
// Theorem B). Testing it against one more limb of each, w2 and u2 — while
// q * w2 > (u0 * b + u1 - q * w1) * b + u2, decrease q — removes almost every
// overestimate, and what survives is at most one too large. Every quantity in
// that test is an integer below 2^49, so 64-bit signed arithmetic is exact.
//
// The add-back. The window then loses q times the divisor. If the estimate
// was still one too large, the subtraction borrows out of the window's top
// limb; the divisor is added back once and q decreased. This happens with
// probability about 2 / b per digit, so the tests drive it with operands made
// to trigger it.
#include <algorithm>
#include <atomic>
#include <memory>

#include "base/alarm.h"
#include "base/wipe.h"
#include "rsa/bigint.h"

namespace {

std::atomic<uint64_t> g_addBacks{0};

// A scratch array of limbs that is wiped when it dies: division works on key
// material.
class Scratch {
 public:
  explicit Scratch(uint32_t n) : limbs_(std::make_unique<uint16_t[]>(n)), n_(n) {}
  ~Scratch() { orvo::SecureWipe(limbs_.get(), sizeof(uint16_t) * n_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  uint16_t& operator[](uint32_t i) { return limbs_[i]; }
  uint16_t* get() { return limbs_.get(); }

 private:
  std::unique_ptr<uint16_t[]> limbs_;
  uint32_t n_;
};

}  // namespace

XBigInt& XBigInt::DivMod(const XBigInt& divisor, XBigInt* remainder) {
  if (divisor.IsZero()) throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA");
  const uint32_t n = divisor.Count();
  const uint32_t m = Count();
  if (m < n) {
    if (remainder != nullptr) *remainder = *this;
    return Set(0);
  }

  // Normalisation: u = dividend * f with one extra limb on top, v = divisor * f.
  const uint32_t f = 65536 / (uint32_t{divisor.Limb(n - 1)} + 1);
  Scratch u(m + 1);
  Scratch v(n);
  uint32_t carry = 0;
  for (uint32_t i = 0; i < m; ++i) {
    const uint32_t t = uint32_t{Limb(i)} * f + carry;
    u[i] = static_cast<uint16_t>(t);
    carry = t >> 16;
  }
  u[m] = static_cast<uint16_t>(carry);
  carry = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t t = uint32_t{divisor.Limb(i)} * f + carry;
    v[i] = static_cast<uint16_t>(t);
    carry = t >> 16;
  }
  const int64_t w1 = v[n - 1];
  const int64_t w2 = n >= 2 ? v[n - 2] : 0;

  Scratch quotient(m - n + 1);
  for (uint32_t j = m - n + 1; j-- > 0;) {
    // The window is u[j .. j + n]; u0, u1, u2 are its top three limbs.
    const int64_t u0 = u[j + n];
    const int64_t u1 = u[j + n - 1];
    const int64_t u2 = j + n >= 2 ? u[j + n - 2] : 0;
    int64_t q = u0 == w1 ? 65535 : (u0 * 65536 + u1) / w1;
    while (q * w2 > (u0 * 65536 + u1 - q * w1) * 65536 + u2) --q;

    if (q != 0) {
      // u[j .. j + n] -= q * v, limb by limb with a product carry and a borrow.
      uint32_t productCarry = 0;
      uint32_t borrow = 0;
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t product = static_cast<uint32_t>(q) * v[i] + productCarry;
        productCarry = product >> 16;
        const uint32_t difference = uint32_t{u[j + i]} - (product & 0xFFFF) - borrow;
        u[j + i] = static_cast<uint16_t>(difference);
        borrow = (difference >> 16) & 1;
      }
      const uint32_t top = uint32_t{u[j + n]};
      if (top < productCarry + borrow) {
        // The estimate was one too large: add the divisor back once. The carry
        // out of the window cancels the borrow taken from it.
        --q;
        g_addBacks.fetch_add(1, std::memory_order_relaxed);
        uint32_t addCarry = 0;
        for (uint32_t i = 0; i < n; ++i) {
          const uint32_t sum = uint32_t{u[j + i]} + v[i] + addCarry;
          u[j + i] = static_cast<uint16_t>(sum);
          addCarry = sum >> 16;
        }
      }
      u[j + n] = 0;  // the window's top limb is spent
    }
    quotient[j] = static_cast<uint16_t>(q);
  }

  if (remainder != nullptr) {
    // Undo the normalisation: short division of u[0 .. n-1] by f.
    Scratch r(n);
    uint32_t rest = 0;
    for (uint32_t i = n; i-- > 0;) {
      const uint32_t t = (rest << 16) | u[i];
      r[i] = static_cast<uint16_t>(t / f);
      rest = t % f;
    }
    remainder->AssignLimbs(r.get(), n);
  }
  return AssignLimbs(quotient.get(), m - n + 1);
}

uint64_t orvo::DivisionAddBacks() { return g_addBacks.load(std::memory_order_relaxed); }

XBigInt& XBigInt::Modulo(const XBigInt& divisor) {
  XBigInt quotient(*this);
  quotient.DivMod(divisor, this);
  return *this;
}
