// This test build's XBlob block allocator: it takes the place of the platform
// file (blob_allocator_posix.cpp / _win.cpp) at link time, since the test
// executable defines the two functions before the core library is searched.
// Blocks are scanned for registered secrets as they are freed. Nothing in this
// executable passes a Blob's block to another module, so the COM task
// allocator is not needed here.
#include "crypto/blob_allocator.h"

#include <cstdlib>

#include "tests/wipe/secret_scan.h"

namespace orvo {

void* BlobAlloc(std::size_t n) {
  void* p = wipecheck::Allocate(n == 0 ? 1 : n, 16);
  if (p == nullptr) std::abort();
  return p;
}

void BlobFree(void* p) { wipecheck::Release(p, wipecheck::Kind::kBlob); }

}  // namespace orvo
