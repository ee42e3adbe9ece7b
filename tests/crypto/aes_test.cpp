// XAES: FIPS-197 and AESAVS known answers on every block engine, each engine
// against the tables on random data, odd round counts, the key blob and key
// generation rules, and the tables.
#include "crypto/aes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "base/cpu_features.h"
#include "crypto/aes_tables.h"
#include "tests/crypto/aes_test_support.h"
#include "tests/crypto/cipher_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::AesKeyBlob;
using orvo::test::AesEngineTest;
using orvo::test::AesRoundsFor;
using orvo::test::ExpectAlarm;
using orvo::test::RejectedBlob;
using orvo::test::BlobOf;
using orvo::test::ReadVecFile;
using orvo::test::FromHexText;
using orvo::test::ToHexText;
using orvo::test::VecRecord;

// One known-answer record on every route through XAES: the single-block
// operations and the engine in ECB, both directions.
void CheckKnownAnswer(orvo::aes::Engine engine, const VecRecord& r, uint32_t rounds) {
  SCOPED_TRACE(r.Where());
  XAES aes(engine);
  aes.Setup(XBlockCipher::kModeECB, 0);
  aes.SetKey(AesKeyBlob(rounds, r.Bytes("Key")));
  const std::vector<uint8_t> plain = r.Bytes("Plaintext");
  const std::vector<uint8_t> cipher = r.Bytes("Ciphertext");
  uint8_t block[16];
  aes.EncryptBlock(plain.data(), block);
  EXPECT_EQ(ToHexText(block, 16), r.Get("Ciphertext"));
  aes.DecryptBlock(cipher.data(), block);
  EXPECT_EQ(ToHexText(block, 16), r.Get("Plaintext"));
  EXPECT_EQ(ToHexText(aes.Encrypt(BlobOf(plain))), r.Get("Ciphertext"));
  EXPECT_EQ(ToHexText(aes.Decrypt(BlobOf(cipher))), r.Get("Plaintext"));
}

TEST_P(AesEngineTest, Fips197AppendixC) {
  const auto records = ReadVecFile("crypto/aes_fips197.vec");
  ASSERT_EQ(records.size(), 3u);
  for (const VecRecord& r : records) CheckKnownAnswer(EngineUnderTest(), r, AesRoundsFor(r.Bytes("Key").size()));
}

TEST_P(AesEngineTest, AesavsKnownAnswers) {
  const auto records = ReadVecFile("crypto/aes_kat.vec");
  EXPECT_EQ(records.size(), 1039u);  // 18 GFSbox, 61 KeySbox, 576 VarKey, 384 VarTxt
  for (const VecRecord& r : records) CheckKnownAnswer(EngineUnderTest(), r, AesRoundsFor(r.Bytes("Key").size()));
}

// Records sharing a key (GFSbox, VarTxt) as one ECB buffer through the engine,
// so the many-blocks-in-flight code meets the vectors too.
TEST_P(AesEngineTest, AesavsSectionsAsOneBuffer) {
  std::string section;
  std::vector<uint8_t> key, plain, cipher;
  auto check = [&] {
    if (plain.empty()) return;
    SCOPED_TRACE(section);
    XAES aes(EngineUnderTest());
    aes.Setup(XBlockCipher::kModeECB, 0);
    aes.SetKey(AesKeyBlob(AesRoundsFor(key.size()), key));
    EXPECT_EQ(ToHexText(aes.Encrypt(BlobOf(plain))), ToHexText(BlobOf(cipher)));
    EXPECT_EQ(ToHexText(aes.Decrypt(BlobOf(cipher))), ToHexText(BlobOf(plain)));
  };
  for (const VecRecord& r : ReadVecFile("crypto/aes_kat.vec")) {
    if (r.section != section || r.Bytes("Key") != key) {
      check();
      section = r.section;
      key = r.Bytes("Key");
      plain.clear();
      cipher.clear();
    }
    const auto p = r.Bytes("Plaintext"), c = r.Bytes("Ciphertext");
    plain.insert(plain.end(), p.begin(), p.end());
    cipher.insert(cipher.end(), c.begin(), c.end());
  }
  check();
}

// Key blobs with 32 key bytes and a round count of 0..9, 11, 13 or 14 run exactly that many
// rounds of the FIPS-197 Cipher and decrypt what they encrypt.
TEST_P(AesEngineTest, AnyRoundCountUpTo14) {
  const auto records = ReadVecFile("crypto/aes_rounds.vec");
  ASSERT_EQ(records.size(), 13u);
  for (const VecRecord& r : records) {
    const auto rounds = static_cast<uint32_t>(r.Number("Rounds"));
    CheckKnownAnswer(EngineUnderTest(), r, rounds);
    // Many blocks at once in both modes come back unchanged.
    XAES aes(EngineUnderTest());
    aes.Setup(XBlockCipher::kModeCBC, 0);
    aes.SetKey(AesKeyBlob(rounds, r.Bytes("Key")));
    std::vector<uint8_t> data(16 * 19);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + rounds);
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      aes.mode = mode;
      std::memset(aes.chain, 0, 16);
      const XBlob sealed = aes.Encrypt(BlobOf(data));
      std::memset(aes.chain, 0, 16);
      EXPECT_EQ(ToHexText(aes.Decrypt(sealed)), ToHexText(BlobOf(data))) << r.Where() << " mode " << mode;
    }
  }
}

// Runs longer than the widest bulk loop (32 blocks in flight), with
// remainders of whole vectors and of single blocks, against OpenSSL in both
// modes; the chaining register ends on the last ciphertext block.
TEST_P(AesEngineTest, BulkRunsMatchOpenSSL) {
  const auto records = ReadVecFile("crypto/aes_bulk.vec");
  ASSERT_EQ(records.size(), 3u);
  for (const VecRecord& r : records) {
    SCOPED_TRACE(r.Where());
    const std::vector<uint8_t> key = r.Bytes("Key");
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      const std::string& cipher = r.Get(mode == XBlockCipher::kModeECB ? "EcbCiphertext" : "CbcCiphertext");
      XAES aes(EngineUnderTest());
      aes.SetKey(AesKeyBlob(AesRoundsFor(key.size()), key));
      aes.Setup(mode, 0);
      EXPECT_EQ(ToHexText(aes.Encrypt(r.Blob("Plaintext"))), cipher) << "mode " << mode;
      aes.Setup(mode, 0);
      EXPECT_EQ(ToHexText(aes.Decrypt(BlobOf(FromHexText(cipher)))), r.Get("Plaintext")) << "mode " << mode;
      if (mode == XBlockCipher::kModeCBC) {
        EXPECT_EQ(ToHexText(aes.chain, 16), cipher.substr(cipher.size() - 32));
      }
    }
  }
}

// Random keys and data, every run length from 1 to 70 blocks (each split of
// the bulk loops: whole groups, whole vectors, a partial vector) and a few
// long ones, every key size and an odd round count, both modes and
// directions, chaining on from call to call: the same bytes and the same
// register as the table engine, which the known answers above pin down.
TEST_P(AesEngineTest, RandomDataMatchesTheTableEngine) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937 random(seed);
  auto bytes = [&](size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    return v;
  };
  std::vector<size_t> lengths;
  for (size_t blocks = 1; blocks <= 70; ++blocks) lengths.push_back(blocks);
  for (const size_t blocks : {127, 128, 129, 1000}) lengths.push_back(blocks);
  struct Key {
    uint32_t rounds;
    size_t length;
  };
  for (const Key k : {Key{10, 16}, Key{12, 24}, Key{14, 32}, Key{7, 32}}) {
    const std::vector<uint8_t> key = bytes(k.length);
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      XAES ours(EngineUnderTest()), tables(orvo::aes::Engine::kTable);
      for (XAES* aes : {&ours, &tables}) {
        aes->SetKey(AesKeyBlob(k.rounds, key));
        aes->Setup(mode, 0);
      }
      ASSERT_EQ(tables.BlockEngine(), orvo::aes::Engine::kTable);
      for (const size_t blocks : lengths) {
        SCOPED_TRACE(testing::Message() << "Nr " << k.rounds << ", mode " << mode << ", " << blocks << " blocks");
        const XBlob plain = BlobOf(bytes(16 * blocks));
        const XBlob sealed = ours.Encrypt(plain);
        ASSERT_EQ(ToHexText(sealed), ToHexText(tables.Encrypt(plain)));
        ASSERT_EQ(ToHexText(ours.chain, 16), ToHexText(tables.chain, 16));
        const XBlob other = BlobOf(bytes(16 * blocks));  // not a sealed run: the chain differs too
        ASSERT_EQ(ToHexText(ours.Decrypt(other)), ToHexText(tables.Decrypt(other)));
        ASSERT_EQ(ToHexText(ours.chain, 16), ToHexText(tables.chain, 16));
      }
      // The single-block calls.
      const std::vector<uint8_t> block = bytes(16);
      uint8_t a[16], b[16];
      ours.EncryptBlock(block.data(), a);
      tables.EncryptBlock(block.data(), b);
      ASSERT_EQ(ToHexText(a, 16), ToHexText(b, 16));
      ours.DecryptBlock(block.data(), a);
      tables.DecryptBlock(block.data(), b);
      ASSERT_EQ(ToHexText(a, 16), ToHexText(b, 16));
    }
  }
}

// The engine is the one named, and stays with the object across keys; a
// default object takes the process's choice with its key.
TEST_P(AesEngineTest, NamedEngineStaysAcrossKeys) {
  XAES aes(EngineUnderTest());
  aes.SetKey(AesKeyBlob(10, std::vector<uint8_t>(16, 1)));
  aes.GenerateKey(BlobOf(std::vector<uint8_t>(8, 2)), 32);
  EXPECT_EQ(aes.BlockEngine(), EngineUnderTest());
  XAES chosen;
  chosen.SetKey(AesKeyBlob(10, std::vector<uint8_t>(16, 1)));
  EXPECT_EQ(chosen.BlockEngine(), orvo::aes::EngineInUse());
}

ORVO_INSTANTIATE_AES_ENGINES(AesEngineTest);

// The round count follows the accepted key blob and stays with the key when a
// blob is refused (the blobs themselves are in cipher_table_test.cpp).
TEST(AesKeyTest, RoundsFollowTheKeyBlob) {
  for (const uint32_t rounds : {0u, 1u, 9u, 10u, 11u, 12u, 13u, 14u}) {
    XAES aes;
    aes.SetKey(AesKeyBlob(rounds, std::vector<uint8_t>(rounds == 10 ? 16 : rounds == 12 ? 24 : 32, 0x42)));
    EXPECT_EQ(aes.Rounds(), rounds);
  }
  XAES aes;
  aes.SetKey(AesKeyBlob(12, std::vector<uint8_t>(24, 0x42)));
  ExpectAlarm([&] { aes.SetKey(AesKeyBlob(15, std::vector<uint8_t>(32, 0x42))); }, alarm_text::kDataCorrupted, "AES");
  EXPECT_EQ(aes.Rounds(), 12u);
}

// The engines offered follow the features Detected() reports, which
// ORVOCRYPTO_HIDE_CPU_FEATURES trims (the portable run of these tests hides
// them all); an object made for an engine the processor lacks gets the tables.
TEST(AesKeyTest, EnginesFollowTheDetectedFeatures) {
  using orvo::aes::Engine;
  const orvo::cpu::Features& f = orvo::cpu::Detected();
  EXPECT_TRUE(orvo::aes::EngineAvailable(Engine::kTable));
  EXPECT_EQ(orvo::aes::EngineAvailable(Engine::kAesNi), f.aesni && f.sse41);
  if (!f.vaes) {
    EXPECT_FALSE(orvo::aes::EngineAvailable(Engine::kVaes256));
  }
  if (!f.vaes || !f.avx512f) {
    EXPECT_FALSE(orvo::aes::EngineAvailable(Engine::kVaes512));
  }
  EXPECT_TRUE(orvo::aes::EngineAvailable(orvo::aes::EngineInUse()));
  for (const Engine engine : orvo::test::kAesEngines) {
    const XAES aes(engine);
    EXPECT_EQ(aes.BlockEngine(), orvo::aes::EngineAvailable(engine) ? engine : Engine::kTable);
    if (orvo::aes::EngineAvailable(engine)) {
      EXPECT_GE(static_cast<int>(orvo::aes::EngineInUse()), static_cast<int>(engine)) << "the widest is chosen";
    }
  }
}

// The tables re-derived from GF(2^8) arithmetic through logarithms to the
// generator 03 (a route independent of the bitwise products behind the
// committed tables).
TEST(AesTablesTest, MatchTheirDerivation) {
  uint8_t exp[255], log[256] = {};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = static_cast<uint8_t>(i);
    x = static_cast<uint8_t>(x ^ (x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0));  // x * 03
  }
  auto mul = [&](uint8_t a, uint8_t b) -> uint8_t {
    return a == 0 || b == 0 ? 0 : exp[(log[a] + log[b]) % 255];
  };
  auto rotl8 = [](uint8_t v, int n) { return static_cast<uint8_t>((v << n) | (v >> (8 - n))); };
  auto word = [](uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
    return uint32_t{r0} | uint32_t{r1} << 8 | uint32_t{r2} << 16 | uint32_t{r3} << 24;
  };
  using namespace orvo::aes_tables;
  for (int v = 0; v < 256; ++v) {
    const uint8_t inverse = v == 0 ? 0 : exp[(255 - log[v]) % 255];
    const uint8_t s = static_cast<uint8_t>(inverse ^ rotl8(inverse, 1) ^ rotl8(inverse, 2) ^ rotl8(inverse, 3) ^
                                           rotl8(inverse, 4) ^ 0x63);
    ASSERT_EQ(kSbox[v], s) << v;
    ASSERT_EQ(kInvSbox[s], v) << v;
    ASSERT_EQ(kTe[v], word(mul(s, 2), s, s, mul(s, 3))) << v;
    const uint8_t t = kInvSbox[v];
    ASSERT_EQ(kTd[v], word(mul(t, 14), mul(t, 9), mul(t, 13), mul(t, 11))) << v;
  }
  // Spot values printed in FIPS-197 Figure 7 and Figure 14.
  EXPECT_EQ(kSbox[0x53], 0xED);
  EXPECT_EQ(kInvSbox[0x00], 0x52);
}

}  // namespace
