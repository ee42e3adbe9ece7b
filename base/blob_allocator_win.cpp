// Windows builds: the COM task allocator, shared by every DLL of the process.
#include "base/blob_allocator.h"

#include <objbase.h>

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept { return CoTaskMemAlloc(n); }

void BlobFree(void* p) { CoTaskMemFree(p); }

}  // namespace orvo
