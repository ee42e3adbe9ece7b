// Run-time detection of the x86-64 instructions that the hardware paths use
// (AES-NI, SHA extensions, PCLMULQDQ, SSE4.1, SSSE3; AVX2, VAES and AVX-512F
// for the wide AES paths; BMI2, ADX and AVX-512 IFMA for the RSA kernels; BMI1
// for the Blowfish and Twofish S-box indices). Other processors report none.
//
// The environment variable ORVOCRYPTO_HIDE_CPU_FEATURES hides features from
// every path, in every product, for the whole process: a comma-separated list
// of names as /proc/cpuinfo spells them (see WithoutNamed). Hiding a feature
// can only send work to a slower path with the same results.
#pragma once

#include <string_view>

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

// The name of the environment variable read by Detected().
inline constexpr char kHideVariable[] = "ORVOCRYPTO_HIDE_CPU_FEATURES";

// `features` less those that `names` names, with what depends on them. `names`
// is a comma-separated list of /proc/cpuinfo's names, in any case, with white
// space around each name allowed: aes (hides aesni and vaes), pclmulqdq,
// sse4_1, ssse3, sha_ni (sha), avx2 (also vaes), vaes, avx512f (also
// avx512ifma, and with it the 512-bit VAES path), avx512ifma, bmi1, bmi2, adx.
// Other names, vpclmulqdq included (no path uses it), and empty items are
// ignored; any text is safe.
Features WithoutNamed(Features features, std::string_view names);

// What the processor has, less what ORVOCRYPTO_HIDE_CPU_FEATURES hides
// (WithoutNamed). Both are read once per process, on the first call; cheap to
// call.
const Features& Detected();

// What the hardware paths may use now: Detected() less the features that a
// ScopedFeatureOverride (base/test_hooks.h) hides. Every hardware path asks
// this, call by call, before it takes the processor's instructions, except
// AES, which takes its engine from Detected() once per key (crypto/aes.h).
Features Usable();


// The body of a hardware path's stand-in, compiled for processors without the
// instructions (the AES-NI, VAES, SHA and carry-less multiplication paths off
// x86). Detected(), and so Usable(), reports none of those features there,
// and every caller asks first, so no stand-in is ever called. Should a broken
// check call one, it traps at once: a stand-in that returned would leave its
// output unwritten, and a cipher would hand back stale or plain bytes as its
// result.
[[noreturn]] inline void HardwarePathUnreachable() noexcept { __builtin_trap(); }

}  // namespace orvo::cpu
