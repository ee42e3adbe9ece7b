// XBlob growth past 2 GiB and the 4 GiB - 1 limit, with the block allocator
// replaced by one that counts the blocks asked for and backs large blocks with
// shared pages (tests/support/aliased_blob_allocator.h), so a 4 GiB buffer
// costs 16 MiB of memory. Once doubling would pass 4 GiB an append must take
// the largest capacity in one step: growing by exactly what is needed would
// reallocate, copy and wipe gigabytes on every later append. A result past
// 4 GiB - 1 must fail with std::bad_alloc before anything changes: sizes added
// in 32 bits would wrap and write past the block.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <vector>

#include "base/xblob.h"
#include "tests/support/aliased_blob_allocator.h"

namespace {

using orvotest::AliasedBlocksAsked;
using orvotest::AliasedBlocksLive;
using orvotest::FreeWithoutWipe;
using orvotest::LargeBlob;

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
    XBlob blob = LargeBlob(c.capacity, c.size);
    const size_t before = AliasedBlocksAsked();
    for (int i = 0; i < c.pieces; ++i) blob.Append(piece.data(), c.piece);
    EXPECT_EQ(AliasedBlocksAsked() - before, c.grownBlocks);
    EXPECT_EQ(blob.capacity, c.grownCapacity);
    EXPECT_EQ(uint64_t{blob.size}, uint64_t{c.size} + uint64_t{c.piece} * c.pieces);
    EXPECT_EQ(blob.data[blob.size - 1], 0xAB);
    FreeWithoutWipe(blob);
  }
  EXPECT_EQ(AliasedBlocksLive(), 0u) << "every large block was freed";
}

// Every way of adding bytes, one byte past 4 GiB - 1 and (where that needs
// no copy of gigabytes) at the largest size that fits. Past it the call
// throws std::bad_alloc with the buffer as it was (same block, capacity and
// size) and no block asked for. The self-inserts are the scripting
// reproducer: a Blob of 2 GiB - 1 inserted into itself.
TEST(XBlobGrowthTest, ResultsPastFourGiBMinusOneFailAndLeaveTheBufferAsItWas) {
  constexpr uint32_t kMax = XBlob::kMaxSize;
  XBlob small(16);
  small.Append(reinterpret_cast<const uint8_t*>("0123456789abcdef"), 16);
  const struct Case {
    const char* what;
    uint32_t capacity;
    uint32_t pastSize;  // the result would be 4 GiB (2^32 + 2 for InsertBlob into itself)
    std::function<void(XBlob&)> op;
    uint32_t fitSize;  // 0: no run that fits; else the size before a call that fits
    int lastByte;      // the last byte after that call
  } cases[] = {
      {"Insert at the end", kMax, kMax - 15, [&](XBlob& b) { b.Insert(small, b.size); }, kMax - 17, 'f'},
      {"Insert at the front", kMax, kMax - 15, [&](XBlob& b) { b.Insert(small, 0); }, 0, 0},
      {"Append", kMax, kMax - 15, [&](XBlob& b) { b.Append(small.data, 16); }, kMax - 16, 'f'},
      {"InsertByte", kMax, kMax, [](XBlob& b) { b.InsertByte(0x5A, b.size); }, kMax - 1, 0x5A},
      {"InsertLong", kMax, kMax - 3, [](XBlob& b) { b.InsertLong(0x01020304u); }, kMax - 4, 0x04},
      {"InsertBlob", kMax, kMax - 19, [&](XBlob& b) { b.InsertBlob(small); }, kMax - 21, 'f'},
      {"Insert into itself", 0x80000000u, 0x80000000u, [](XBlob& b) { b.Insert(b, 0); }, 0, 0},
      {"InsertBlob into itself", 0x80000000u, 0x7FFFFFFFu, [](XBlob& b) { b.InsertBlob(b); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    XBlob past = LargeBlob(c.capacity, c.pastSize);
    const uint8_t* data = past.data;
    const size_t blocks = AliasedBlocksAsked();
    EXPECT_THROW(c.op(past), std::bad_alloc);
    EXPECT_EQ(past.data, data);
    EXPECT_EQ(past.capacity, c.capacity);
    EXPECT_EQ(past.size, c.pastSize);
    EXPECT_EQ(AliasedBlocksAsked(), blocks) << "no block is asked for a result that cannot fit";
    FreeWithoutWipe(past);
    if (c.fitSize == 0) continue;
    XBlob fit = LargeBlob(c.capacity, c.fitSize);
    c.op(fit);
    EXPECT_EQ(fit.data[fit.size - 1], c.lastByte);
    EXPECT_EQ(uint64_t{fit.size} + (fit.size == kMax ? 0 : 1), uint64_t{kMax}) << "size " << fit.size;
    FreeWithoutWipe(fit);
  }
  // Growing the capacity past the largest.
  XBlob full = LargeBlob(kMax - 15, 0);
  EXPECT_THROW(full.Grow(16), std::bad_alloc);
  EXPECT_EQ(full.capacity, kMax - 15);
  FreeWithoutWipe(full);
  EXPECT_EQ(AliasedBlocksLive(), 0u) << "every large block was freed";
}

}  // namespace
