// MD5, RFC 1321. The input is read in place, 64 bytes at a time; only the
// final, padded block is copied.
//
// The compression function is written out step by step as in RFC 1321, 3.4,
// with the constants T[1..64] (T[i] = floor(2^32 * abs(sin(i)))) inline and the
// rotation amounts of each round. The RFC 1321 suite and digests of every
// length up to several blocks (checked against a third-party implementation)
// cover every constant.
#include "digest/md5.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/wipe.h"
#include "digest/block_feed.h"

namespace {

using orvo::load32_le;
using orvo::rotl32;

// The auxiliary functions of RFC 1321, 3.4: F(x,y,z) = xy v not(x)z,
// G(x,y,z) = xz v y not(z), H = x xor y xor z, I(x,y,z) = y xor (x v not(z)).
// x is always the newest working variable, so each form keeps the operations
// that wait for it few; G's two terms have no bit in common, so its "or" is an
// addition and the term without x is added early.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ (y ^ z); }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// a = b + ((a + f(b,c,d) + X[k] + T[i]) <<< s), with a + X[k] + T[i] formed
// before f is ready.
#define MD5_STEP(fn, a, b, c, d, xk, t, s) \
  a += (xk) + (t);                         \
  a += fn(b, c, d);                        \
  a = rotl32(a, s) + (b)
// Round 2: G(b,c,d) = (b and d) + (c and not d).
#define MD5_STEP_G(a, b, c, d, xk, t, s) \
  a += (xk) + (t) + ((c) & ~(d));        \
  a += (b) & (d);                        \
  a = rotl32(a, s) + (b)

void Compress(uint32_t state[4], const uint8_t* p, uint32_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    const uint32_t x0 = load32_le(p), x1 = load32_le(p + 4), x2 = load32_le(p + 8), x3 = load32_le(p + 12);
    const uint32_t x4 = load32_le(p + 16), x5 = load32_le(p + 20), x6 = load32_le(p + 24), x7 = load32_le(p + 28);
    const uint32_t x8 = load32_le(p + 32), x9 = load32_le(p + 36), x10 = load32_le(p + 40), x11 = load32_le(p + 44);
    const uint32_t x12 = load32_le(p + 48), x13 = load32_le(p + 52), x14 = load32_le(p + 56), x15 = load32_le(p + 60);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    // Round 1.
    MD5_STEP(F, a, b, c, d, x0, 0xd76aa478, 7);
    MD5_STEP(F, d, a, b, c, x1, 0xe8c7b756, 12);
    MD5_STEP(F, c, d, a, b, x2, 0x242070db, 17);
    MD5_STEP(F, b, c, d, a, x3, 0xc1bdceee, 22);
    MD5_STEP(F, a, b, c, d, x4, 0xf57c0faf, 7);
    MD5_STEP(F, d, a, b, c, x5, 0x4787c62a, 12);
    MD5_STEP(F, c, d, a, b, x6, 0xa8304613, 17);
    MD5_STEP(F, b, c, d, a, x7, 0xfd469501, 22);
    MD5_STEP(F, a, b, c, d, x8, 0x698098d8, 7);
    MD5_STEP(F, d, a, b, c, x9, 0x8b44f7af, 12);
    MD5_STEP(F, c, d, a, b, x10, 0xffff5bb1, 17);
    MD5_STEP(F, b, c, d, a, x11, 0x895cd7be, 22);
    MD5_STEP(F, a, b, c, d, x12, 0x6b901122, 7);
    MD5_STEP(F, d, a, b, c, x13, 0xfd987193, 12);
    MD5_STEP(F, c, d, a, b, x14, 0xa679438e, 17);
    MD5_STEP(F, b, c, d, a, x15, 0x49b40821, 22);

    // Round 2.
    MD5_STEP_G(a, b, c, d, x1, 0xf61e2562, 5);
    MD5_STEP_G(d, a, b, c, x6, 0xc040b340, 9);
    MD5_STEP_G(c, d, a, b, x11, 0x265e5a51, 14);
    MD5_STEP_G(b, c, d, a, x0, 0xe9b6c7aa, 20);
    MD5_STEP_G(a, b, c, d, x5, 0xd62f105d, 5);
    MD5_STEP_G(d, a, b, c, x10, 0x02441453, 9);
    MD5_STEP_G(c, d, a, b, x15, 0xd8a1e681, 14);
    MD5_STEP_G(b, c, d, a, x4, 0xe7d3fbc8, 20);
    MD5_STEP_G(a, b, c, d, x9, 0x21e1cde6, 5);
    MD5_STEP_G(d, a, b, c, x14, 0xc33707d6, 9);
    MD5_STEP_G(c, d, a, b, x3, 0xf4d50d87, 14);
    MD5_STEP_G(b, c, d, a, x8, 0x455a14ed, 20);
    MD5_STEP_G(a, b, c, d, x13, 0xa9e3e905, 5);
    MD5_STEP_G(d, a, b, c, x2, 0xfcefa3f8, 9);
    MD5_STEP_G(c, d, a, b, x7, 0x676f02d9, 14);
    MD5_STEP_G(b, c, d, a, x12, 0x8d2a4c8a, 20);

    // Round 3.
    MD5_STEP(H, a, b, c, d, x5, 0xfffa3942, 4);
    MD5_STEP(H, d, a, b, c, x8, 0x8771f681, 11);
    MD5_STEP(H, c, d, a, b, x11, 0x6d9d6122, 16);
    MD5_STEP(H, b, c, d, a, x14, 0xfde5380c, 23);
    MD5_STEP(H, a, b, c, d, x1, 0xa4beea44, 4);
    MD5_STEP(H, d, a, b, c, x4, 0x4bdecfa9, 11);
    MD5_STEP(H, c, d, a, b, x7, 0xf6bb4b60, 16);
    MD5_STEP(H, b, c, d, a, x10, 0xbebfbc70, 23);
    MD5_STEP(H, a, b, c, d, x13, 0x289b7ec6, 4);
    MD5_STEP(H, d, a, b, c, x0, 0xeaa127fa, 11);
    MD5_STEP(H, c, d, a, b, x3, 0xd4ef3085, 16);
    MD5_STEP(H, b, c, d, a, x6, 0x04881d05, 23);
    MD5_STEP(H, a, b, c, d, x9, 0xd9d4d039, 4);
    MD5_STEP(H, d, a, b, c, x12, 0xe6db99e5, 11);
    MD5_STEP(H, c, d, a, b, x15, 0x1fa27cf8, 16);
    MD5_STEP(H, b, c, d, a, x2, 0xc4ac5665, 23);

    // Round 4.
    MD5_STEP(I, a, b, c, d, x0, 0xf4292244, 6);
    MD5_STEP(I, d, a, b, c, x7, 0x432aff97, 10);
    MD5_STEP(I, c, d, a, b, x14, 0xab9423a7, 15);
    MD5_STEP(I, b, c, d, a, x5, 0xfc93a039, 21);
    MD5_STEP(I, a, b, c, d, x12, 0x655b59c3, 6);
    MD5_STEP(I, d, a, b, c, x3, 0x8f0ccc92, 10);
    MD5_STEP(I, c, d, a, b, x10, 0xffeff47d, 15);
    MD5_STEP(I, b, c, d, a, x1, 0x85845dd1, 21);
    MD5_STEP(I, a, b, c, d, x8, 0x6fa87e4f, 6);
    MD5_STEP(I, d, a, b, c, x15, 0xfe2ce6e0, 10);
    MD5_STEP(I, c, d, a, b, x6, 0xa3014314, 15);
    MD5_STEP(I, b, c, d, a, x13, 0x4e0811a1, 21);
    MD5_STEP(I, a, b, c, d, x4, 0xf7537e82, 6);
    MD5_STEP(I, d, a, b, c, x11, 0xbd3af235, 10);
    MD5_STEP(I, c, d, a, b, x2, 0x2ad7d2bb, 15);
    MD5_STEP(I, b, c, d, a, x9, 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP
#undef MD5_STEP_G

}  // namespace

XBlob MD5Digest(const XBlob& data) {
  uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const uint32_t n = data.size;
  const uint32_t whole = n / 64;
  if (whole != 0) Compress(state, data.data, whole);
  // RFC 1321, 3.1 and 3.2: 0x80, zeros to 56 mod 64, the bit length little-endian.
  uint8_t block[64] = {};
  const uint32_t r = n - whole * 64;
  if (r != 0) std::memcpy(block, data.data + whole * 64, r);
  block[r] = 0x80;
  if (r >= 56) {
    Compress(state, block, 1);
    std::memset(block, 0, 56);
  }
  const uint64_t bits = uint64_t{n} * 8;
  for (int i = 0; i < 8; ++i) block[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  Compress(state, block, 1);
  XBlob digest(16);
  digest.size = 16;
  for (int i = 0; i < 4; ++i) orvo::store32_le(digest.data + 4 * i, state[i]);
  orvo::SecureWipe(block, sizeof block);
  orvo::SecureWipe(state, sizeof state);
  return digest;
}

namespace orvo {

void Md5Stream::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  length_ = 0;
}

Md5Stream::~Md5Stream() {
  SecureWipe(state_, sizeof state_);
  SecureWipe(buffer_, sizeof buffer_);
}

void Md5Stream::Update(const uint8_t* bytes, size_t n) {
  digest::FeedBlocks(buffer_, length_, bytes, n, [this](const uint8_t* p, size_t blocks) {
    // Compress counts blocks in 32 bits: very long runs go in parts.
    while (blocks != 0) {
      const size_t part = blocks < 0x1000000 ? blocks : 0x1000000;
      Compress(state_, p, static_cast<uint32_t>(part));
      p += part * 64;
      blocks -= part;
    }
  });
}

XBlob Md5Stream::Finish() {
  // RFC 1321, 3.1 and 3.2: the bit length little-endian.
  digest::FinishBlocks(buffer_, length_, false,
                       [this](const uint8_t* p, size_t blocks) { Compress(state_, p, static_cast<uint32_t>(blocks)); });
  XBlob digest(16);
  digest.size = 16;
  for (int i = 0; i < 4; ++i) store32_le(digest.data + 4 * i, state_[i]);
  SecureWipe(buffer_, sizeof buffer_);
  Reset();
  return digest;
}

}  // namespace orvo
