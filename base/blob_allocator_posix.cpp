// Native builds: plain malloc/free (the stand-in COM task allocator uses the same heap).
// In the test builds of the core (ORVO_TEST_HOOKS) the stand-in layer's
// allocation hook (windows_standin.h), when that layer is loaded, sees every
// block too, as it sees the task allocator's; programs without the stand-in
// leave the weak references null. The core that ships has no such reference.
#include <cstdlib>

#include "base/blob_allocator.h"

#if ORVO_TEST_HOOKS
extern "C" {
int StandinTestAllocationFails() __attribute__((weak));
void StandinTestAllocationCounted(int delta) __attribute__((weak));
}
#endif

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept {
#if ORVO_TEST_HOOKS
  if (StandinTestAllocationFails != nullptr && StandinTestAllocationFails() != 0) return nullptr;
  void* p = std::malloc(n);
  if (p != nullptr && StandinTestAllocationCounted != nullptr) StandinTestAllocationCounted(1);
  return p;
#else
  return std::malloc(n);
#endif
}

void BlobFree(void* p) {
  if (p == nullptr) return;
#if ORVO_TEST_HOOKS
  if (StandinTestAllocationCounted != nullptr) StandinTestAllocationCounted(-1);
#endif
  std::free(p);
}

}  // namespace orvo
