// Run-time detection of the x86-64 instructions that the hardware paths use
// (AES-NI, SHA extensions, PCLMULQDQ, SSE4.1, SSSE3). Other processors report none.
#pragma once

namespace orvo::cpu {

struct Features {
  bool aesni = false;
  bool pclmulqdq = false;
  bool sse41 = false;
  bool ssse3 = false;
  bool sha = false;
  bool avx2 = false;
};

// Read once per process; cheap to call.
const Features& Detected();

}  // namespace orvo::cpu
