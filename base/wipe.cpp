#include "base/wipe.h"

#include <cstring>

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept {
  if (n == 0) return;
  std::memset(p, 0, n);
  // The empty statement claims to read the memory at p, so the compiler must
  // keep the stores above even when the block is freed right afterwards.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

__attribute__((noinline)) void WipeDeadStack() noexcept {
  unsigned char region[kDeadStackWipe];
  SecureWipe(region, sizeof region);
}

__attribute__((noinline)) void WipeDeadStack(std::size_t bytes) noexcept {
  // The region sits right below this frame's saved registers, where the
  // measured call's frames were.
  void* region = __builtin_alloca(bytes);
  SecureWipe(region, bytes);
}

}  // namespace orvo
