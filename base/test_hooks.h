// What tests, fuzzers and benchmarks may change in the base layer. Nothing
// else calls these.
#pragma once

#include <cstddef>

namespace orvo {

// Blocks of more than `maxBytes` fail as if memory had run out (0, the
// default, sets no limit).
void SetBlobAllocationLimitForTesting(std::size_t maxBytes);

}  // namespace orvo

namespace orvo::cpu {

// The processor features the hardware paths use (base/cpu_features.h).
// AES is not among them: it takes its engine once per key, and tests name
// the engine they want (crypto/aes.h).
enum class Feature : unsigned {
  kPclmulqdq = 1u << 1,
  kSse41 = 1u << 2,
  kSsse3 = 1u << 3,
  kSha = 1u << 4,
  kBmi2 = 1u << 16,
  kAdx = 1u << 17,
  kAvx512Ifma = 1u << 18,
  kBmi1 = 1u << 19,
};

// While it lives, `feature` is hidden from the hardware paths (usable = false:
// the portable code runs in their place) or shown again where the processor
// has it (usable = true, undoing an enclosing override). Hiding the SHA
// extensions selects the portable SHA-1, hiding
// PCLMULQDQ the slicing-by-16 CRC-32, hiding BMI1 Blowfish and Twofish with
// shifts and masks for their S-box indices; both paths of each give the same results.
// The setting is process-wide, for tests on one thread; overrides nest, and
// each restores on destruction what it found.
class ScopedFeatureOverride {
 public:
  explicit ScopedFeatureOverride(Feature feature, bool usable = false);
  ~ScopedFeatureOverride();
  ScopedFeatureOverride(const ScopedFeatureOverride&) = delete;
  ScopedFeatureOverride& operator=(const ScopedFeatureOverride&) = delete;

 private:
  unsigned previous_;
};

}  // namespace orvo::cpu
