// Bytes 1 and 2 of a 32-bit word (bits 8..15 and 16..23): the S-box indices
// of Blowfish and Twofish that take two instructions with a shift and a mask.
// PortableFields shifts and masks; Bmi1Fields takes each with one BEXTR and
// runs only where the processor has BMI1. WithByteFields(body) calls
// body(Bmi1Fields{}) where cpu::Usable() shows BMI1, body(PortableFields{})
// otherwise; code templated over the fields gives the same results with both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/cpu_features.h"

namespace orvo {

// The fields come as table indices (size_t).
struct PortableFields {
  static size_t Byte1(uint32_t x) { return (x >> 8) & 0xFF; }
  static size_t Byte2(uint32_t x) { return (x >> 16) & 0xFF; }
};

#if defined(__x86_64__) || defined(__i386__)
struct Bmi1Fields {
  static size_t Byte1(uint32_t x) { return Extract(x, 0x0808); }
  static size_t Byte2(uint32_t x) { return Extract(x, 0x0810); }
  // BEXTR: `length` bits from bit `start`, with control = length << 8 | start.
  // Written out, so that the compiler needs no BMI1 code generation for it.
  // The 32-bit instruction clears the upper half of a 64-bit register, and
  // the output is the whole register, so that no extension follows it.
  static size_t Extract(uint32_t x, uint32_t control) {
    size_t bits;
    __asm__("bextr %k2, %k1, %k0" : "=r"(bits) : "r"(x), "r"(control));
    return bits;
  }
};

template <typename Body>
inline void WithByteFields(Body&& body) {
  if (cpu::Usable().bmi1) {
    body(Bmi1Fields{});
  } else {
    body(PortableFields{});
  }
}
#else
template <typename Body>
inline void WithByteFields(Body&& body) {
  body(PortableFields{});
}
#endif

// The S-box index path WithByteFields takes now, as `orvocrypto --version`
// names it: bmi1 or portable.
inline const char* ByteFieldsInUse() {
#if defined(__x86_64__) || defined(__i386__)
  if (cpu::Usable().bmi1) return "bmi1";
#endif
  return "portable";
}

}  // namespace orvo
