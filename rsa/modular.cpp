// Modular multiplication and exponentiation, Euclid's gcd and the modular
// inverse by the extended Euclidean algorithm (Knuth, vol. 2, 4.5.2).
#include "rsa/modular.h"

#include "rsa/montgomery.h"

namespace orvo::reference {

XBigInt PowMod(const XBigInt& base, const XBigInt& e, const XBigInt& m) {
  XBigInt result(1);
  XBigInt b(base);
  const uint32_t bits = e.BitLength();
  for (uint32_t i = 0; i < bits; ++i) {
    if (e.Bit(i)) result.MulMod(b, m);
    b.MulMod(b, m);
  }
  return result;
}

}  // namespace orvo::reference

XBigInt& XBigInt::MulMod(const XBigInt& b, const XBigInt& m) {
  Multiply(b);
  return Modulo(m);
}

XBigInt& XBigInt::PowMod(const XBigInt& e, const XBigInt& m) {
  if (m.IsEven() || m.Compare(XBigInt(1)) == 0 || m.BitLength() > 64 * orvo::MontgomeryModulus::kMaxWords) {
    // Even moduli (no caller in this system uses one), 1 and huge moduli take
    // the limb-wise route; Montgomery form needs an odd modulus above 1.
    return *this = orvo::reference::PowMod(*this, e, m);
  }
  return *this = orvo::MontgomeryModulus(m).Pow(*this, e);
}

XBigInt& XBigInt::Gcd(const XBigInt& other) {
  XBigInt b(other);
  while (!b.IsZero()) {
    XBigInt t(*this);
    t.Modulo(b);
    *this = std::move(b);
    b = std::move(t);
  }
  return *this;
}

XBigInt& XBigInt::InverseMod(const XBigInt& m) {
  // Coefficients stay non-negative; their sign alternates, tracked by `even`.
  XBigInt a(*this);
  XBigInt b(m);
  XBigInt x1(1);
  XBigInt x0(0);
  bool even = true;
  while (!b.IsZero()) {
    XBigInt r;
    XBigInt q(a);
    q.DivMod(b, &r);
    XBigInt t(q);
    t.Multiply(x0).Add(x1);
    x1 = std::move(x0);
    x0 = std::move(t);
    a = std::move(b);
    b = std::move(r);
    even = !even;
  }
  if (even) return *this = x1;
  XBigInt result(m);
  return *this = result.Subtract(x1);
}
