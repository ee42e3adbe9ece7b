// Run-time detection of the x86-64 instructions that the hardware paths use
// (AES-NI, SHA extensions, PCLMULQDQ, SSE4.1, SSSE3, BMI1). Other processors report none.
#pragma once

namespace orvo::cpu {

struct Features {
  bool aesni = false;
  bool pclmulqdq = false;
  bool sse41 = false;
  bool ssse3 = false;
  bool sha = false;
  bool bmi1 = false;  // BEXTR (Blowfish and Twofish S-box indices)
};

// What the processor has. Read once per process; cheap to call.
const Features& Detected();

// What the hardware paths may use now: Detected() less the features that a
// ScopedFeatureOverride (base/test_hooks.h) hides. Every hardware path asks
// this, call by call, before it takes the processor's instructions.
Features Usable();

}  // namespace orvo::cpu
