// What tests, fuzzers and benchmarks may change in the RSA layer. Nothing
// else calls these.
#pragma once

#include <cstdint>

namespace orvo {

// The entropy source behind Encrypt's seeds (SystemEntropy by default).
using EntropySource = void (*)(uint8_t* out, uint32_t n);
// Installs a source (null restores the default); returns the previous one.
EntropySource SetPaddingEntropyForTesting(EntropySource source);

}  // namespace orvo
