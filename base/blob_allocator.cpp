#include "base/blob_allocator.h"

#include <atomic>
#include <new>

#include "base/test_hooks.h"

namespace orvo {

namespace {

std::atomic<std::size_t> g_limitForTesting{0};

}  // namespace

void* BlobAlloc(std::size_t n) {
  if (n == 0) n = 1;
  const std::size_t limit = g_limitForTesting.load(std::memory_order_relaxed);
  void* p = limit != 0 && n > limit ? nullptr : detail::PlatformBlobAlloc(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void SetBlobAllocationLimitForTesting(std::size_t maxBytes) {
  g_limitForTesting.store(maxBytes, std::memory_order_relaxed);
}

}  // namespace orvo
