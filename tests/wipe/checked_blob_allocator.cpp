// This test build's platform half of the XBlob block allocator: it takes the
// place of blob_allocator_posix.cpp / _win.cpp at link time, since the test
// executable defines both of its functions before the core library is
// searched. Blocks carry their size and are scanned for registered secrets as
// they are freed. Nothing in this executable hands a Blob's block to another
// module, so the COM task allocator is not needed here.
#include "base/blob_allocator.h"

#include "tests/wipe/secret_scan.h"

namespace orvo {

void* detail::PlatformBlobAlloc(std::size_t n) noexcept { return wipecheck::Allocate(n, 16); }

void BlobFree(void* p) { wipecheck::Release(p, wipecheck::Kind::kBlob); }

}  // namespace orvo
