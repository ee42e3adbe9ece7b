// Twofish ("Twofish: A 128-Bit Block Cipher", 1998): the key schedule with
// full keying (4.3) and the encryption and decryption of one block (4.1, 4.2).
#include "crypto/twofish_core.h"

#include "base/byte_order.h"
#include "base/wipe.h"
#include "crypto/byte_fields.h"

namespace orvo::twofish {

namespace {

inline uint8_t Byte(uint32_t x, unsigned n) { return static_cast<uint8_t>(x >> (8 * n)); }

// Whether h applies q1 (else q0) to byte position j just before it adds byte
// j of list word i (paper 4.3.2); the last q of each position is folded into
// kMdsQ.
constexpr bool kStageQ1[4][4] = {
    {false, false, true, true},  // before L0
    {false, true, false, true},  // before L1
    {true, true, false, false},  // before L2 (k >= 3)
    {true, false, false, true},  // before L3 (k = 4)
};

// The bytes of up to four list words: l[i][j] is byte j of word i (held in
// words, so that the chains below need no narrowing between look-ups).
using ListBytes = uint32_t[4][4];

// h (paper 4.3.2) for byte position j of an input byte x up to its last q,
// for K list words, from q0[x] and q1[x] (the first stage, shared by all four
// positions): q(...q(q(x) ^ l[K-1][j]) ... ^ l[0][j]). The stages are known
// at compile time once the callers' loops over j are unrolled.
template <unsigned K>
inline uint32_t Chain(unsigned j, uint32_t q0x, uint32_t q1x, const ListBytes& l) {
  uint32_t v = (kStageQ1[K - 1][j] ? q1x : q0x) ^ l[K - 1][j];
  for (unsigned i = K - 1; i-- > 0;) v = (kStageQ1[i][j] ? kQ1 : kQ0)[v] ^ l[i][j];
  return v;
}

template <unsigned K>
void SplitList(const uint32_t* list, ListBytes& l) {
  for (unsigned i = 0; i < K; ++i) {
    for (unsigned j = 0; j < 4; ++j) l[i][j] = Byte(list[i], j);
  }
}

// The key-dependent S-boxes composed with their MDS columns:
// sbox[j][x] = kMdsQ.col[j][Chain(j, x)], the four positions of x together.
template <unsigned K>
void BuildSboxes(const ListBytes& l, Schedule& out) {
  for (unsigned x = 0; x < 256; ++x) {
    const uint32_t q0x = kQ0[x];
    const uint32_t q1x = kQ1[x];
    out.sbox[0][x] = kMdsQ.col[0][Chain<K>(0, q0x, q1x, l)];
    out.sbox[1][x] = kMdsQ.col[1][Chain<K>(1, q0x, q1x, l)];
    out.sbox[2][x] = kMdsQ.col[2][Chain<K>(2, q0x, q1x, l)];
    out.sbox[3][x] = kMdsQ.col[3][Chain<K>(3, q0x, q1x, l)];
  }
}

// h of the word with all four bytes x (x·rho, as the subkeys take it).
template <unsigned K>
inline uint32_t HRho(uint32_t x, const ListBytes& l) {
  const uint32_t q0x = kQ0[x];
  const uint32_t q1x = kQ1[x];
  return kMdsQ.col[0][Chain<K>(0, q0x, q1x, l)] ^ kMdsQ.col[1][Chain<K>(1, q0x, q1x, l)] ^
         kMdsQ.col[2][Chain<K>(2, q0x, q1x, l)] ^ kMdsQ.col[3][Chain<K>(3, q0x, q1x, l)];
}

// The 40 subkeys (paper 4.3.1) and the S-boxes for K = k.
template <unsigned K>
void ExpandWords(const uint32_t* even, const uint32_t* odd, const uint32_t* sboxKey, Schedule& out) {
  ListBytes le = {};
  ListBytes lo = {};
  ListBytes ls = {};
  SplitList<K>(even, le);
  SplitList<K>(odd, lo);
  SplitList<K>(sboxKey, ls);
  for (unsigned i = 0; i < 40; i += 2) {
    const uint32_t a = HRho<K>(i, le);
    const uint32_t b = rotl32(HRho<K>(i + 1, lo), 8);
    out.subkeys[i] = a + b;
    out.subkeys[i + 1] = rotl32(a + 2 * b, 9);
  }
  BuildSboxes<K>(ls, out);
  SecureWipe(le, sizeof le);
  SecureWipe(lo, sizeof lo);
  SecureWipe(ls, sizeof ls);
}

// g (paper 4.3.2) with the full-key tables: four look-ups, bytes 1 and 2 of x
// taken through `Bytes` (crypto/byte_fields.h).
template <typename Bytes>
inline uint32_t G(const Schedule& s, uint32_t x) {
  return s.sbox[0][x & 0xFF] ^ s.sbox[1][Bytes::Byte1(x)] ^ s.sbox[2][Bytes::Byte2(x)] ^ s.sbox[3][x >> 24];
}

// G(ROL(x, 8)), taking the bytes of x in rotated order instead of rotating first.
template <typename Bytes>
inline uint32_t GRotated(const Schedule& s, uint32_t x) {
  return s.sbox[0][x >> 24] ^ s.sbox[1][x & 0xFF] ^ s.sbox[2][Bytes::Byte1(x)] ^ s.sbox[3][Bytes::Byte2(x)];
}

// N independent blocks side by side, so that their table look-ups overlap;
// a, b, c, d are the four words of each block's state.
template <size_t N>
struct Words {
  uint32_t a[N], b[N], c[N], d[N];
};

template <size_t N>
inline void Load(Words<N>& x, const uint8_t* in) {
  for (size_t i = 0; i < N; ++i, in += kBlockSize) {
    x.a[i] = load32_le(in);
    x.b[i] = load32_le(in + 4);
    x.c[i] = load32_le(in + 8);
    x.d[i] = load32_le(in + 12);
  }
}

template <size_t N>
inline void Store(const Words<N>& x, uint8_t* out) {
  for (size_t i = 0; i < N; ++i, out += kBlockSize) {
    store32_le(out, x.a[i]);
    store32_le(out + 4, x.b[i]);
    store32_le(out + 8, x.c[i]);
    store32_le(out + 12, x.d[i]);
  }
}

// Two rounds (paper 4.1) without the swaps: round 2n works from (a, b) on
// (c, d), round 2n + 1 from (c, d) on (a, b). Decryption undoes them.
template <bool kDecrypt, typename Bytes, size_t N>
inline void Cycle(const Schedule& s, unsigned n, Words<N>& x) {
  const uint32_t* k = s.subkeys + 8 + 4 * n;
  uint32_t t0[N];
  uint32_t t1[N];
  if constexpr (!kDecrypt) {
    for (size_t i = 0; i < N; ++i) {
      t0[i] = G<Bytes>(s, x.a[i]);
      t1[i] = GRotated<Bytes>(s, x.b[i]);
    }
    for (size_t i = 0; i < N; ++i) {
      x.c[i] = rotr32(x.c[i] ^ (t0[i] + t1[i] + k[0]), 1);
      x.d[i] = rotl32(x.d[i], 1) ^ ((t0[i] + k[1]) + 2 * t1[i]);
    }
    for (size_t i = 0; i < N; ++i) {
      t0[i] = G<Bytes>(s, x.c[i]);
      t1[i] = GRotated<Bytes>(s, x.d[i]);
    }
    for (size_t i = 0; i < N; ++i) {
      x.a[i] = rotr32(x.a[i] ^ (t0[i] + t1[i] + k[2]), 1);
      x.b[i] = rotl32(x.b[i], 1) ^ ((t0[i] + k[3]) + 2 * t1[i]);
    }
  } else {
    for (size_t i = 0; i < N; ++i) {
      t0[i] = G<Bytes>(s, x.c[i]);
      t1[i] = GRotated<Bytes>(s, x.d[i]);
    }
    for (size_t i = 0; i < N; ++i) {
      x.a[i] = rotl32(x.a[i], 1) ^ (t0[i] + t1[i] + k[2]);
      x.b[i] = rotr32(x.b[i] ^ ((t0[i] + k[3]) + 2 * t1[i]), 1);
    }
    for (size_t i = 0; i < N; ++i) {
      t0[i] = G<Bytes>(s, x.a[i]);
      t1[i] = GRotated<Bytes>(s, x.b[i]);
    }
    for (size_t i = 0; i < N; ++i) {
      x.c[i] = rotl32(x.c[i], 1) ^ (t0[i] + t1[i] + k[0]);
      x.d[i] = rotr32(x.d[i] ^ ((t0[i] + k[1]) + 2 * t1[i]), 1);
    }
  }
}

// Both directions in one routine: input whitening, the 16 rounds fully
// unrolled, output whitening (paper 4.1). The words of N blocks are replaced
// in place: the input words (little-endian) on entry, the output words on exit.
template <bool kDecrypt, typename Bytes, size_t N>
inline void Crypt(const Schedule& s, Words<N>& x) {
  const uint32_t* w = s.subkeys;
  // Encryption whitens with K0..K3 going in and K4..K7 coming out; decryption
  // the other way round. The output words are (c, d, a, b) of the last round.
  const uint32_t* in = kDecrypt ? w + 4 : w;
  const uint32_t* out = kDecrypt ? w : w + 4;
  for (size_t i = 0; i < N; ++i) {
    const uint32_t p0 = x.a[i], p1 = x.b[i], p2 = x.c[i], p3 = x.d[i];
    if constexpr (!kDecrypt) {
      x.a[i] = p0 ^ in[0], x.b[i] = p1 ^ in[1], x.c[i] = p2 ^ in[2], x.d[i] = p3 ^ in[3];
    } else {
      x.c[i] = p0 ^ in[0], x.d[i] = p1 ^ in[1], x.a[i] = p2 ^ in[2], x.b[i] = p3 ^ in[3];
    }
  }
  if constexpr (!kDecrypt) {
    Cycle<false, Bytes>(s, 0, x);
    Cycle<false, Bytes>(s, 1, x);
    Cycle<false, Bytes>(s, 2, x);
    Cycle<false, Bytes>(s, 3, x);
    Cycle<false, Bytes>(s, 4, x);
    Cycle<false, Bytes>(s, 5, x);
    Cycle<false, Bytes>(s, 6, x);
    Cycle<false, Bytes>(s, 7, x);
  } else {
    Cycle<true, Bytes>(s, 7, x);
    Cycle<true, Bytes>(s, 6, x);
    Cycle<true, Bytes>(s, 5, x);
    Cycle<true, Bytes>(s, 4, x);
    Cycle<true, Bytes>(s, 3, x);
    Cycle<true, Bytes>(s, 2, x);
    Cycle<true, Bytes>(s, 1, x);
    Cycle<true, Bytes>(s, 0, x);
  }
  for (size_t i = 0; i < N; ++i) {
    const uint32_t a = x.a[i], b = x.b[i], c = x.c[i], d = x.d[i];
    if constexpr (!kDecrypt) {
      x.a[i] = c ^ out[0], x.b[i] = d ^ out[1], x.c[i] = a ^ out[2], x.d[i] = b ^ out[3];
    } else {
      x.a[i] = a ^ out[0], x.b[i] = b ^ out[1], x.c[i] = c ^ out[2], x.d[i] = d ^ out[3];
    }
  }
}

// Blocks of ECB and CBC decryption in groups of kLanes (four measured fastest;
// eight run out of registers).
constexpr size_t kLanes = 4;

template <bool kDecrypt, typename Bytes>
void CryptECB(const Schedule& s, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    Words<kLanes> x;
    Load(x, in);
    Crypt<kDecrypt, Bytes>(s, x);
    Store(x, out);
  }
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    Words<1> x;
    Load(x, in);
    Crypt<kDecrypt, Bytes>(s, x);
    Store(x, out);
  }
}

}  // namespace

void ExpandKey(const uint8_t* key, uint32_t k, Schedule& out) {
  // Me and Mo: the even and odd little-endian key words; S: the Reed-Solomon
  // words of each 8-byte group, used in reverse order (paper 4.3).
  uint32_t even[4] = {};
  uint32_t odd[4] = {};
  uint32_t sboxKey[4] = {};
  for (uint32_t i = 0; i < k; ++i) {
    const uint8_t* m = key + 8 * i;
    even[i] = load32_le(m);
    odd[i] = load32_le(m + 4);
    uint32_t s = 0;
    for (unsigned c = 0; c < 8; ++c) s ^= kRs.col[c][m[c]];
    sboxKey[k - 1 - i] = s;
  }
  switch (k) {
    case 2: ExpandWords<2>(even, odd, sboxKey, out); break;
    case 3: ExpandWords<3>(even, odd, sboxKey, out); break;
    default: ExpandWords<4>(even, odd, sboxKey, out); break;
  }
  SecureWipe(even, sizeof even);
  SecureWipe(odd, sizeof odd);
  SecureWipe(sboxKey, sizeof sboxKey);
}

void EncryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  Words<1> x;
  Load(x, in);
  Crypt<false, PortableFields>(schedule, x);
  Store(x, out);
}

void DecryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  Words<1> x;
  Load(x, in);
  Crypt<true, PortableFields>(schedule, x);
  Store(x, out);
}

void EncryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks) {
  WithByteFields([&](auto fields) { CryptECB<false, decltype(fields)>(schedule, in, out, blocks); });
}

void DecryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks) {
  WithByteFields([&](auto fields) { CryptECB<true, decltype(fields)>(schedule, in, out, blocks); });
}

namespace {

template <typename Bytes>
void EncryptCBCWith(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  Words<1> chain;
  Load(chain, iv);
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    Words<1> x;
    Load(x, in);
    x.a[0] ^= chain.a[0], x.b[0] ^= chain.b[0], x.c[0] ^= chain.c[0], x.d[0] ^= chain.d[0];
    Crypt<false, Bytes>(schedule, x);
    Store(x, out);
    chain = x;
  }
  Store(chain, iv);
}

template <typename Bytes>
void DecryptCBCWith(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  Words<1> chain;
  Load(chain, iv);
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    Words<kLanes> x;
    Load(x, in);
    Crypt<true, Bytes>(schedule, x);
    // Each block's predecessor is read again from `in`, before the group's
    // output is stored (`out` may be `in`), rather than kept across the rounds.
    for (size_t i = 0; i < kLanes; ++i) {
      x.a[i] ^= chain.a[0], x.b[i] ^= chain.b[0], x.c[i] ^= chain.c[0], x.d[i] ^= chain.d[0];
      Words<1> cipher;
      Load(cipher, in + i * kBlockSize);
      chain = cipher;
    }
    Store(x, out);
  }
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    Words<1> cipher;
    Load(cipher, in);
    Words<1> x = cipher;
    Crypt<true, Bytes>(schedule, x);
    x.a[0] ^= chain.a[0], x.b[0] ^= chain.b[0], x.c[0] ^= chain.c[0], x.d[0] ^= chain.d[0];
    Store(x, out);
    chain = cipher;
  }
  Store(chain, iv);
}

}  // namespace

// CBC encryption is one chain of dependent blocks; on it BEXTR measured
// slower than the shifts and masks, so it keeps those on every processor.
void EncryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  EncryptCBCWith<PortableFields>(schedule, in, out, blocks, iv);
}

void DecryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  WithByteFields([&](auto fields) { DecryptCBCWith<decltype(fields)>(schedule, in, out, blocks, iv); });
}

}  // namespace orvo::twofish
