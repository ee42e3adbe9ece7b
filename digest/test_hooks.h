// What tests, fuzzers and benchmarks may change in the digest layer. Nothing
// else calls these.
#pragma once

#include <cstdint>

namespace orvo {

// Sources behind RandomBytes (digest/random.h).
struct RandomSources {
  uint32_t (*clock)();                          // whole seconds since 1970-01-01 UTC
  void (*entropy)(uint8_t* out, uint32_t n);    // operating-system entropy
};
// Installs new sources (null restores the defaults); returns the previous ones.
RandomSources SetRandomSourcesForTesting(const RandomSources* sources);

}  // namespace orvo
