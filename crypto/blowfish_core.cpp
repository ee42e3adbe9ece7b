// Blowfish (Schneier, FSE 1993): the Feistel network and the key set-up with
// its two self-tests.
#include "crypto/blowfish_core.h"

#include <cstring>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/wipe.h"
#include "crypto/byte_fields.h"

namespace orvo::blowfish {

namespace {

constexpr char kName[] = "Blowfish";
constexpr int kKnownAnswerRounds = 10;

// F takes bytes 1 and 2 of its word through `Bytes` (crypto/byte_fields.h):
// with BEXTR a step less on the key schedule's chain of dependent rounds, and
// fewer instructions per block in the bulk runs.
template <typename Bytes>
inline uint32_t FAt(const uint32_t (*s)[256], uint32_t x) {
  return ((s[0][x >> 24] + s[1][Bytes::Byte2(x)]) ^ s[2][Bytes::Byte1(x)]) + s[3][x & 0xFF];
}

// The tables of N chains of encipherment: every chain over the same S-boxes
// and P-array (the blocks of a bulk run), or each over its own (the key
// schedule with the known answer beside it). S(n) gives S1..S4 of chain n
// (one base address), P(n, i) its P-array word i.
struct SharedTables {
  const uint32_t (*s)[256];
  const uint32_t* p;
  const uint32_t (*S(size_t) const)[256] { return s; }
  uint32_t P(size_t, int i) const { return p[i]; }
};

template <size_t N>
struct OwnTables {
  const uint32_t (*s[N])[256];
  const uint32_t* p[N];
  const uint32_t (*S(size_t n) const)[256] { return s[n]; }
  uint32_t P(size_t n, int i) const { return p[n][i]; }
};

// One round from half `from` onto half `to` of N chains: to ^= P ^ F(from),
// P mixed in first so that only one exclusive-or waits for F.
template <typename Bytes, typename Tables, size_t N>
inline void Round(const Tables& t, int i, const uint32_t (&from)[N], uint32_t (&to)[N]) {
  for (size_t n = 0; n < N; ++n) to[n] = (to[n] ^ t.P(n, i)) ^ FAt<Bytes>(t.S(n), from[n]);
}

// 16 rounds over N independent chains, unrolled and without the swaps: the
// left half takes P1, each round's F output the next P word; the halves of
// the last round come out swapped, with P17 and P18.
template <typename Bytes, typename Tables, size_t N>
inline void Encipher(const Tables& t, uint32_t (&l)[N], uint32_t (&r)[N]) {
  for (size_t n = 0; n < N; ++n) l[n] ^= t.P(n, 0);
  Round<Bytes>(t, 1, l, r);
  Round<Bytes>(t, 2, r, l);
  Round<Bytes>(t, 3, l, r);
  Round<Bytes>(t, 4, r, l);
  Round<Bytes>(t, 5, l, r);
  Round<Bytes>(t, 6, r, l);
  Round<Bytes>(t, 7, l, r);
  Round<Bytes>(t, 8, r, l);
  Round<Bytes>(t, 9, l, r);
  Round<Bytes>(t, 10, r, l);
  Round<Bytes>(t, 11, l, r);
  Round<Bytes>(t, 12, r, l);
  Round<Bytes>(t, 13, l, r);
  Round<Bytes>(t, 14, r, l);
  Round<Bytes>(t, 15, l, r);
  Round<Bytes>(t, 16, r, l);
  for (size_t n = 0; n < N; ++n) {
    const uint32_t left = r[n] ^ t.P(n, 17);
    r[n] = l[n];
    l[n] = left;
  }
}

// N blocks under one keyed state, with the P-array `p` (state.p encrypts,
// state.pReversed decrypts).
template <typename Bytes, size_t N>
inline void Encipher(const State& state, const uint32_t* p, uint32_t (&l)[N], uint32_t (&r)[N]) {
  Encipher<Bytes>(SharedTables{state.s, p}, l, r);
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

// Two steps of the integrity value beside the schedule's encipherment `e`
// (0 to 520): c = ROL(c, 1) + P per P word, then c = ROL(13·c, 11) + S per
// S-box word (S1 first, each from index 0), 1042 words in all.
inline uint32_t CheckSteps(uint32_t check, int e, const uint32_t* p, const uint32_t (&s)[4][256]) {
  if (e < 9) {
    check = rotl32(check, 1) + p[2 * e];
    return rotl32(check, 1) + p[2 * e + 1];
  }
  const int k = 2 * (e - 9);
  const uint32_t* w = s[k / 256] + k % 256;
  check = rotl32(13 * check, 11) + w[0];
  return rotl32(13 * check, 11) + w[1];
}

// An empty statement that claims to change `check` after reading `chain`.
// It keeps the integrity steps inside the schedule's loop: left alone, the
// compiler moves them out into a loop of their own after it, where their
// chain of multiplications and rotations adds to the time instead of running
// beside the schedule.
inline void KeepBeside(uint32_t& check, uint32_t chain) { __asm__("" : "+r"(check) : "r"(chain)); }

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
    // Pairs never straddle two S-boxes (256 is even), so each pair is
    // addressed inside its own box.
    const int k = 2 * (e - 9);
    uint32_t* w = e < 9 ? work.p + 2 * e : work.s[k / 256] + k % 256;
    w[0] = left;
    w[1] = right;
  };
  for (int e = 0; e < 2 * kKnownAnswerRounds; ++e) {
    if (e == kKnownAnswerRounds) knownLeft = l[1];
    const OwnTables<2> tables = {{work.s, s}, {work.p, e < kKnownAnswerRounds ? p : reversed}};
    Encipher<Bytes>(tables, l, r);
    place(e, l[0], r[0]);
    check = CheckSteps(check, e, p, s);
    KeepBeside(check, l[0]);
  }
  uint32_t l1[1] = {l[0]};
  uint32_t r1[1] = {r[0]};
  for (int e = 2 * kKnownAnswerRounds; e < 9 + 512; ++e) {
    Encipher<Bytes>(SharedTables{work.s, work.p}, l1, r1);
    place(e, l1[0], r1[0]);
    check = CheckSteps(check, e, p, s);
    KeepBeside(check, l1[0]);
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
  WithByteFields([&](auto fields) { KeySetupWith<decltype(fields)>(key, length, p, s, out); });
}

void CryptBlock(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out) {
  uint32_t l[1];
  uint32_t r[1];
  Load(l, r, in);
  Encipher<PortableFields>(state, p, l, r);
  Store(l, r, out);
}

namespace {

template <typename Bytes>
void CryptECBWith(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    uint32_t l[kLanes];
    uint32_t r[kLanes];
    Load(l, r, in);
    Encipher<Bytes>(state, p, l, r);
    Store(l, r, out);
  }
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    uint32_t l[1];
    uint32_t r[1];
    Load(l, r, in);
    Encipher<Bytes>(state, p, l, r);
    Store(l, r, out);
  }
}

template <typename Bytes>
void EncryptCBCWith(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  uint32_t l[1];
  uint32_t r[1];
  Load(l, r, iv);
  for (; blocks != 0; --blocks, in += kBlockSize, out += kBlockSize) {
    l[0] ^= load32_be(in);
    r[0] ^= load32_be(in + 4);
    Encipher<Bytes>(state, state.p, l, r);
    Store(l, r, out);
  }
  Store(l, r, iv);
}

template <typename Bytes>
void DecryptCBCWith(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  uint32_t chainL = load32_be(iv);
  uint32_t chainR = load32_be(iv + 4);
  for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockSize, out += kLanes * kBlockSize) {
    uint32_t l[kLanes];
    uint32_t r[kLanes];
    Load(l, r, in);
    Encipher<Bytes>(state, state.pReversed, l, r);
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
    Encipher<Bytes>(state, state.pReversed, l, r);
    l[0] ^= chainL;
    r[0] ^= chainR;
    chainL = load32_be(in);
    chainR = load32_be(in + 4);
    Store(l, r, out);
  }
  store32_be(iv, chainL);
  store32_be(iv + 4, chainR);
}

}  // namespace

void CryptECB(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out, size_t blocks) {
  WithByteFields([&](auto fields) { CryptECBWith<decltype(fields)>(state, p, in, out, blocks); });
}

void EncryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  WithByteFields([&](auto fields) { EncryptCBCWith<decltype(fields)>(state, in, out, blocks, iv); });
}

void DecryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) {
  WithByteFields([&](auto fields) { DecryptCBCWith<decltype(fields)>(state, in, out, blocks, iv); });
}

}  // namespace orvo::blowfish
