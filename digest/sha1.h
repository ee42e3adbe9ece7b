// SHA-1 message digest (FIPS 180-1), of a whole buffer or fed piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"

// The 20-byte digest: H0 .. H4, each most significant byte first.
XBlob SHA1Digest(const XBlob& data);

namespace orvo {

// Whether the processor offers the x86 SHA extensions (with SSSE3 and SSE4.1).
bool Sha1HardwareAvailable();
// Where the extensions are available SHA1Digest uses them, unless a
// cpu::ScopedFeatureOverride hides them (base/test_hooks.h): tests and
// benchmarks do so to run the portable code. Both paths give the same digests.
// The path SHA1Digest takes now, as `orvocrypto --version` names it: sha_ni
// or portable.
const char* Sha1PathInUse();

}  // namespace orvo

namespace orvo {

// SHA-1 fed piece by piece, for inputs too large to hold: the digest after any
// split of the input equals SHA1Digest of the whole (lengths past 4 GiB
// included). The compression function is chosen as SHA1Digest chooses it,
// when the stream is made.
class Sha1Stream {
 public:
  Sha1Stream();
  ~Sha1Stream();  // wipes the state and the buffered bytes
  Sha1Stream(const Sha1Stream&) = delete;
  Sha1Stream& operator=(const Sha1Stream&) = delete;

  void Update(const uint8_t* bytes, size_t n);
  // The 20-byte digest of everything fed since the start; the stream then starts anew.
  XBlob Finish();

 private:
  void Reset();

  void (*compress_)(uint32_t*, const uint8_t*, size_t);
  uint32_t h_[5];
  uint8_t buffer_[64];
  uint64_t length_;  // bytes fed
};

}  // namespace orvo
