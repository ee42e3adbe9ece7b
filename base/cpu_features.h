// Run-time detection of the x86-64 instructions that the hardware paths use
// (AES-NI, SHA extensions, PCLMULQDQ, SSE4.1, SSSE3; AVX2, VAES and AVX-512F
// for the wide AES paths; BMI2, ADX and AVX-512 IFMA for the RSA kernels; BMI1
// for the Blowfish and Twofish S-box indices). Other processors report none.
#pragma once

#include <atomic>

namespace orvo::cpu {

struct Features {
  bool aesni = false;
  bool pclmulqdq = false;
  bool sse41 = false;
  bool ssse3 = false;
  bool sha = false;
  // The wide registers count only where the operating system saves them
  // (XCR0): avx2 and vaes need the ymm state, avx512f the zmm state too.
  bool avx2 = false;
  bool vaes = false;
  bool avx512f = false;
  // The RSA Montgomery kernels: MULX with ADX, and AVX-512F with IFMA (the
  // latter only where the operating system saves the AVX-512 registers).
  bool bmi2 = false;
  bool adx = false;
  bool avx512ifma = false;
  bool bmi1 = false;  // BEXTR (Blowfish and Twofish S-box indices)
};

// What the processor has. Read once per process; cheap to call.
const Features& Detected();

// What the hardware paths may use now: Detected() less the features that a
// ScopedFeatureOverride (base/test_hooks.h) hides. Every hardware path asks
// this, call by call, before it takes the processor's instructions.
Features Usable();

namespace detail {
// The features a ScopedFeatureOverride hides from the hardware paths, a set of
// Feature bits (0 in production).
inline std::atomic<unsigned> g_hidden{0};
}  // namespace detail

// True while no ScopedFeatureOverride hides anything, so that Usable() is
// Detected(): a single load, inlined, for paths that cache their choice for
// that case and are called per block run.
inline bool NothingHidden() { return detail::g_hidden.load(std::memory_order_relaxed) == 0; }

// The body of a hardware path's stand-in, compiled for processors without the
// instructions (the AES-NI, VAES, SHA and carry-less multiplication paths off
// x86). Usable() reports none of those features there, and every caller asks
// it first, so no stand-in is ever called. Should a broken check call one, it
// traps at once: a stand-in that returned would leave its output unwritten,
// and a cipher would hand back stale or plain bytes as its result.
[[noreturn]] inline void HardwarePathUnreachable() noexcept { __builtin_trap(); }

}  // namespace orvo::cpu
