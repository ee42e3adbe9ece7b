// The stand-in's heap and its test hook.
#include "standin/heap.h"

#include <atomic>
#include <cstdlib>

#include "standin/windows_standin.h"

namespace {

std::atomic<int (*)()> failHook{nullptr};
std::atomic<void (*)(int)> countHook{nullptr};

}  // namespace

extern "C" {

void StandinSetAllocationHooksForTesting(int (*fail)(), void (*counted)(int delta)) {
  failHook.store(fail);
  countHook.store(counted);
}

int StandinTestAllocationFails() {
  int (*const hook)() = failHook.load(std::memory_order_relaxed);
  return hook != nullptr && hook() != 0 ? 1 : 0;
}

void StandinTestAllocationCounted(int delta) {
  void (*const hook)(int) = countHook.load(std::memory_order_relaxed);
  if (hook != nullptr) hook(delta);
}

}  // extern "C"

namespace standin {

void* Allocate(std::size_t n, bool zeroed) {
  if (StandinTestAllocationFails() != 0) return nullptr;
  void* p = zeroed ? std::calloc(1, n == 0 ? 1 : n) : std::malloc(n == 0 ? 1 : n);
  if (p != nullptr) StandinTestAllocationCounted(1);
  return p;
}

void* Reallocate(void* p, std::size_t n) {
  if (p == nullptr) return Allocate(n);
  if (StandinTestAllocationFails() != 0) return nullptr;
  return std::realloc(p, n == 0 ? 1 : n);
}

void Free(void* p) {
  if (p == nullptr) return;
  StandinTestAllocationCounted(-1);
  std::free(p);
}

}  // namespace standin
