// How much arithmetic an RSA operation on a fuzzed key costs, so that targets
// can leave out keys far beyond what they need to reach the code: a blob of a
// few hundred bytes can carry a 5000-bit modulus with a 5000-bit exponent,
// whose one exponentiation takes as long under the sanitizers as a thousand
// ordinary inputs, and adds no code that a 2048-bit modulus with a short
// exponent (the largest fixed-size kernel) or a 1024-bit key does not reach.
#pragma once

#include <cstdint>

#include "rsa/bigint.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_operations.h"

namespace orvo::fuzz {

// Word products of one exponentiation, roughly: modulus words squared times
// exponent bits.
inline uint64_t PowWork(const XBigInt& modulus, const XBigInt& exponent) {
  const uint64_t words = (uint64_t{modulus.BitLength()} + 63) / 64;
  return words * words * exponent.BitLength();
}

// One exponentiation with a full exponent modulo a 1024-bit number.
inline constexpr uint64_t kPowWorkBound = uint64_t{16} * 16 * 1024;

// Verify raises to e modulo n.
inline bool PublicWithinBound(const XRSAKey& key) { return PowWork(key.n, key.e) <= kPowWorkBound; }

// Encrypt also draws a seed again while the encoded block is not below n:
// about 2^t times for a modulus t bits shorter than the block (up to
// 28 * 2^12 draws of a few SHA-1 digests each, per block). Draws continue
// for t up to 6 (every loop-count bucket of the draw loop stays reachable),
// and keys refused at once (t beyond kMaxPaddingDeficit) still run.
inline bool EncryptWithinBound(const XRSAKey& key) {
  if (!PublicWithinBound(key)) return false;
  const uint64_t blockBits = 8 * (uint64_t{key.size} - 1);
  const uint64_t bits = key.n.BitLength();
  return key.size == 0 || bits + 6 >= blockBits || orvo::PaddingDrawLimit(key.n, key.size) == 0;
}

// Decrypt raises to d modulo n, or to dP and dQ modulo p and q; Sign takes
// the second way.
inline bool PrivateWithinBound(const XRSAKey& key) {
  return PowWork(key.n, key.d) <= kPowWorkBound && PowWork(key.p, key.dP) + PowWork(key.q, key.dQ) <= kPowWorkBound;
}

}  // namespace orvo::fuzz
