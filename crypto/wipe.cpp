#include "crypto/wipe.h"

#include <cstring>

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept {
  if (n == 0) return;
  std::memset(p, 0, n);
  // Tell the compiler that the zeroed memory is used, so that the stores stay
  // even where nothing reads the bytes again (also under link-time optimisation).
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

}  // namespace orvo
