// The clock-seeded random generator behind the Misc object's Random member.
#pragma once

#include <cstdint>

#include "base/xblob.h"

// n bytes: the first n bytes of MD5(C) || MD5(C+1) || ..., where C is the
// 128-bit big-endian counter whose bytes 0..3 are the clock's seconds since
// 1970 (low 32 bits, most significant first), bytes 4..15 come from the
// operating system's entropy source, and to which MD5 of the four clock bytes
// has been added modulo 2^128.
XBlob RandomBytes(uint32_t n);

namespace orvo {

// The operating system's entropy source (getrandom; RtlGenRandom on Windows).
// When the system cannot give entropy it throws (std::system_error,
// std::runtime_error): the call that wanted it fails, no byte is made up, and
// the process lives on.
void SystemEntropy(uint8_t* out, uint32_t n);

}  // namespace orvo
