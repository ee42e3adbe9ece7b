// Blowfish (Schneier, FSE 1993): the Feistel network and the key set-up with
// its two self-tests.
#include "crypto/blowfish.h"

#include <cstring>

#include "crypto/alarm.h"
#include "crypto/byte_order.h"
#include "crypto/wipe.h"

namespace orvo::blowfish {

namespace {

constexpr char kName[] = "Blowfish";
constexpr int kKnownAnswerRounds = 10;

inline uint32_t F(const State& st, uint32_t x) {
  return ((st.s[0][x >> 24] + st.s[1][(x >> 16) & 0xFF]) ^ st.s[2][(x >> 8) & 0xFF]) + st.s[3][x & 0xFF];
}

// 16 rounds, unrolled, without the swaps: the left half takes P1, then each
// round's F output is merged with the next P word.
inline void Encipher(const State& st, const uint32_t* p, uint32_t& left, uint32_t& right) {
  uint32_t l = left ^ p[0];
  uint32_t r = right;
  r ^= F(st, l) ^ p[1];
  l ^= F(st, r) ^ p[2];
  r ^= F(st, l) ^ p[3];
  l ^= F(st, r) ^ p[4];
  r ^= F(st, l) ^ p[5];
  l ^= F(st, r) ^ p[6];
  r ^= F(st, l) ^ p[7];
  l ^= F(st, r) ^ p[8];
  r ^= F(st, l) ^ p[9];
  l ^= F(st, r) ^ p[10];
  r ^= F(st, l) ^ p[11];
  l ^= F(st, r) ^ p[12];
  r ^= F(st, l) ^ p[13];
  l ^= F(st, r) ^ p[14];
  r ^= F(st, l) ^ p[15];
  l ^= F(st, r) ^ p[16];
  left = r ^ p[17];
  right = l;
}

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
  // A private copy, so that a failed self-test leaves `out` (an object's
  // earlier key) intact.
  State work;
  if (LoadTables(p, s, work) != kTableCheck) {
    SecureWipe(&work, sizeof work);
    throw XCryptoAlarm(alarm_text::kInvalidKey, kName);
  }
  if (!KnownAnswerHolds(work)) {
    SecureWipe(&work, sizeof work);
    throw XCryptoAlarm(alarm_text::kUnableToDecrypt, kName);
  }
  ApplyKey(key, length, work);
  std::memcpy(&out, &work, sizeof out);
  SecureWipe(&work, sizeof work);
}

void CryptBlock(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out) {
  uint32_t l = load32_be(in);
  uint32_t r = load32_be(in + 4);
  Encipher(state, p, l, r);
  store32_be(out, l);
  store32_be(out + 4, r);
}

}  // namespace orvo::blowfish
