// Blowfish: Eric Young's published vectors, the initial tables checked against
// pi and the integrity value, and the two key set-up self-tests over damaged
// copies of the tables.
#include "crypto/blowfish.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "crypto/blowfish_core.h"
#include "tests/crypto/byte_fields_paths.h"
#include "tests/crypto/cipher_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ExpectAlarm;
using orvo::test::FromHexText;
using orvo::test::OnEachByteFieldsPath;
using orvo::test::ReadVecFile;
using orvo::test::ToHexText;
using orvo::test::VecRecord;
namespace bf = orvo::blowfish;

// L (4 bytes, big-endian) followed by the L key bytes.
XBlob BlowfishKeyBlob(const std::vector<uint8_t>& key) {
  XBlob blob(16);
  blob.InsertLong(static_cast<uint32_t>(key.size()));
  blob.Append(key.data(), static_cast<uint32_t>(key.size()));
  return blob;
}

const VecRecord& CbcExample() {
  static const std::vector<VecRecord> records = ReadVecFile("crypto/blowfish.vec");
  for (const VecRecord& rec : records) {
    if (rec.section == "CBC") return rec;
  }
  throw std::runtime_error("no CBC record in blowfish.vec");
}

bf::State Keyed(const std::vector<uint8_t>& key) {
  bf::State state;
  bf::KeySetup(key.data(), static_cast<uint32_t>(key.size()), bf::kInitialP, bf::kInitialS, state);
  return state;
}

// The ECB set for 8-byte keys and the set of keys of 1 to 24 bytes, keyed on
// each path.
TEST(BlowfishTest, PublishedBlockVectors) {
  const auto records = ReadVecFile("crypto/blowfish.vec");
  size_t blockRecords = 0;
  for (const auto& rec : records) {
    if (rec.section != "ECB" && rec.section != "VariableKey") continue;
    SCOPED_TRACE(rec.Where());
    ++blockRecords;
    const std::vector<uint8_t> pt = rec.Bytes("PT");
    const std::vector<uint8_t> ct = rec.Bytes("CT");
    OnEachByteFieldsPath([&] {
      const bf::State state = Keyed(rec.Bytes("Key"));
      uint8_t out[8];
      bf::CryptBlock(state, state.p, pt.data(), out);
      EXPECT_EQ(ToHexText(out, 8), ToHexText(ct.data(), 8));
      bf::CryptBlock(state, state.pReversed, ct.data(), out);
      EXPECT_EQ(ToHexText(out, 8), ToHexText(pt.data(), 8));
    });
  }
  EXPECT_EQ(blockRecords, 34u + 24u);
}

// The chaining-mode example, chained here by hand around the block function.
TEST(BlowfishTest, PublishedCbcExampleBlockByBlock) {
  const VecRecord* rec = &CbcExample();
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

// The published vectors through XBlowfish: key blobs of 8 and of 1 to 24
// bytes, the block operations and the engine in ECB.
TEST(BlowfishTest, PublishedVectorsThroughTheObject) {
  for (const VecRecord& rec : ReadVecFile("crypto/blowfish.vec")) {
    if (rec.section == "CBC") continue;
    SCOPED_TRACE(rec.Where());
    XBlowfish c;
    c.Setup(XBlockCipher::kModeECB, 0);
    c.SetKey(BlowfishKeyBlob(rec.Bytes("Key")));
    EXPECT_EQ(ToHexText(c.Encrypt(rec.Blob("PT"))), ToHexText(rec.Blob("CT")));
    EXPECT_EQ(ToHexText(c.Decrypt(rec.Blob("CT"))), ToHexText(rec.Blob("PT")));
  }
}

// The engine has no initialisation vector: its chaining register starts at
// zero. The example's IV is brought into the register first: an ECB Decrypt
// leaves the last plaintext block in the register, so deciphering E(IV) puts
// IV there; a CBC Decrypt leaves the last ciphertext block, so deciphering the
// block IV itself does. Then the 29 data bytes, padded with zero filler.
TEST(BlowfishTest, PublishedCbcExampleThroughTheEngine) {
  const VecRecord& rec = CbcExample();
  const XBlob iv = rec.Blob("IV");
  const std::vector<uint8_t> ct = rec.Bytes("CT");

  XBlowfish sealer;
  sealer.Setup(XBlockCipher::kModeECB, 0);
  sealer.SetKey(BlowfishKeyBlob(rec.Bytes("Key")));
  XBlob encryptedIv(16);
  encryptedIv.Append(iv.data, 8);
  sealer.EncryptBlock(iv.data, encryptedIv.data);
  sealer.Decrypt(encryptedIv);
  ASSERT_EQ(ToHexText(sealer.chain, 8), ToHexText(iv));
  sealer.mode = XBlockCipher::kModeCBC;
  EXPECT_EQ(ToHexText(sealer.Encrypt(rec.Blob("PT"))), ToHexText(ct.data(), ct.size()));

  XBlowfish opener;
  opener.Setup(XBlockCipher::kModeCBC, 0);
  opener.SetKey(BlowfishKeyBlob(rec.Bytes("Key")));
  opener.Decrypt(iv);
  ASSERT_EQ(ToHexText(opener.chain, 8), ToHexText(iv));
  std::vector<uint8_t> plain = rec.Bytes("PT");
  plain.resize(32, 0);  // Decrypt keeps the padding
  EXPECT_EQ(ToHexText(opener.Decrypt(BlobOf(ct))), ToHexText(plain.data(), plain.size()));

  // Without the IV in the register the first block differs and the rest,
  // chained from ciphertext, agrees.
  XBlowfish fresh;
  fresh.Setup(XBlockCipher::kModeCBC, 0);
  fresh.SetKey(BlowfishKeyBlob(rec.Bytes("Key")));
  const std::string garbled = ToHexText(fresh.Decrypt(BlobOf(ct)));
  EXPECT_NE(garbled.substr(0, 16), ToHexText(plain.data(), 8));
  EXPECT_EQ(garbled.substr(16), ToHexText(plain.data() + 8, 24));
}

// The bulk runs (four blocks in flight, then one at a time) on each path
// against the one-block function chained by hand.
TEST(BlowfishTest, BulkRunsMatchTheBlockFunction) {
  const bf::State state = Keyed(FromHexText("0123456789abcdeff0e1d2c3b4a59687"));
  orvo::test::BulkRuns runs;
  runs.blockSize = bf::kBlockSize;
  runs.encryptBlock = [&](const uint8_t* in, uint8_t* out) { bf::CryptBlock(state, state.p, in, out); };
  runs.encryptECB = [&](const uint8_t* in, uint8_t* out, size_t n) { bf::CryptECB(state, state.p, in, out, n); };
  runs.decryptECB = [&](const uint8_t* in, uint8_t* out, size_t n) {
    bf::CryptECB(state, state.pReversed, in, out, n);
  };
  runs.encryptCBC = [&](const uint8_t* in, uint8_t* out, size_t n, uint8_t* iv) {
    bf::EncryptCBC(state, in, out, n, iv);
  };
  runs.decryptCBC = [&](const uint8_t* in, uint8_t* out, size_t n, uint8_t* iv) {
    bf::DecryptCBC(state, in, out, n, iv);
  };
  OnEachByteFieldsPath([&] { orvo::test::ExpectBulkRunsMatchTheBlockFunction(runs); });
}

// Decrypt takes whole 8-byte blocks only: 12 bytes fail, 16 bytes are two blocks.
TEST(BlowfishTest, DecryptNeedsWholeBlocks) {
  XBlowfish c;
  c.Setup(XBlockCipher::kModeECB, 0);
  c.SetKey(BlowfishKeyBlob(std::vector<uint8_t>(8, 7)));
  ExpectAlarm([&] { c.Decrypt(BlobOf(std::vector<uint8_t>(12, 1))); }, alarm_text::kUnableToDecrypt, nullptr);
  const XBlob two = c.Decrypt(BlobOf(std::vector<uint8_t>(16, 1)));
  EXPECT_EQ(two.size, 16u);
  EXPECT_EQ(ToHexText(two).substr(0, 16), ToHexText(two).substr(16));
}

// The integrity value over a set of initial tables: c = 0; per P word in order
// c = ROL(c, 1) + P; then per S-box word (S1 first, each from index 0)
// c = ROL(13·c, 11) + S; all modulo 2^32.
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

// Keys of every length, on both paths of the key schedule: the same keyed
// state to the last word.
TEST(BlowfishTest, KeySchedulePathsAgree) {
  for (uint32_t length = 1; length <= bf::kMaxKeyBytes; ++length) {
    SCOPED_TRACE(testing::Message() << length << " key bytes");
    std::vector<uint8_t> key(length);
    for (uint32_t i = 0; i < length; ++i) key[i] = static_cast<uint8_t>(37 * i + length);
    std::vector<bf::State> states;
    OnEachByteFieldsPath([&] { states.push_back(Keyed(key)); });
    for (const bf::State& state : states) EXPECT_EQ(std::memcmp(&state, &states[0], sizeof state), 0);
  }
}

// Runs a key set-up over `tables` into a state filled with a marker, on each
// path, and checks the alarm and that the state was not touched.
void ExpectSelfTestFailure(const Tables& tables, const char* message) {
  OnEachByteFieldsPath([&] {
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
  });
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
