// An XBlob block allocator for tests of buffers near 4 GiB (64-bit Linux).
// Linked into a test program, it replaces the platform allocator of
// base/blob_allocator.h: a block of 64 MiB or more is address space whose
// every 16 MiB map the same 16 MiB of shared pages (a memory file of its own,
// so that a copy from one block to the next does not read and write the same
// memory), so a 4 GiB buffer costs 16 MiB of memory. The bytes of a large
// block are meaningless; sizes, capacities, block counts and what a failed
// call leaves are what such tests check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"

namespace orvotest {

// Blocks asked of the allocator so far: all, and those of 64 MiB or more.
std::size_t AliasedBlocksAsked();
std::size_t LargeBlocksAsked();
// Large blocks not yet freed.
std::size_t AliasedBlocksLive();

// A buffer of `capacity` bytes whose first `size` count as filled.
XBlob LargeBlob(uint32_t capacity, uint32_t size);
// Frees the buffer's block without the wipe of gigabytes of shared pages and
// leaves it empty (capacity 0).
void FreeWithoutWipe(XBlob& blob);

}  // namespace orvotest
