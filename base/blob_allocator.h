// The one allocator behind every XBlob byte block.
//
// A Blob's XBlob crosses module boundaries: this module writes results straight
// into a Blob component's buffer and may replace its block. Each Windows DLL has
// its own C runtime heap, so both modules must allocate from the COM task
// allocator (CoTaskMemAlloc/CoTaskMemFree); natively the stand-in layer's
// allocator plays that role. Chosen per platform by file.
#pragma once

#include <cstddef>

namespace orvo {

// A block for `n` bytes (at least one byte). When memory runs out it throws
// std::bad_alloc: the call in progress fails with E_OUTOFMEMORY and the host
// process lives on.
void* BlobAlloc(std::size_t n);
void BlobFree(void* p);

namespace detail {
// The platform's allocator (blob_allocator_posix.cpp, blob_allocator_win.cpp):
// null when memory runs out.
void* PlatformBlobAlloc(std::size_t n) noexcept;
}  // namespace detail

}  // namespace orvo
