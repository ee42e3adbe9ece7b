#include "tests/sweep/failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "xatlcom/platform.h"

namespace {

std::atomic<long> live{0};
std::atomic<long> countdown{0};  // 0: nothing planted
std::atomic<bool> happened{false};

bool FailsNow() {
  if (countdown.load(std::memory_order_relaxed) == 0) return false;
  if (countdown.fetch_sub(1) != 1) return false;
  happened = true;
  return true;
}

void* Take(std::size_t n, std::size_t alignment) noexcept {
  if (FailsNow()) return nullptr;
  if (n == 0) n = 1;
  void* p = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    p = std::malloc(n);
  } else if (posix_memalign(&p, alignment, n) != 0) {
    p = nullptr;
  }
  if (p != nullptr) ++live;
  return p;
}

void* TakeOrThrow(std::size_t n, std::size_t alignment) {
  void* p = Take(n, alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void Give(void* p) noexcept {
  if (p == nullptr) return;
  --live;
  std::free(p);
}

int StandinFails() { return FailsNow() ? 1 : 0; }
void StandinCounted(int delta) { live += delta; }

// The stand-in's hook is set before main runs, so that every block the layer
// hands out is counted from the start.
[[maybe_unused]] const bool hooksInstalled = [] {
  StandinSetAllocationHooksForTesting(&StandinFails, &StandinCounted);
  return true;
}();

constexpr std::size_t kPlain = alignof(std::max_align_t);

}  // namespace

namespace sweep {

bool FailAllocation(long n) {
  const bool was = happened.exchange(false);
  countdown = n;
  return was;
}

long LiveBlocks() { return live.load(); }

}  // namespace sweep

void* operator new(std::size_t n) { return TakeOrThrow(n, kPlain); }
void* operator new[](std::size_t n) { return TakeOrThrow(n, kPlain); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Take(n, kPlain); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Take(n, kPlain); }
void* operator new(std::size_t n, std::align_val_t a) { return TakeOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return TakeOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Take(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Take(n, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete(void* p, std::align_val_t) noexcept { Give(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Give(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Give(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Give(p); }
