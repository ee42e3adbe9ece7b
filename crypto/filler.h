// The trailing filler of opened data: the bytes the mode engine's padding
// appends to a last partial block, each equal to the cipher's filler byte.
//
// Sealed data records no length, so the filler is recognised only by its
// value: plain data that itself ends in filler bytes loses them too (up to a
// block less one byte). Only a caller who knows its plain data never ends in
// the filler byte (text under filler 0, for instance) gets it back exactly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo {

// The length of `data` (n bytes) without its trailing filler: at most
// blockSize - 1 trailing bytes equal to `filler` are left out, since the
// padding never adds a whole block. The time taken depends on n and
// blockSize only, not on the bytes.
inline size_t WithoutFiller(const uint8_t* data, size_t n, size_t blockSize, uint8_t filler) {
  const size_t limit = blockSize == 0 ? 0 : (n < blockSize - 1 ? n : blockSize - 1);
  size_t dropped = 0;
  uint32_t run = 1;  // 1 while every byte from the end so far was the filler
  for (size_t i = 0; i < limit; ++i) {
    const uint32_t difference = static_cast<uint32_t>(data[n - 1 - i] ^ filler);
    run &= ((difference - 1) >> 8) & 1;  // 1 only for difference 0
    dropped += run;
  }
  return n - dropped;
}

}  // namespace orvo
