// What tests, fuzzers and benchmarks may change in the RSA layer. Nothing
// else calls these.
#pragma once

#include <cstdint>

class XBigInt;

namespace orvo {

// The entropy source behind Encrypt's seeds (SystemEntropy by default).
using EntropySource = void (*)(uint8_t* out, uint32_t n);
// Installs a source (null restores the default); returns the previous one.
EntropySource SetPaddingEntropyForTesting(EntropySource source);

// The prime search behind key generation: a probable prime at or above
// `from` (orvo::NextPrime by default). A fuzzer that generates thousands of
// keys a second installs a cheaper one; whatever it returns must be prime.
using PrimeSearch = XBigInt (*)(const XBigInt& from);
// Installs a search (null restores the default); returns the previous one.
PrimeSearch SetPrimeSearchForTesting(PrimeSearch search);

}  // namespace orvo
