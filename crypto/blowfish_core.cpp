// Blowfish (Schneier, FSE 1993): the Feistel network and the key set-up with
// its two self-tests.
#include "crypto/blowfish_core.h"

#include <cstring>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/cpu_features.h"
#include "base/wipe.h"

namespace orvo::blowfish {

namespace {

constexpr char kName[] = "Blowfish";
constexpr int kKnownAnswerRounds = 10;

// The four S-boxes by their own base addresses.
struct Boxes {
  explicit Boxes(const uint32_t (&s)[4][256]) : s0(s[0]), s1(s[1]), s2(s[2]), s3(s[3]) {}
  explicit Boxes(const State& st) : Boxes(st.s) {}
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
inline void Encipher(const Boxes& st, const uint32_t* p, uint32_t (&l)[N], uint32_t (&r)[N]) {
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

// Encipherments of the key set-up: N independent chains, each over its own
// S-boxes (S1..S4 at `s[i]`, one base address) and P-array `p[i]`. The key
// schedule is one long run of dependent rounds, so a second chain beside it
// (the known answer) costs almost nothing, and the time is the latency of a
// round: byte extraction, load, three additions and exclusive-ors and the
// exclusive-or into the other half. `Bytes` takes bits 16..23 and 8..15 of a
// word: with shifts and masks (PortableBytes, two steps for bits 16..23), or
// with one BEXTR each where the processor has BMI1 (Bmi1Bytes).
struct PortableBytes {
  static uint32_t Bits16(uint32_t x) { return (x >> 16) & 0xFF; }
  static uint32_t Bits8(uint32_t x) { return (x >> 8) & 0xFF; }
};

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kHaveBmi1Path = true;
struct Bmi1Bytes {
  static uint32_t Bits16(uint32_t x) { return Extract(x, 0x0810); }
  static uint32_t Bits8(uint32_t x) { return Extract(x, 0x0808); }
  // BEXTR with the start bit in bits 0..7 of `control`, the length in bits
  // 8..15; written out so that the compiler needs no BMI1 code generation.
  static uint32_t Extract(uint32_t x, uint32_t control) {
    uint32_t bits;
    __asm__("bextr %2, %1, %0" : "=r"(bits) : "r"(x), "r"(control));
    return bits;
  }
};
#else
constexpr bool kHaveBmi1Path = false;
using Bmi1Bytes = PortableBytes;
#endif

template <typename Bytes>
inline uint32_t FAt(const uint32_t (*s)[256], uint32_t x) {
  return ((s[0][x >> 24] + s[1][Bytes::Bits16(x)]) ^ s[2][Bytes::Bits8(x)]) + s[3][x & 0xFF];
}

template <typename Bytes, size_t N>
inline void RoundAt(const uint32_t (*const (&s)[N])[256], const uint32_t* const (&p)[N], int i,
                    const uint32_t (&from)[N], uint32_t (&to)[N]) {
  for (size_t n = 0; n < N; ++n) to[n] = (to[n] ^ p[n][i]) ^ FAt<Bytes>(s[n], from[n]);
}

template <typename Bytes, size_t N>
inline void EncipherAt(const uint32_t (*const (&s)[N])[256], const uint32_t* const (&p)[N], uint32_t (&l)[N],
                       uint32_t (&r)[N]) {
  for (size_t n = 0; n < N; ++n) l[n] ^= p[n][0];
  for (int i = 1; i < 17; i += 2) {
    RoundAt<Bytes>(s, p, i, l, r);
    RoundAt<Bytes>(s, p, i + 1, r, l);
  }
  for (size_t n = 0; n < N; ++n) {
    const uint32_t left = r[n] ^ p[n][17];
    r[n] = l[n];
    l[n] = left;
  }
}

// Two steps of the integrity value beside the schedule's encipherment `e`
// (0 to 520): c = ROL(c, 1) + P per P word, then c = ROL(13·c, 11) + S per
// S-box word (S1 first, each from index 0), 1042 words in all.
inline uint32_t CheckSteps(uint32_t check, int e, const uint32_t* p, const uint32_t* s) {
  if (e < 9) {
    check = rotl32(check, 1) + p[2 * e];
    return rotl32(check, 1) + p[2 * e + 1];
  }
  const uint32_t* w = s + 2 * (e - 9);
  check = rotl32(13 * check, 11) + w[0];
  return rotl32(13 * check, 11) + w[1];
}

template <typename Bytes>
void KeySetupWith(const uint8_t* key, uint32_t length, const uint32_t (&p)[18], const uint32_t (&s)[4][256],
                  State& out) {
  // Paper, "Generating the Subkeys", on a private copy of the initial tables,
  // with the self-tests beside it: P xored with the key bytes taken
  // cyclically, then P1..P18 and S1[0]..S4[255] replaced two words at a time by
  // the running encipherment of the zero block. `out` is written only once
  // both self-tests have passed, so that a failure leaves an object's earlier
  // key intact.
  State work;
  std::memcpy(work.p, p, sizeof work.p);
  std::memcpy(work.s, s, sizeof work.s);
  uint32_t j = 0;
  for (uint32_t& word : work.p) {
    uint32_t k = 0;
    for (int b = 0; b < 4; ++b) {
      k = (k << 8) | key[j];
      j = (j + 1 == length) ? 0 : j + 1;
    }
    word ^= k;
  }

  // The self-tests run beside the schedule's 521 encipherments: two words of
  // the integrity value beside each, and the known answer's twenty
  // encipherments (ten with P, ten with P reversed, over the initial tables)
  // as a second chain beside the first twenty.
  uint32_t reversed[18];
  for (int i = 0; i < 18; ++i) reversed[17 - i] = p[i];
  uint32_t check = 0;
  uint32_t knownLeft = 0;
  uint32_t l[2] = {0, 0};
  uint32_t r[2] = {0, 0};
  auto place = [&work](int e, uint32_t left, uint32_t right) {
    uint32_t* w = e < 9 ? work.p + 2 * e : work.s[0] + 2 * (e - 9);
    w[0] = left;
    w[1] = right;
  };
  for (int e = 0; e < 2 * kKnownAnswerRounds; ++e) {
    if (e == kKnownAnswerRounds) knownLeft = l[1];
    const uint32_t (*const tables[2])[256] = {work.s, s};
    const uint32_t* const keys[2] = {work.p, e < kKnownAnswerRounds ? p : reversed};
    EncipherAt<Bytes>(tables, keys, l, r);
    place(e, l[0], r[0]);
    check = CheckSteps(check, e, p, s[0]);
  }
  uint32_t l1[1] = {l[0]};
  uint32_t r1[1] = {r[0]};
  for (int e = 2 * kKnownAnswerRounds; e < 9 + 512; ++e) {
    const uint32_t (*const tables[1])[256] = {work.s};
    const uint32_t* const keys[1] = {work.p};
    EncipherAt<Bytes>(tables, keys, l1, r1);
    place(e, l1[0], r1[0]);
    check = CheckSteps(check, e, p, s[0]);
  }
  for (int i = 0; i < 18; ++i) work.pReversed[17 - i] = work.p[i];

  const bool integrity = check == kTableCheck;
  const bool knownAnswer = knownLeft == kKnownAnswerLeft && l[1] == 0 && r[1] == 0;
  if (integrity && knownAnswer) std::memcpy(&out, &work, sizeof out);
  SecureWipe(&work, sizeof work);
  if (!integrity) throw XCryptoAlarm(alarm_text::kInvalidKey, kName);
  if (!knownAnswer) throw XCryptoAlarm(alarm_text::kUnableToDecrypt, kName);
}

}  // namespace

void KeySetup(const uint8_t* key, uint32_t length, const uint32_t (&p)[18], const uint32_t (&s)[4][256],
              State& out) {
  if (kHaveBmi1Path && cpu::Usable().bmi1) {
    KeySetupWith<Bmi1Bytes>(key, length, p, s, out);
  } else {
    KeySetupWith<PortableBytes>(key, length, p, s, out);
  }
}

void CryptBlock(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out) {
  uint32_t l[1];
  uint32_t r[1];
  Load(l, r, in);
  Encipher(Boxes(state), p, l, r);
  Store(l, r, out);
}

void CryptECB(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    uint32_t l[kLanes];
    uint32_t r[kLanes];
    Load(l, r, in);
    Encipher(Boxes(state), p, l, r);
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
    Encipher(Boxes(state), state.p, l, r);
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
    Encipher(Boxes(state), state.pReversed, l, r);
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
    Encipher(Boxes(state), state.pReversed, l, r);
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
