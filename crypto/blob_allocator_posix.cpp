// Native builds: plain malloc/free (the stand-in COM task allocator uses the same heap).
#include "crypto/blob_allocator.h"

#include <cstdlib>

namespace orvo {

void* BlobAlloc(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) std::abort();
  return p;
}

void BlobFree(void* p) { std::free(p); }

}  // namespace orvo
