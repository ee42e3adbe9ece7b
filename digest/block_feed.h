// The buffering that MD5 and SHA-1 share when fed piece by piece: 64-byte
// blocks, a partial block held back, and the final padding (0x80, zeros to 56
// mod 64, then the 64-bit bit length).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvo::digest {

// Feeds n bytes: completes the held block, passes whole blocks straight from
// `bytes` to compress(pointer, blocks), keeps the rest in `held`. `length`
// counts every byte fed.
template <typename Compress>
void FeedBlocks(uint8_t (&held)[64], uint64_t& length, const uint8_t* bytes, size_t n, Compress compress) {
  size_t used = static_cast<size_t>(length % 64);
  length += n;
  if (used != 0) {
    const size_t take = n < 64 - used ? n : 64 - used;
    std::memcpy(held + used, bytes, take);
    bytes += take;
    n -= take;
    if (used + take < 64) return;
    compress(held, size_t{1});
  }
  const size_t whole = n / 64;
  if (whole != 0) compress(bytes, whole);
  if (n % 64 != 0) std::memcpy(held, bytes + whole * 64, n % 64);
}

// Pads the held bytes and compresses the last block(s); the bit length goes
// in least significant byte first (MD5) or most significant first (SHA-1).
template <typename Compress>
void FinishBlocks(uint8_t (&held)[64], uint64_t length, bool bigEndianLength, Compress compress) {
  const uint64_t bits = length * 8;
  const size_t r = static_cast<size_t>(length % 64);
  held[r] = 0x80;
  std::memset(held + r + 1, 0, 63 - r);
  if (r >= 56) {
    compress(held, size_t{1});
    std::memset(held, 0, 56);
  }
  for (int i = 0; i < 8; ++i) held[bigEndianLength ? 63 - i : 56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  compress(held, size_t{1});
}

}  // namespace orvo::digest
