#include "base/blob_allocator.h"

#include <atomic>
#include <new>

#include "base/test_hooks.h"

namespace orvo {

#if ORVO_TEST_HOOKS
namespace {

std::atomic<std::size_t> g_limitForTesting{0};

}  // namespace
#endif

void* BlobAlloc(std::size_t n) {
  if (n == 0) n = 1;
#if ORVO_TEST_HOOKS
  const std::size_t limit = g_limitForTesting.load(std::memory_order_relaxed);
  void* p = limit != 0 && n > limit ? nullptr : detail::PlatformBlobAlloc(n);
#else
  void* p = detail::PlatformBlobAlloc(n);
#endif
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

#if ORVO_TEST_HOOKS
void SetBlobAllocationLimitForTesting(std::size_t maxBytes) {
  g_limitForTesting.store(maxBytes, std::memory_order_relaxed);
}
#endif

}  // namespace orvo
