#include "tests/support/aliased_blob_allocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "base/blob_allocator.h"

namespace {

constexpr std::size_t kAlias = std::size_t{16} << 20;
constexpr std::size_t kLarge = std::size_t{64} << 20;

std::size_t g_blocks = 0;       // blocks asked for
std::size_t g_largeBlocks = 0;  // of them, large ones
struct Aliased {
  std::size_t length;
  int file;
};
std::map<void*, Aliased> g_aliased;  // large blocks

void* AliasedBlock(std::size_t n) {
  const std::size_t length = (n + kAlias - 1) / kAlias * kAlias;
  const int file = memfd_create("aliased-blob", 0);
  if (file < 0 || ftruncate(file, kAlias) != 0) std::abort();
  auto* base = static_cast<uint8_t*>(mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  if (base == MAP_FAILED) std::abort();
  for (std::size_t at = 0; at < length; at += kAlias) {
    if (mmap(base + at, kAlias, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED | MAP_POPULATE, file, 0) == MAP_FAILED) {
      std::abort();
    }
  }
  g_aliased[base] = Aliased{length, file};
  ++g_largeBlocks;
  return base;
}

}  // namespace

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept {
  ++g_blocks;
  return n >= kLarge ? AliasedBlock(n) : std::malloc(n);
}

void BlobFree(void* p) {
  const auto it = g_aliased.find(p);
  if (it == g_aliased.end()) {
    std::free(p);
    return;
  }
  munmap(it->first, it->second.length);
  close(it->second.file);
  g_aliased.erase(it);
}

}  // namespace orvo

namespace orvotest {

std::size_t AliasedBlocksAsked() { return g_blocks; }
std::size_t LargeBlocksAsked() { return g_largeBlocks; }
std::size_t AliasedBlocksLive() { return g_aliased.size(); }

XBlob LargeBlob(uint32_t capacity, uint32_t size) {
  XBlob blob(capacity);
  blob.size = size;
  return blob;
}

void FreeWithoutWipe(XBlob& blob) {
  orvo::BlobFree(blob.data);
  blob.data = nullptr;
  blob.capacity = blob.size = 0;
}

}  // namespace orvotest
