// The probable-prime search behind RSA key generation: trial division by the
// primes up to 20393, then one Fermat test to base 2. XBigInt::NextPrime is
// declared in bigint.h.
#pragma once

#include <cstdint>

#include "rsa/bigint.h"

inline constexpr uint32_t kSmallPrimeCount = 2304;
// The first 2304 primes, 2 to 20393 (small_primes.cpp).
extern const uint16_t kSmallPrimes[kSmallPrimeCount];

namespace orvo {

// NextPrime in functional form: x is left unchanged.
XBigInt NextPrime(const XBigInt& x);

// The strong probable-prime test (Miller-Rabin) to the bases 2, 3, 5 and 7,
// after trial division by kSmallPrimes. Composites that pass all four exist
// only when built for the purpose; no composite below 3.2 * 10^12 passes.
bool IsStrongProbablePrime(const XBigInt& x);

namespace reference {

// The search exactly as stated: each candidate takes a full Modulo by every
// table prime in turn and, when none divides it, reference::PowMod(2, c-1, c).
XBigInt NextPrime(const XBigInt& x);

}  // namespace reference
}  // namespace orvo
