// This test build's global allocation functions, every form: blocks carry
// their size in a header, and each is scanned for registered secrets as it is
// freed (secret_scan.h).
#include <cstddef>
#include <new>

#include "tests/wipe/secret_scan.h"

namespace {

using orvo::wipecheck::Allocate;
using orvo::wipecheck::Kind;
using orvo::wipecheck::Release;

void* AllocateOrThrow(std::size_t n, std::size_t alignment) {
  for (;;) {
    if (void* p = Allocate(n, alignment)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* AllocateOrNull(std::size_t n, std::size_t alignment) noexcept {
  try {
    return AllocateOrThrow(n, alignment);
  } catch (...) {
    return nullptr;
  }
}

constexpr std::size_t kPlain = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

}  // namespace

void* operator new(std::size_t n) { return AllocateOrThrow(n, kPlain); }
void* operator new[](std::size_t n) { return AllocateOrThrow(n, kPlain); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return AllocateOrNull(n, kPlain); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return AllocateOrNull(n, kPlain); }
void* operator new(std::size_t n, std::align_val_t a) { return AllocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return AllocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateOrNull(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateOrNull(n, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p) noexcept { Release(p, Kind::kHeap); }
void operator delete(void* p, std::size_t) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p, std::size_t) noexcept { Release(p, Kind::kHeap); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p, Kind::kHeap); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p, Kind::kHeap); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p, Kind::kHeap); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p, Kind::kHeap); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p, Kind::kHeap); }
