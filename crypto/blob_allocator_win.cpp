// Windows builds: the COM task allocator, shared by every DLL of the process.
#include "crypto/blob_allocator.h"

#include <objbase.h>

#include <cstdlib>

namespace orvo {

void* BlobAlloc(std::size_t n) {
  void* p = CoTaskMemAlloc(n == 0 ? 1 : n);
  if (p == nullptr) std::abort();
  return p;
}

void BlobFree(void* p) { CoTaskMemFree(p); }

}  // namespace orvo
