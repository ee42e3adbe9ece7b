// Blowfish (Schneier, FSE 1993): the Feistel network and the key set-up with
// its two self-tests.
#include "crypto/blowfish_core.h"

#include <cstring>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/wipe.h"

namespace orvo::blowfish {

namespace {

constexpr char kName[] = "Blowfish";
constexpr int kKnownAnswerRounds = 10;

// The four S-boxes by their own base addresses.
struct Boxes {
  explicit Boxes(const State& st) : s0(st.s[0]), s1(st.s[1]), s2(st.s[2]), s3(st.s[3]) {}
  const uint32_t* s0;
  const uint32_t* s1;
  const uint32_t* s2;
  const uint32_t* s3;
};

inline uint32_t F(const Boxes& b, uint32_t x) {
  return ((b.s0[x >> 24] + b.s1[(x >> 16) & 0xFF]) ^ b.s2[(x >> 8) & 0xFF]) + b.s3[x & 0xFF];
}

// One round from half `from` onto half `to`: to ^= P ^ F(from). P is mixed in
// first, so that only one exclusive-or waits for F.
template <size_t N>
inline void Round(const Boxes& st, uint32_t p, const uint32_t (&from)[N], uint32_t (&to)[N]) {
  for (size_t i = 0; i < N; ++i) to[i] = (to[i] ^ p) ^ F(st, from[i]);
}

// 16 rounds over N independent blocks, unrolled and without the swaps: the
// left half takes P1, each round's F output the next P word; the halves of the
// last round come out swapped, with P17 and P18.
template <size_t N>
inline void Encipher(const State& state, const uint32_t* p, uint32_t (&l)[N], uint32_t (&r)[N]) {
  const Boxes st(state);
  for (size_t i = 0; i < N; ++i) l[i] ^= p[0];
  Round(st, p[1], l, r);
  Round(st, p[2], r, l);
  Round(st, p[3], l, r);
  Round(st, p[4], r, l);
  Round(st, p[5], l, r);
  Round(st, p[6], r, l);
  Round(st, p[7], l, r);
  Round(st, p[8], r, l);
  Round(st, p[9], l, r);
  Round(st, p[10], r, l);
  Round(st, p[11], l, r);
  Round(st, p[12], r, l);
  Round(st, p[13], l, r);
  Round(st, p[14], r, l);
  Round(st, p[15], l, r);
  Round(st, p[16], r, l);
  for (size_t i = 0; i < N; ++i) {
    const uint32_t left = r[i] ^ p[17];
    r[i] = l[i];
    l[i] = left;
  }
}

inline void Encipher(const State& st, const uint32_t* p, uint32_t& left, uint32_t& right) {
  uint32_t l[1] = {left};
  uint32_t r[1] = {right};
  Encipher(st, p, l, r);
  left = l[0];
  right = r[0];
}

template <size_t N>
inline void Load(uint32_t (&l)[N], uint32_t (&r)[N], const uint8_t* in) {
  for (size_t i = 0; i < N; ++i, in += kBlockSize) {
    l[i] = load32_be(in);
    r[i] = load32_be(in + 4);
  }
}

template <size_t N>
inline void Store(const uint32_t (&l)[N], const uint32_t (&r)[N], uint8_t* out) {
  for (size_t i = 0; i < N; ++i, out += kBlockSize) {
    store32_be(out, l[i]);
    store32_be(out + 4, r[i]);
  }
}

// Blocks of ECB and CBC decryption in groups of kLanes.
constexpr size_t kLanes = 4;

bool KnownAnswerHolds(const State& st) {
  uint32_t l = 0;
  uint32_t r = 0;
  for (int i = 0; i < kKnownAnswerRounds; ++i) Encipher(st, st.p, l, r);
  if (l != kKnownAnswerLeft) return false;
  for (int i = 0; i < kKnownAnswerRounds; ++i) Encipher(st, st.pReversed, l, r);
  return l == 0 && r == 0;
}

// Paper, "Generating the Subkeys": P xored with the key bytes taken
// cyclically, then P1..P18 and S1[0]..S4[255] replaced two words at a time by
// the running encipherment of the zero block.
void ApplyKey(const uint8_t* key, uint32_t length, State& st) {
  uint32_t j = 0;
  for (int i = 0; i < 18; ++i) {
    uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word = (word << 8) | key[j];
      j = (j + 1 == length) ? 0 : j + 1;
    }
    st.p[i] ^= word;
    st.pReversed[17 - i] = st.p[i];
  }
  uint32_t l = 0;
  uint32_t r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encipher(st, st.p, l, r);
    st.p[i] = l;
    st.p[i + 1] = r;
    st.pReversed[17 - i] = l;
    st.pReversed[16 - i] = r;
  }
  for (auto& box : st.s) {
    for (int i = 0; i < 256; i += 2) {
      Encipher(st, st.p, l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  }
}

}  // namespace

uint32_t LoadTables(const uint32_t (&p)[18], const uint32_t (&s)[4][256], State& state) {
  uint32_t check = 0;
  for (int i = 0; i < 18; ++i) {
    state.p[i] = p[i];
    state.pReversed[17 - i] = p[i];
    check = rotl32(check, 1) + p[i];
  }
  for (int b = 0; b < 4; ++b) {
    for (int i = 0; i < 256; ++i) {
      state.s[b][i] = s[b][i];
      check = rotl32(13 * check, 11) + s[b][i];
    }
  }
  return check;
}

void KeySetup(const uint8_t* key, uint32_t length, const uint32_t (&p)[18], const uint32_t (&s)[4][256],
              State& out) {
  // The self-tests run on a private copy of the initial tables (which hold
  // nothing secret), so that a failure leaves `out`, an object's earlier key,
  // intact; only then are the tables keyed in `out`.
  State initial;
  if (LoadTables(p, s, initial) != kTableCheck) throw XCryptoAlarm(alarm_text::kInvalidKey, kName);
  if (!KnownAnswerHolds(initial)) throw XCryptoAlarm(alarm_text::kUnableToDecrypt, kName);
  std::memcpy(&out, &initial, sizeof out);
  ApplyKey(key, length, out);
}

void CryptBlock(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out) {
  uint32_t l[1];
  uint32_t r[1];
  Load(l, r, in);
  Encipher(state, p, l, r);
  Store(l, r, out);
}

void CryptECB(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    uint32_t l[kLanes];
    uint32_t r[kLanes];
    Load(l, r, in);
    Encipher(state, p, l, r);
    Store(l, r, out);
  }
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) CryptBlock(state, p, in, out);
}

void EncryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  uint32_t l[1];
  uint32_t r[1];
  Load(l, r, iv);
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    l[0] ^= load32_be(in);
    r[0] ^= load32_be(in + 4);
    Encipher(state, state.p, l, r);
    Store(l, r, out);
  }
  Store(l, r, iv);
}

void DecryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  uint32_t chainL = load32_be(iv);
  uint32_t chainR = load32_be(iv + 4);
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    uint32_t l[kLanes];
    uint32_t r[kLanes];
    Load(l, r, in);
    Encipher(state, state.pReversed, l, r);
    for (size_t i = 0; i < kLanes; ++i) {
      l[i] ^= chainL;
      r[i] ^= chainR;
      chainL = load32_be(in + i * kBlockSize);
      chainR = load32_be(in + i * kBlockSize + 4);
    }
    Store(l, r, out);
  }
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    uint32_t l[1];
    uint32_t r[1];
    Load(l, r, in);
    Encipher(state, state.pReversed, l, r);
    l[0] ^= chainL;
    r[0] ^= chainR;
    chainL = load32_be(in);
    chainR = load32_be(in + 4);
    Store(l, r, out);
  }
  store32_be(iv, chainL);
  store32_be(iv + 4, chainR);
}

}  // namespace orvo::blowfish
