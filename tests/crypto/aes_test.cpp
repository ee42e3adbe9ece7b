// XAES: FIPS-197 and AESAVS known answers on both block paths, odd round
// counts, the key blob and key generation rules, and the tables.
#include "crypto/aes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "crypto/aes_tables.h"
#include "tests/crypto/aes_test_support.h"
#include "tests/crypto/cipher_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::AesKeyBlob;
using orvo::test::AesPathTest;
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
void CheckKnownAnswer(const VecRecord& r, uint32_t rounds) {
  SCOPED_TRACE(r.Where());
  XAES aes;
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

TEST_P(AesPathTest, Fips197AppendixC) {
  const auto records = ReadVecFile("crypto/aes_fips197.vec");
  ASSERT_EQ(records.size(), 3u);
  for (const VecRecord& r : records) CheckKnownAnswer(r, AesRoundsFor(r.Bytes("Key").size()));
}

TEST_P(AesPathTest, AesavsKnownAnswers) {
  const auto records = ReadVecFile("crypto/aes_kat.vec");
  EXPECT_EQ(records.size(), 1039u);  // 18 GFSbox, 61 KeySbox, 576 VarKey, 384 VarTxt
  for (const VecRecord& r : records) CheckKnownAnswer(r, AesRoundsFor(r.Bytes("Key").size()));
}

// Records sharing a key (GFSbox, VarTxt) as one ECB buffer through the engine,
// so the many-blocks-in-flight code meets the vectors too.
TEST_P(AesPathTest, AesavsSectionsAsOneBuffer) {
  std::string section;
  std::vector<uint8_t> key, plain, cipher;
  auto check = [&] {
    if (plain.empty()) return;
    SCOPED_TRACE(section);
    XAES aes;
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
TEST_P(AesPathTest, AnyRoundCountUpTo14) {
  const auto records = ReadVecFile("crypto/aes_rounds.vec");
  ASSERT_EQ(records.size(), 13u);
  for (const VecRecord& r : records) {
    const auto rounds = static_cast<uint32_t>(r.Number("Rounds"));
    CheckKnownAnswer(r, rounds);
    // Many blocks at once in both modes come back unchanged.
    XAES aes;
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
TEST_P(AesPathTest, BulkRunsMatchOpenSSL) {
  const auto records = ReadVecFile("crypto/aes_bulk.vec");
  ASSERT_EQ(records.size(), 3u);
  for (const VecRecord& r : records) {
    SCOPED_TRACE(r.Where());
    const std::vector<uint8_t> key = r.Bytes("Key");
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      const std::string& cipher = r.Get(mode == XBlockCipher::kModeECB ? "EcbCiphertext" : "CbcCiphertext");
      XAES aes;
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

// Every run length from 1 to 70 blocks (each split of the bulk loops: whole
// groups, whole vectors, a partial vector), every key size and an odd round
// count, both modes and directions, chaining on from a first call: the same
// bytes and the same register as the table-driven path, which the known
// answers above pin down.
TEST_P(AesPathTest, EveryRunLengthMatchesTheTables) {
  struct Key {
    uint32_t rounds;
    size_t length;
  };
  for (const Key k : {Key{10, 16}, Key{12, 24}, Key{14, 32}, Key{7, 32}}) {
    std::vector<uint8_t> key(k.length);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 29 + k.rounds);
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      XAES ours, tables;
      for (XAES* aes : {&ours, &tables}) {
        aes->SetKey(AesKeyBlob(k.rounds, key));
        aes->Setup(mode, 0);
      }
      for (size_t blocks = 1; blocks <= 70; ++blocks) {
        SCOPED_TRACE(testing::Message() << "Nr " << k.rounds << ", mode " << mode << ", " << blocks << " blocks");
        std::vector<uint8_t> bytes(16 * blocks);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + blocks);
        const XBlob plain = BlobOf(bytes);
        const XBlob sealed = ours.Encrypt(plain), opened = ours.Decrypt(sealed);
        std::string wantSealed, wantOpened;
        {
          const orvo::aes::ScopedEngineForTesting table(orvo::aes::Engine::kTable);
          wantSealed = ToHexText(tables.Encrypt(plain));
          wantOpened = ToHexText(tables.Decrypt(sealed));
        }
        ASSERT_EQ(ToHexText(sealed), wantSealed);
        ASSERT_EQ(ToHexText(opened), wantOpened);
        ASSERT_EQ(ToHexText(ours.chain, 16), ToHexText(tables.chain, 16));
      }
    }
  }
}

ORVO_INSTANTIATE_AES_PATHS(AesPathTest);

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
