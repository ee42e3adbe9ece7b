// XBlob growth past 2 GiB, with the block allocator replaced by one that
// counts the blocks asked for. A large block is address space whose every
// 16 MiB map the same 16 MiB of shared pages (a memory file of its own, so
// that a copy from one block to the next does not read and write the same
// memory), so a 4 GiB buffer costs 16 MiB of memory; the bytes are
// meaningless, the counts and capacities are what is checked. Once doubling would pass 4 GiB an append must take the largest
// capacity in one step: growing by exactly what is needed would reallocate,
// copy and wipe gigabytes on every later append. (Linux: memfd_create, mmap.)
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "base/blob_allocator.h"
#include "base/xblob.h"

namespace {

constexpr size_t kAlias = size_t{16} << 20;
constexpr size_t kLarge = size_t{64} << 20;

size_t g_blocks = 0;                // blocks asked for
struct Aliased {
  size_t length;
  int file;
};
std::map<void*, Aliased> g_aliased;  // large blocks

void* AliasedBlock(size_t n) {
  const size_t length = (n + kAlias - 1) / kAlias * kAlias;
  const int file = memfd_create("xblob-growth", 0);
  if (file < 0 || ftruncate(file, kAlias) != 0) std::abort();
  auto* base = static_cast<uint8_t*>(mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  if (base == MAP_FAILED) std::abort();
  for (size_t at = 0; at < length; at += kAlias) {
    if (mmap(base + at, kAlias, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED | MAP_POPULATE, file, 0) == MAP_FAILED) {
      std::abort();
    }
  }
  g_aliased[base] = Aliased{length, file};
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

namespace {

TEST(XBlobGrowthTest, AppendsPastHalfTheRangeTakeTheLargestCapacityOnce) {
  const struct {
    uint32_t capacity, size, piece;
    int pieces;
    uint32_t grownCapacity;
    size_t grownBlocks;
  } cases[] = {
      // Doubling stays below 4 GiB: it doubles.
      {0x40000008u, 0x40000008u, 1, 1, 0x80000010u, 1},
      // Doubling would pass 4 GiB: the largest capacity, once, for every later append.
      {0x80000000u, 0x80000000u - 10, 65536, 64, 0xFFFFFFFFu, 1},
  };
  const std::vector<uint8_t> piece(65536, 0xAB);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "capacity 0x" << c.capacity << ", size 0x" << c.size);
    XBlob blob(c.capacity);
    blob.size = c.size;  // as if filled
    const size_t before = g_blocks;
    for (int i = 0; i < c.pieces; ++i) blob.Append(piece.data(), c.piece);
    EXPECT_EQ(g_blocks - before, c.grownBlocks);
    EXPECT_EQ(blob.capacity, c.grownCapacity);
    EXPECT_EQ(uint64_t{blob.size}, uint64_t{c.size} + uint64_t{c.piece} * c.pieces);
    EXPECT_EQ(blob.data[blob.size - 1], 0xAB);
    // Freed here without the destructor's wipe of gigabytes of shared pages.
    orvo::BlobFree(blob.data);
    blob.data = nullptr;
    blob.capacity = blob.size = 0;
  }
  EXPECT_TRUE(g_aliased.empty()) << "every large block was freed";
}

}  // namespace
