// SHA-1, FIPS 180-1. Full blocks are read in place; only the final, padded
// block(s) are copied, so no second copy of a large input is held. The
// compression function runs in portable code or, where the processor has them,
// with the x86 SHA extensions (sha1_shani_x86.cpp), chosen at run time.
#include "digest/sha1.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/cpu_features.h"
#include "base/wipe.h"
#include "digest/block_feed.h"
#include "digest/sha1_compress.h"

namespace orvo {

namespace {

bool ShaExtensionsIn(const cpu::Features& f) { return f.sha && f.sse41 && f.ssse3; }

}  // namespace

bool Sha1HardwareAvailable() { return ShaExtensionsIn(cpu::Detected()); }

const char* Sha1PathInUse() { return ShaExtensionsIn(cpu::Usable()) ? "sha_ni" : "portable"; }

namespace sha1 {

namespace {

// FIPS 180-1, 5: the functions f(t; B, C, D) in forms with fewer operations.
inline uint32_t Ch(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t Maj(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

}  // namespace

// The schedule W[t] is kept in a circular buffer of 16 words (FIPS 180-1, 8,
// "method 2"): W[t] = S^1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]) for t >= 16.
#define SHA1_W(t) w[(t) & 15]
#define SHA1_EXPAND(t) \
  (SHA1_W(t) = rotl32(SHA1_W((t) + 13) ^ SHA1_W((t) + 8) ^ SHA1_W((t) + 2) ^ SHA1_W(t), 1))
// One step with the working variables renamed instead of moved:
// TEMP = S^5(A) + f(B,C,D) + E + W[t] + K; E = D; D = C; C = S^30(B); B = A; A = TEMP.
#define SHA1_STEP(f, k, wt, a, b, c, d, e) \
  e += rotl32(a, 5) + f(b, c, d) + (wt) + (k); \
  b = rotl32(b, 30)
#define SHA1_FIVE(f, k, t, W)              \
  SHA1_STEP(f, k, W(t), a, b, c, d, e);     \
  SHA1_STEP(f, k, W((t) + 1), e, a, b, c, d); \
  SHA1_STEP(f, k, W((t) + 2), d, e, a, b, c); \
  SHA1_STEP(f, k, W((t) + 3), c, d, e, a, b); \
  SHA1_STEP(f, k, W((t) + 4), b, c, d, e, a)

void CompressPortable(uint32_t h[5], const uint8_t* p, size_t blocks) {
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  uint32_t w[16];
  for (; blocks != 0; --blocks, p += 64) {
    for (int t = 0; t < 16; ++t) w[t] = load32_be(p + 4 * t);
    const uint32_t aa = a, bb = b, cc = c, dd = d, ee = e;
    SHA1_FIVE(Ch, 0x5a827999u, 0, SHA1_W);
    SHA1_FIVE(Ch, 0x5a827999u, 5, SHA1_W);
    SHA1_FIVE(Ch, 0x5a827999u, 10, SHA1_W);
    SHA1_STEP(Ch, 0x5a827999u, SHA1_W(15), a, b, c, d, e);
    SHA1_STEP(Ch, 0x5a827999u, SHA1_EXPAND(16), e, a, b, c, d);
    SHA1_STEP(Ch, 0x5a827999u, SHA1_EXPAND(17), d, e, a, b, c);
    SHA1_STEP(Ch, 0x5a827999u, SHA1_EXPAND(18), c, d, e, a, b);
    SHA1_STEP(Ch, 0x5a827999u, SHA1_EXPAND(19), b, c, d, e, a);
    SHA1_FIVE(Parity, 0x6ed9eba1u, 20, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0x6ed9eba1u, 25, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0x6ed9eba1u, 30, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0x6ed9eba1u, 35, SHA1_EXPAND);
    SHA1_FIVE(Maj, 0x8f1bbcdcu, 40, SHA1_EXPAND);
    SHA1_FIVE(Maj, 0x8f1bbcdcu, 45, SHA1_EXPAND);
    SHA1_FIVE(Maj, 0x8f1bbcdcu, 50, SHA1_EXPAND);
    SHA1_FIVE(Maj, 0x8f1bbcdcu, 55, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0xca62c1d6u, 60, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0xca62c1d6u, 65, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0xca62c1d6u, 70, SHA1_EXPAND);
    SHA1_FIVE(Parity, 0xca62c1d6u, 75, SHA1_EXPAND);
    a += aa;
    b += bb;
    c += cc;
    d += dd;
    e += ee;
  }
  h[0] = a;
  h[1] = b;
  h[2] = c;
  h[3] = d;
  h[4] = e;
  SecureWipe(w, sizeof w);
}

#undef SHA1_FIVE
#undef SHA1_STEP
#undef SHA1_EXPAND
#undef SHA1_W

}  // namespace sha1

}  // namespace orvo

XBlob SHA1Digest(const XBlob& data) {
  using Compress = void (*)(uint32_t*, const uint8_t*, size_t);
  const Compress compress = orvo::ShaExtensionsIn(orvo::cpu::Usable()) ? orvo::sha1::CompressShaNi
                                                                        : orvo::sha1::CompressPortable;
  uint32_t h[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
  const uint32_t n = data.size;
  const uint32_t whole = n / 64;
  if (whole != 0) compress(h, data.data, whole);
  // FIPS 180-1, 4: 0x80, zeros to 56 mod 64, the bit length big-endian.
  uint8_t tail[128] = {};
  const uint32_t r = n - whole * 64;
  if (r != 0) std::memcpy(tail, data.data + whole * 64, r);
  tail[r] = 0x80;
  const uint32_t tailLength = r <= 55 ? 64 : 128;
  const uint64_t bits = uint64_t{n} * 8;
  for (int i = 0; i < 8; ++i) tail[tailLength - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  compress(h, tail, tailLength / 64);
  XBlob digest(20);
  digest.size = 20;
  for (int i = 0; i < 5; ++i) orvo::store32_be(digest.data + 4 * i, h[i]);
  orvo::SecureWipe(tail, sizeof tail);
  orvo::SecureWipe(h, sizeof h);
  return digest;
}

namespace orvo {

Sha1Stream::Sha1Stream()
    : compress_(ShaExtensionsIn(cpu::Usable()) ? sha1::CompressShaNi : sha1::CompressPortable) {
  Reset();
}

Sha1Stream::~Sha1Stream() {
  SecureWipe(h_, sizeof h_);
  SecureWipe(buffer_, sizeof buffer_);
}

void Sha1Stream::Reset() {
  h_[0] = 0x67452301;
  h_[1] = 0xefcdab89;
  h_[2] = 0x98badcfe;
  h_[3] = 0x10325476;
  h_[4] = 0xc3d2e1f0;
  length_ = 0;
}

void Sha1Stream::Update(const uint8_t* bytes, size_t n) {
  digest::FeedBlocks(buffer_, length_, bytes, n, [this](const uint8_t* p, size_t blocks) { compress_(h_, p, blocks); });
}

XBlob Sha1Stream::Finish() {
  // FIPS 180-1, 4: the bit length big-endian.
  digest::FinishBlocks(buffer_, length_, true, [this](const uint8_t* p, size_t blocks) { compress_(h_, p, blocks); });
  XBlob digest(20);
  digest.size = 20;
  for (int i = 0; i < 5; ++i) store32_be(digest.data + 4 * i, h_[i]);
  SecureWipe(buffer_, sizeof buffer_);
  Reset();
  return digest;
}

}  // namespace orvo
