// What tests and benchmarks may change in XAES: the block path, forced
// through the CPU-feature override (base/test_hooks.h).
#pragma once

#include "base/test_hooks.h"
#include "crypto/aes.h"

namespace orvo::aes {

// While it lives, XAES takes `engine` (where the processor has what it needs,
// EngineAvailable): hides the features of the wider paths and shows those
// this one needs, undoing any enclosing override. Nests as the overrides do.
class ScopedEngineForTesting {
 public:
  explicit ScopedEngineForTesting(Engine engine)
      : aesNi_(cpu::Feature::kAesNi, engine != Engine::kTable),
        vaes_(cpu::Feature::kVaes, engine == Engine::kVaes256 || engine == Engine::kVaes512),
        avx512_(cpu::Feature::kAvx512, engine == Engine::kVaes512) {}

 private:
  cpu::ScopedFeatureOverride aesNi_, vaes_, avx512_;
};

}  // namespace orvo::aes
