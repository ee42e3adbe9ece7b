// Twofish ("Twofish: A 128-Bit Block Cipher", 1998): the key schedule with
// full keying (4.3) and the encryption and decryption of one block (4.1, 4.2).
#include "crypto/twofish.h"

#include "crypto/byte_order.h"
#include "crypto/wipe.h"

namespace orvo::twofish {

namespace {

inline uint8_t Byte(uint32_t x, unsigned n) { return static_cast<uint8_t>(x >> (8 * n)); }

// The q permutation that h applies to byte position j just before it adds
// byte j of list word i (paper 4.3.2); the last q of each position is folded
// into kMdsQ.
inline const uint8_t* StageQ(unsigned i, unsigned j) {
  static const uint8_t* const kStages[4][4] = {
      {kQ0, kQ0, kQ1, kQ1},  // before L0
      {kQ0, kQ1, kQ0, kQ1},  // before L1
      {kQ1, kQ1, kQ0, kQ0},  // before L2 (k >= 3)
      {kQ1, kQ0, kQ0, kQ1},  // before L3 (k = 4)
  };
  return kStages[i][j];
}

// One key-dependent S-box composed with its MDS column, for k list words:
// sbox[x] = kMdsQ.col[j][q(...q(q(x) ^ l(k-1)) ... ^ l0)].
template <unsigned K>
void BuildSbox(unsigned j, const uint8_t (&l)[4][4], uint32_t* sbox) {
  const uint8_t* q3 = StageQ(3, j);
  const uint8_t* q2 = StageQ(2, j);
  const uint8_t* q1 = StageQ(1, j);
  const uint8_t* q0 = StageQ(0, j);
  const uint32_t* mds = kMdsQ.col[j];
  for (unsigned x = 0; x < 256; ++x) {
    uint8_t v = static_cast<uint8_t>(x);
    if (K == 4) v = q3[v] ^ l[3][j];
    if (K >= 3) v = q2[v] ^ l[2][j];
    v = q1[v] ^ l[1][j];
    v = q0[v] ^ l[0][j];
    sbox[x] = mds[v];
  }
}

template <unsigned K>
void BuildSboxes(const uint32_t* list, Schedule& out) {
  uint8_t l[4][4] = {};
  for (unsigned i = 0; i < K; ++i) {
    for (unsigned j = 0; j < 4; ++j) l[i][j] = Byte(list[i], j);
  }
  for (unsigned j = 0; j < 4; ++j) BuildSbox<K>(j, l, out.sbox[j]);
  SecureWipe(l, sizeof l);
}

inline uint32_t G(const Schedule& s, uint32_t x) {
  return s.sbox[0][Byte(x, 0)] ^ s.sbox[1][Byte(x, 1)] ^ s.sbox[2][Byte(x, 2)] ^ s.sbox[3][Byte(x, 3)];
}

// Two rounds of encryption (paper 4.1) without the swaps: round 2n works on
// (a, b) -> (c, d), round 2n + 1 on (c, d) -> (a, b).
inline void EncryptCycle(const Schedule& s, unsigned n, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) {
  const uint32_t* k = s.subkeys + 8 + 4 * n;
  uint32_t t0 = G(s, a);
  uint32_t t1 = G(s, rotl32(b, 8));
  c = rotr32(c ^ (t0 + t1 + k[0]), 1);
  d = rotl32(d, 1) ^ (t0 + 2 * t1 + k[1]);
  t0 = G(s, c);
  t1 = G(s, rotl32(d, 8));
  a = rotr32(a ^ (t0 + t1 + k[2]), 1);
  b = rotl32(b, 1) ^ (t0 + 2 * t1 + k[3]);
}

// The inverse of EncryptCycle with the same n.
inline void DecryptCycle(const Schedule& s, unsigned n, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) {
  const uint32_t* k = s.subkeys + 8 + 4 * n;
  uint32_t t0 = G(s, c);
  uint32_t t1 = G(s, rotl32(d, 8));
  a = rotl32(a, 1) ^ (t0 + t1 + k[2]);
  b = rotr32(b ^ (t0 + 2 * t1 + k[3]), 1);
  t0 = G(s, a);
  t1 = G(s, rotl32(b, 8));
  c = rotl32(c, 1) ^ (t0 + t1 + k[0]);
  d = rotr32(d ^ (t0 + 2 * t1 + k[1]), 1);
}

// Both directions: input whitening, 16 rounds fully unrolled, output
// whitening; words are little-endian (paper 4.1).
template <bool kDecrypt>
inline void Crypt(const Schedule& s, const uint8_t* in, uint8_t* out) {
  const uint32_t* w = s.subkeys;
  if constexpr (!kDecrypt) {
    uint32_t a = load32_le(in) ^ w[0];
    uint32_t b = load32_le(in + 4) ^ w[1];
    uint32_t c = load32_le(in + 8) ^ w[2];
    uint32_t d = load32_le(in + 12) ^ w[3];
    EncryptCycle(s, 0, a, b, c, d);
    EncryptCycle(s, 1, a, b, c, d);
    EncryptCycle(s, 2, a, b, c, d);
    EncryptCycle(s, 3, a, b, c, d);
    EncryptCycle(s, 4, a, b, c, d);
    EncryptCycle(s, 5, a, b, c, d);
    EncryptCycle(s, 6, a, b, c, d);
    EncryptCycle(s, 7, a, b, c, d);
    store32_le(out, c ^ w[4]);
    store32_le(out + 4, d ^ w[5]);
    store32_le(out + 8, a ^ w[6]);
    store32_le(out + 12, b ^ w[7]);
  } else {
    uint32_t c = load32_le(in) ^ w[4];
    uint32_t d = load32_le(in + 4) ^ w[5];
    uint32_t a = load32_le(in + 8) ^ w[6];
    uint32_t b = load32_le(in + 12) ^ w[7];
    DecryptCycle(s, 7, a, b, c, d);
    DecryptCycle(s, 6, a, b, c, d);
    DecryptCycle(s, 5, a, b, c, d);
    DecryptCycle(s, 4, a, b, c, d);
    DecryptCycle(s, 3, a, b, c, d);
    DecryptCycle(s, 2, a, b, c, d);
    DecryptCycle(s, 1, a, b, c, d);
    DecryptCycle(s, 0, a, b, c, d);
    store32_le(out, a ^ w[0]);
    store32_le(out + 4, b ^ w[1]);
    store32_le(out + 8, c ^ w[2]);
    store32_le(out + 12, d ^ w[3]);
  }
}

}  // namespace

uint32_t H(uint32_t x, const uint32_t* list, uint32_t k) {
  uint32_t z = 0;
  for (unsigned j = 0; j < 4; ++j) {
    uint8_t v = Byte(x, j);
    for (unsigned i = k; i-- > 0;) v = StageQ(i, j)[v] ^ Byte(list[i], j);
    z ^= kMdsQ.col[j][v];
  }
  return z;
}

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

  constexpr uint32_t kRho = 0x01010101;
  for (uint32_t i = 0; i < 40; i += 2) {
    const uint32_t a = H(i * kRho, even, k);
    const uint32_t b = rotl32(H((i + 1) * kRho, odd, k), 8);
    out.subkeys[i] = a + b;
    out.subkeys[i + 1] = rotl32(a + 2 * b, 9);
  }

  switch (k) {
    case 2: BuildSboxes<2>(sboxKey, out); break;
    case 3: BuildSboxes<3>(sboxKey, out); break;
    default: BuildSboxes<4>(sboxKey, out); break;
  }
  SecureWipe(even, sizeof even);
  SecureWipe(odd, sizeof odd);
  SecureWipe(sboxKey, sizeof sboxKey);
}

void EncryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out) { Crypt<false>(schedule, in, out); }

void DecryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out) { Crypt<true>(schedule, in, out); }

}  // namespace orvo::twofish
