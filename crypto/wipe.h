// Wiping secrets: key bytes, schedules, private numbers and seeds are cleared
// when their owner dies, with stores the compiler may not remove.
#pragma once

#include <cstddef>

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept;

}  // namespace orvo
