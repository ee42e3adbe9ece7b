// Wiping secrets: key bytes, schedules, private numbers and seeds are cleared
// when their owner dies, with stores the compiler may not remove.
#pragma once

#include <cstddef>

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept;

// Wipes the stack just below the caller's frame (kDeadStackWipe bytes): what a
// call the caller has just made left there, such as round keys the compiler
// spilled to slots of its own. For functions whose frames are known to be
// smaller.
inline constexpr std::size_t kDeadStackWipe = 1024;
void WipeDeadStack() noexcept;

}  // namespace orvo
