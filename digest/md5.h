// MD5 message digest (RFC 1321), of a whole buffer or fed piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"

// The 16-byte digest: state words A, B, C, D, each least significant byte first.
XBlob MD5Digest(const XBlob& data);

namespace orvo {

// MD5 fed piece by piece, for inputs too large to hold: the digest after any
// split of the input equals MD5Digest of the whole (lengths past 4 GiB
// included, counted modulo 2^64 bits as RFC 1321 says).
class Md5Stream {
 public:
  Md5Stream() { Reset(); }
  ~Md5Stream();  // wipes the state and the buffered bytes
  Md5Stream(const Md5Stream&) = delete;
  Md5Stream& operator=(const Md5Stream&) = delete;

  void Update(const uint8_t* bytes, size_t n);
  // The 16-byte digest of everything fed since the start; the stream then starts anew.
  XBlob Finish();

 private:
  void Reset();

  uint32_t state_[4];
  uint8_t buffer_[64];
  uint64_t length_;  // bytes fed
};

}  // namespace orvo
