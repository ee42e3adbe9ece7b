// Constant-time helpers: masks from comparisons without branches, and the
// points where a secret's derived value is declared public.
//
// Built with ORVO_CT_CHECK (the `ct` stage of scripts/test), Classify marks
// bytes as undefined for valgrind's memcheck and Declassify marks them
// defined again, so that under valgrind every branch or memory address that
// depends on a classified byte is reported, except past a Declassify. In
// every other build both do nothing. Each Declassify in the library names
// what it makes public and why that is public (a result, a length, a verdict).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(ORVO_CT_CHECK) && ORVO_CT_CHECK
#include <valgrind/memcheck.h>
#endif

namespace orvo::ct {

inline void Classify(const void* p, std::size_t n) {
#if defined(ORVO_CT_CHECK) && ORVO_CT_CHECK
  (void)VALGRIND_MAKE_MEM_UNDEFINED(p, n);
#else
  (void)p;
  (void)n;
#endif
}

inline void Declassify(const void* p, std::size_t n) {
#if defined(ORVO_CT_CHECK) && ORVO_CT_CHECK
  (void)VALGRIND_MAKE_MEM_DEFINED(p, n);
#else
  (void)p;
  (void)n;
#endif
}

// The value, declared public.
template <typename T>
inline T Declassified(T value) {
  Declassify(&value, sizeof value);
  return value;
}

// Masks: all ones for true, zero for false. The optimiser is kept from
// turning them back into branches by an empty asm that hides the value.
inline uint64_t Opaque(uint64_t x) {
#if defined(__GNUC__)
  __asm__("" : "+r"(x));
#endif
  return x;
}
inline uint64_t MaskOfBit(uint64_t bit) { return Opaque(0 - (bit & 1)); }
inline uint64_t IsZeroMask(uint64_t x) { return MaskOfBit(~(x | (0 - x)) >> 63); }
inline uint64_t IsNonZeroMask(uint64_t x) { return ~IsZeroMask(x); }
inline uint64_t EqualMask(uint64_t a, uint64_t b) { return IsZeroMask(a ^ b); }
// a < b for unsigned words: the borrow of a - b.
inline uint64_t LessMask(uint64_t a, uint64_t b) { return MaskOfBit(((~a & b) | (~(a ^ b) & (a - b))) >> 63); }
inline uint64_t Select(uint64_t mask, uint64_t ifSet, uint64_t ifClear) { return (ifSet & mask) | (ifClear & ~mask); }

}  // namespace orvo::ct
