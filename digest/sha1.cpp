// SHA-1, FIPS 180-1. Full blocks are read in place; only the final, padded
// block(s) are copied, so no second copy of a large input is held.
#include "digest/sha1.h"

#include <cstring>

#include "crypto/byte_order.h"
#include "crypto/wipe.h"

namespace {

using orvo::load32_be;
using orvo::rotl32;

void Compress(uint32_t h[5], const uint8_t block[64]) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = load32_be(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = rotl32(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5a827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ed9eba1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8f1bbcdc;
    } else {
      f = b ^ c ^ d;
      k = 0xca62c1d6;
    }
    const uint32_t temp = rotl32(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = rotl32(b, 30);
    b = a;
    a = temp;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

XBlob SHA1Digest(const XBlob& data) {
  uint32_t h[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
  const uint32_t n = data.size;
  uint32_t done = 0;
  for (; n - done >= 64; done += 64) Compress(h, data.data + done);
  uint8_t tail[128] = {};
  const uint32_t r = n - done;
  if (r != 0) std::memcpy(tail, data.data + done, r);
  tail[r] = 0x80;
  const uint32_t tailLength = r <= 55 ? 64 : 128;
  const uint64_t bits = uint64_t{n} * 8;
  for (int i = 0; i < 8; ++i) tail[tailLength - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  for (uint32_t off = 0; off < tailLength; off += 64) Compress(h, tail + off);
  XBlob digest(20);
  for (const uint32_t word : h) digest.InsertLong(word);
  orvo::SecureWipe(tail, sizeof tail);
  return digest;
}
