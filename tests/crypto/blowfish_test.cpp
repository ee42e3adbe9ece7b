// Blowfish: Eric Young's published vectors, the initial tables checked against
// pi and the integrity value, and the two key set-up self-tests over damaged
// copies of the tables.
#include "crypto/blowfish.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "crypto/alarm.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::ReadVecFile;
using orvo::test::ToHexText;
namespace bf = orvo::blowfish;

bf::State Keyed(const std::vector<uint8_t>& key) {
  bf::State state;
  bf::KeySetup(key.data(), static_cast<uint32_t>(key.size()), bf::kInitialP, bf::kInitialS, state);
  return state;
}

// The ECB set for 8-byte keys and the set of keys of 1 to 24 bytes.
TEST(BlowfishTest, PublishedBlockVectors) {
  const auto records = ReadVecFile("crypto/blowfish.vec");
  size_t blockRecords = 0;
  for (const auto& rec : records) {
    if (rec.section != "ECB" && rec.section != "VariableKey") continue;
    SCOPED_TRACE(rec.Where());
    ++blockRecords;
    const bf::State state = Keyed(rec.Bytes("Key"));
    const std::vector<uint8_t> pt = rec.Bytes("PT");
    const std::vector<uint8_t> ct = rec.Bytes("CT");
    uint8_t out[8];
    bf::CryptBlock(state, state.p, pt.data(), out);
    EXPECT_EQ(ToHexText(out, 8), ToHexText(ct.data(), 8));
    bf::CryptBlock(state, state.pReversed, ct.data(), out);
    EXPECT_EQ(ToHexText(out, 8), ToHexText(pt.data(), 8));
  }
  EXPECT_EQ(blockRecords, 34u + 24u);
}

// The chaining-mode example, chained here by hand around the block function.
TEST(BlowfishTest, PublishedCbcExampleBlockByBlock) {
  const auto records = ReadVecFile("crypto/blowfish.vec");
  const auto* rec = &records.back();
  ASSERT_EQ(rec->section, "CBC");
  const bf::State state = Keyed(rec->Bytes("Key"));
  std::vector<uint8_t> data = rec->Bytes("PT");
  data.resize(32, 0);
  std::vector<uint8_t> chain = rec->Bytes("IV");
  std::vector<uint8_t> out;
  for (size_t at = 0; at < data.size(); at += 8) {
    uint8_t block[8];
    for (int i = 0; i < 8; ++i) block[i] = data[at + i] ^ chain[i];
    bf::CryptBlock(state, state.p, block, chain.data());
    out.insert(out.end(), chain.begin(), chain.end());
  }
  const std::vector<uint8_t> ct = rec->Bytes("CT");
  EXPECT_EQ(ToHexText(out.data(), out.size()), ToHexText(ct.data(), ct.size()));
}

// The integrity value, computed here independently of LoadTables.
uint32_t IntegrityValue(const uint32_t (&p)[18], const uint32_t (&s)[4][256]) {
  uint32_t c = 0;
  for (uint32_t w : p) c = ((c << 1) | (c >> 31)) + w;
  for (const auto& box : s) {
    for (uint32_t w : box) {
      const uint32_t m = 13 * c;
      c = ((m << 11) | (m >> 21)) + w;
    }
  }
  return c;
}

TEST(BlowfishTest, InitialTablesGiveTheIntegrityValue) {
  EXPECT_EQ(IntegrityValue(bf::kInitialP, bf::kInitialS), 0x55861A61u);
  bf::State state;
  EXPECT_EQ(bf::LoadTables(bf::kInitialP, bf::kInitialS, state), 0x55861A61u);
  EXPECT_EQ(std::memcmp(state.p, bf::kInitialP, sizeof state.p), 0);
  EXPECT_EQ(state.pReversed[0], bf::kInitialP[17]);
  EXPECT_EQ(state.pReversed[17], bf::kInitialP[0]);
  EXPECT_EQ(std::memcmp(state.s, bf::kInitialS, sizeof state.s), 0);
}

// Hexadecimal digits n+1 .. n+8 of pi's fractional part by the
// Bailey-Borwein-Plouffe formula: pi = sum 16^-k (4/(8k+1) - 2/(8k+4) - 1/(8k+5) - 1/(8k+6)).
double BbpSeries(unsigned j, unsigned n) {
  double sum = 0;
  for (unsigned k = 0; k <= n; ++k) {
    const uint64_t r = 8 * k + j;
    uint64_t power = 1;  // 16^(n-k) mod r
    for (uint64_t base = 16 % r, e = n - k; e != 0; e >>= 1) {
      if (e & 1) power = power * base % r;
      base = base * base % r;
    }
    sum += static_cast<double>(power) / static_cast<double>(r);
    sum -= std::floor(sum);
  }
  for (unsigned k = n + 1;; ++k) {
    const double term = std::pow(16.0, static_cast<double>(n) - k) / (8.0 * k + j);
    if (term < 1e-17) break;
    sum += term;
  }
  return sum - std::floor(sum);
}

uint32_t PiWord(unsigned index) {
  const unsigned n = 8 * index;
  double x = 4 * BbpSeries(1, n) - 2 * BbpSeries(4, n) - BbpSeries(5, n) - BbpSeries(6, n);
  x -= std::floor(x);
  return static_cast<uint32_t>(x * 4294967296.0);
}

TEST(BlowfishTest, InitialTablesAreTheDigitsOfPi) {
  // Word i of P1..P18, S1[0]..S4[255] holds hexadecimal digits 8i+1 .. 8i+8.
  for (unsigned index : {0u, 1u, 17u, 18u, 100u, 273u, 274u, 529u, 530u, 785u, 786u, 1000u, 1041u}) {
    const uint32_t word = index < 18 ? bf::kInitialP[index] : bf::kInitialS[(index - 18) / 256][(index - 18) % 256];
    EXPECT_EQ(word, PiWord(index)) << "word " << index;
  }
}

struct Tables {
  uint32_t p[18];
  uint32_t s[4][256];
  Tables() {
    std::memcpy(p, bf::kInitialP, sizeof p);
    std::memcpy(s, bf::kInitialS, sizeof s);
  }
};

// Runs a key set-up over `tables` into a state filled with a marker and checks
// the alarm and that the state was not touched.
void ExpectSelfTestFailure(const Tables& tables, const char* message) {
  bf::State state;
  std::memset(&state, 0x5A, sizeof state);
  bf::State before = state;
  const uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  try {
    bf::KeySetup(key, sizeof key, tables.p, tables.s, state);
    ADD_FAILURE() << "no alarm";
  } catch (const XAlarm& alarm) {
    EXPECT_STREQ(alarm.message, message);
    ASSERT_NE(alarm.object, nullptr);
    EXPECT_STREQ(alarm.object, "Blowfish");
  }
  EXPECT_EQ(std::memcmp(&state, &before, sizeof state), 0) << "a failed key set-up changed the state";
}

TEST(BlowfishTest, DamagedTablesFailTheIntegrityTest) {
  Tables damagedP;
  damagedP.p[5] ^= 0x00010000;
  ExpectSelfTestFailure(damagedP, "Invalid key");
  Tables damagedS;
  damagedS.s[3][255] += 1;
  ExpectSelfTestFailure(damagedS, "Invalid key");
}

TEST(BlowfishTest, DamageThatKeepsTheIntegrityValueFailsTheKnownAnswerTest) {
  // Change P18 and compensate in the last S-box word, which only adds to the
  // final value, so that the integrity test passes and the known answer fails.
  Tables tables;
  tables.p[17] ^= 0x80000000;
  tables.s[3][255] += 0x55861A61u - IntegrityValue(tables.p, tables.s);
  ASSERT_EQ(IntegrityValue(tables.p, tables.s), 0x55861A61u);
  ExpectSelfTestFailure(tables, "Unable to decrypt data");
}

}  // namespace
