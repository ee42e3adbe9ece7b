// The Montgomery multiplication kernels behind MontgomeryModulus, one per
// instruction set, chosen at run time:
//
// - portable: 64-bit words, product scanning in plain C++ (every build);
// - mulx: 64-bit words, operand scanning on MULX and ADC (x86-64 with BMI2
//   and ADX);
// - ifma: 52-bit limbs in 64-bit lanes of AVX-512 registers, on the
//   VPMADD52LUQ/VPMADD52HUQ multiply-adds (x86-64 with AVX-512F and IFMA),
//   for moduli of up to kIfmaMaxBits bits.
//
// A kernel works on n limbs of limbBits bits, least significant first, with
// R = 2^(limbBits * n): r = a * b * R^-1 mod m for a, b < m, fully reduced,
// r may alias a or b. m0inv is -m^-1 mod 2^limbBits. Every kernel gives the
// same value for the same limb radix; the radixes differ only in R, which
// MontgomeryModulus converts in and out of.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo {

enum class MontPath { kPortable, kMulx, kIfma };

// Two products under two moduli of the same limb count, computed together:
// r[i] = a[i] * b[i] * R^-1 mod m[i].
struct MontPair {
  uint64_t* r[2];
  const uint64_t* a[2];
  const uint64_t* b[2];
  const uint64_t* m[2];
  uint64_t m0inv[2];
};

struct MontKernel {
  MontPath path = MontPath::kPortable;
  unsigned limbBits = 64;
  size_t limbs = 0;  // n
  void (*mul)(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t m0inv, size_t n) = nullptr;
  void (*sqr)(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv, size_t n) = nullptr;
  // Both products of a MontPair at once; null where the kernel has no gain
  // from pairing.
  void (*mulPair)(const MontPair& pair, size_t n) = nullptr;
  // out = entry `index` of a table of `entries` entries of n limbs, read
  // without a branch or an address that depends on the index; null where the
  // caller's own masked pass serves.
  void (*gather)(uint64_t* out, const uint64_t* table, uint32_t entries, uint32_t index, size_t n) = nullptr;
};

// The longest modulus the ifma kernel takes (five registers of eight limbs).
constexpr uint32_t kIfmaMaxBits = 40 * 52 - 1;

// Whether this build has `path` and the processor lets it run now (the
// CPU-feature override of base/test_hooks.h hides features from it).
bool MontPathUsable(MontPath path);

// The path MontgomeryModulus takes for a modulus of `bits` bits now: the
// fastest usable one that takes the length.
MontPath MontPathFor(uint32_t bits);

// The path's name as `orvocrypto --version` prints it: portable, mulx or ifma.
const char* MontPathName(MontPath path);

// The kernel of `path` for a modulus of `bits` bits (at least 1); `path` must
// be usable and take the length.
MontKernel MontKernelFor(MontPath path, uint32_t bits);

// The kernels of each instruction set; only montgomery_kernels.cpp calls them
// (and the tests IfmaFinishForTesting).
namespace mont_detail {
bool MulxCompiled();
bool IfmaCompiled();
void MulxSelect(MontKernel& kernel);
void IfmaSelect(MontKernel& kernel);
// The ifma kernel's last stage alone, for tests: r = the value of n 64-bit
// lanes of 52-bit weight (below 2m) reduced under m (n limbs of 52 bits).
// False where the kernel cannot run.
bool IfmaFinishForTesting(uint64_t* r, const uint64_t* lanes, const uint64_t* m, size_t n);
}  // namespace mont_detail

}  // namespace orvo
