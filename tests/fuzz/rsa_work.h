// The one RSA cost the fuzz targets still steer around: Encrypt draws a new
// padding seed while the encoded block is not below n, about 2^t times per
// block for a modulus t bits shorter than the block (up to 28 * 2^12 draws of
// a few SHA-1 digests each). That loop is bounded by design and has nothing
// to find beyond its first few counts. Every other cost is left to the
// library, which bounds each number of a key by its size and refuses the
// rest at once: the targets run every operation on every key they load.
#pragma once

#include <cstdint>

#include "rsa/rsa_key.h"
#include "rsa/rsa_operations.h"

namespace orvo::fuzz {

// Encrypt runs for moduli at most six bits short of their block (every
// loop-count bucket of the draw loop stays reachable) and for keys it refuses
// at once (t beyond kMaxPaddingDeficit).
inline bool FewPaddingDraws(const XRSAKey& key) {
  const uint64_t blockBits = 8 * (uint64_t{key.size} - 1);
  const uint64_t bits = key.n.BitLength();
  return key.size == 0 || bits + 6 >= blockBits || orvo::PaddingDrawLimit(key.n, key.size) == 0;
}

}  // namespace orvo::fuzz
