// Native builds: plain malloc/free (the stand-in COM task allocator uses the same heap).
// When the stand-in layer is loaded, its allocation hook (windows_standin.h)
// sees every block too, as it sees the task allocator's; programs without the
// stand-in (the command-line tool) leave the weak references null.
#include <cstdlib>

#include "base/blob_allocator.h"

extern "C" {
int StandinTestAllocationFails() __attribute__((weak));
void StandinTestAllocationCounted(int delta) __attribute__((weak));
}

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept {
  if (StandinTestAllocationFails != nullptr && StandinTestAllocationFails() != 0) return nullptr;
  void* p = std::malloc(n);
  if (p != nullptr && StandinTestAllocationCounted != nullptr) StandinTestAllocationCounted(1);
  return p;
}

void BlobFree(void* p) {
  if (p == nullptr) return;
  if (StandinTestAllocationCounted != nullptr) StandinTestAllocationCounted(-1);
  std::free(p);
}

}  // namespace orvo
