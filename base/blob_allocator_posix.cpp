// Native builds: plain malloc/free (the stand-in COM task allocator uses the same heap).
#include "base/blob_allocator.h"

#include <cstdlib>

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept { return std::malloc(n); }

void BlobFree(void* p) { std::free(p); }

}  // namespace orvo
