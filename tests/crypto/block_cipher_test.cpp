// The mode engine: sealed data against OpenSSL, padding, the chaining register
// carried between calls, modes other than ECB and CBC, and the alarms. Run on
// every AES block engine, and through the mode engine's default block loops as
// a cipher that implements only the seven base operations (Twofish, Blowfish)
// gets them.
#include "crypto/block_cipher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "crypto/aes.h"
#include "tests/crypto/aes_test_support.h"
#include "tests/support/alarm_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::AesKeyBlob;
using orvo::test::AesEngineTest;
using orvo::test::BlobOf;
using orvo::test::FromHexText;
using orvo::test::ReadVecFile;
using orvo::test::ToHexText;
using orvo::test::VecRecord;

// The key of the engine vectors (FIPS-197 appendix C.1).
XBlob EngineKey() {
  std::vector<uint8_t> key(16);
  for (int i = 0; i < 16; ++i) key[i] = static_cast<uint8_t>(i);
  return AesKeyBlob(10, key);
}

// AES seen through the seven base operations only: the engine runs its
// default per-block loops.
class BaseOnlyAES final : public XBlockCipher {
 public:
  explicit BaseOnlyAES(orvo::aes::Engine engine) : aes_(engine) {}
  uint32_t BlockSize() const override { return aes_.BlockSize(); }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override { aes_.EncryptBlock(in, out); }
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override { aes_.DecryptBlock(in, out); }
  void GenerateKey(const XBlob& seed, uint32_t length) override {
    aes_.GenerateKey(seed, length);
    MarkKeySet();
  }
  void SetKey(const XBlob& blob) override {
    aes_.SetKey(blob);
    MarkKeySet();
  }
  XBlob GetKey() const override { return aes_.GetKey(); }

 private:
  XAES aes_;
};

// An 8-byte block cipher that leaves blocks as they are, so padding and
// chaining show in the output directly.
class IdentityCipher8 final : public XBlockCipher {
 public:
  uint32_t BlockSize() const override { return 8; }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override { std::memcpy(out, in, 8); }
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override { std::memcpy(out, in, 8); }
  void GenerateKey(const XBlob&, uint32_t) override { MarkKeySet(); }
  void SetKey(const XBlob&) override { MarkKeySet(); }
  XBlob GetKey() const override { return XBlob(16); }
};

std::unique_ptr<XBlockCipher> MakeKeyed(orvo::aes::Engine engine, bool baseOnly, uint32_t mode, uint32_t filler) {
  std::unique_ptr<XBlockCipher> c;
  if (baseOnly) {
    c = std::make_unique<BaseOnlyAES>(engine);
  } else {
    c = std::make_unique<XAES>(engine);
  }
  c->Setup(mode, filler);
  c->SetKey(EngineKey());
  return c;
}

std::string ChainHex(const XBlockCipher& c) { return ToHexText(c.chain, c.BlockSize()); }

std::string Tail(const std::string& hex, size_t bytes) { return hex.substr(hex.size() - 2 * bytes); }

std::vector<uint8_t> Pattern(size_t n, uint8_t start) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + 11 * i + (i >> 3));
  return v;
}

// The engine's alarms name no object.
template <typename Call>
void ExpectAlarm(Call call, const char* message) {
  orvo::test::ExpectAlarm(call, message, nullptr);
}

class EngineTest : public AesEngineTest {
 protected:
  std::unique_ptr<XBlockCipher> MakeKeyed(bool baseOnly, uint32_t mode, uint32_t filler) const {
    return ::MakeKeyed(EngineUnderTest(), baseOnly, mode, filler);
  }
};

TEST_P(EngineTest, SealedDataMatchesOpenSSL) {
  for (const bool baseOnly : {false, true}) {
    for (const VecRecord& r : ReadVecFile("crypto/aes_engine.vec")) {
      if (r.section != "Seal") continue;
      SCOPED_TRACE(r.Where() + (baseOnly ? " (default loops)" : ""));
      const auto mode = static_cast<uint32_t>(r.Number("Mode"));
      const auto filler = static_cast<uint32_t>(r.Number("Filler"));
      const std::vector<uint8_t> plain = r.Bytes("Plaintext");
      const std::string& cipher = r.Get("Ciphertext");

      auto sealer = MakeKeyed(baseOnly, mode, filler);
      const XBlob sealed = sealer->Encrypt(BlobOf(plain));
      ASSERT_EQ(ToHexText(sealed), cipher);
      // Capacity as a working buffer of 16 doubled while bytes were appended.
      uint32_t capacity = 16;
      while (capacity < sealed.size) capacity *= 2;
      EXPECT_EQ(sealed.capacity, capacity);
      EXPECT_EQ(ChainHex(*sealer), cipher.empty() ? std::string(32, '0') : Tail(cipher, 16));

      // Decrypt gives the plaintext with its padding; the register then holds
      // the last plaintext block (ECB) or the last ciphertext block (CBC).
      std::vector<uint8_t> padded = plain;
      while (padded.size() % 16 != 0) padded.push_back(static_cast<uint8_t>(filler));
      auto opener = MakeKeyed(baseOnly, mode, 0);
      const std::string opened = ToHexText(opener->Decrypt(sealed));
      ASSERT_EQ(opened, ToHexText(BlobOf(padded)));
      if (!cipher.empty()) {
        EXPECT_EQ(ChainHex(*opener), Tail(mode == 1 ? opened : cipher, 16));
      }
    }
  }
}

// ECB then CBC on one object: the CBC call chains from the last ECB ciphertext block.
TEST_P(EngineTest, ChainCarriesFromEcbIntoCbc) {
  for (const VecRecord& r : ReadVecFile("crypto/aes_engine.vec")) {
    if (r.section != "Chain") continue;
    SCOPED_TRACE(r.Where());
    auto aes = MakeKeyed(false, XBlockCipher::kModeECB, 0);
    EXPECT_EQ(ToHexText(aes->Encrypt(r.Blob("First"))), r.Get("FirstCiphertext"));
    aes->mode = XBlockCipher::kModeCBC;  // as the Mode property writes it: no reset
    EXPECT_EQ(ToHexText(aes->Encrypt(r.Blob("Second"))), r.Get("SecondCiphertext"));
  }
}

// Successive CBC calls continue one chain: any split of the input gives the
// bytes of one call, in both directions, for runs around the bulk widths.
TEST_P(EngineTest, CbcSplitAcrossCallsEqualsOneCall) {
  for (const bool baseOnly : {false, true}) {
    for (size_t blocks = 1; blocks <= 19; ++blocks) {
      const std::vector<uint8_t> data = Pattern(16 * blocks, static_cast<uint8_t>(blocks));
      const std::string whole = ToHexText(MakeKeyed(baseOnly, 2, 0)->Encrypt(BlobOf(data)));
      for (size_t cut = 0; cut <= blocks; ++cut) {
        SCOPED_TRACE(testing::Message() << blocks << " blocks cut after " << cut << (baseOnly ? " (default)" : ""));
        const std::vector<uint8_t> a(data.begin(), data.begin() + 16 * cut), b(data.begin() + 16 * cut, data.end());
        auto sealer = MakeKeyed(baseOnly, 2, 0);
        const std::string first = ToHexText(sealer->Encrypt(BlobOf(a)));
        EXPECT_EQ(first + ToHexText(sealer->Encrypt(BlobOf(b))), whole);
        auto opener = MakeKeyed(baseOnly, 2, 0);
        const std::vector<uint8_t> sealed = FromHexText(whole);
        const std::vector<uint8_t> ca(sealed.begin(), sealed.begin() + 16 * cut), cb(sealed.begin() + 16 * cut, sealed.end());
        const std::string openedFirst = ToHexText(opener->Decrypt(BlobOf(ca)));
        EXPECT_EQ(openedFirst + ToHexText(opener->Decrypt(BlobOf(cb))), ToHexText(BlobOf(data)));
      }
    }
  }
}

TEST_P(EngineTest, SuccessiveCbcCallsDiffer) {
  auto aes = MakeKeyed(false, 2, 0);
  const XBlob block = BlobOf(Pattern(16, 3));
  EXPECT_FALSE(aes->Encrypt(block).Equals(aes->Encrypt(block)));
  // ECB gives equal blocks for equal blocks.
  aes->mode = 1;
  const XBlob twice = aes->Encrypt(BlobOf(std::string(32, 'x')));
  EXPECT_EQ(std::memcmp(twice.data, twice.data + 16, 16), 0);
}

// CBC Decrypt right after Encrypt on the same object chains from the last
// ciphertext block: only the first plaintext block comes back garbled, as
// itself XOR that block.
TEST_P(EngineTest, CbcDecryptAfterEncryptGarblesTheFirstBlock) {
  auto aes = MakeKeyed(false, 2, 0);
  const std::vector<uint8_t> plain = Pattern(48, 9);
  const XBlob sealed = aes->Encrypt(BlobOf(plain));
  const XBlob opened = aes->Decrypt(sealed);
  ASSERT_EQ(opened.size, 48u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(opened.data[i], plain[i] ^ sealed.data[32 + i]) << i;
  EXPECT_EQ(std::memcmp(opened.data + 16, plain.data() + 16, 32), 0);
}

// Neither a new key nor a change of mode or filler resets the register.
TEST_P(EngineTest, ChainSurvivesKeyModeAndFillerChanges) {
  auto aes = MakeKeyed(false, 1, 0);
  const XBlob sealed = aes->Encrypt(BlobOf(Pattern(20, 1)));
  const std::string chain = ChainHex(*aes);
  EXPECT_EQ(chain, Tail(ToHexText(sealed), 16));
  aes->SetKey(AesKeyBlob(14, std::vector<uint8_t>(32, 1)));
  aes->GenerateKey(BlobOf(std::string("seed")), 16);
  aes->mode = 2;
  aes->filler = 0x77;
  EXPECT_EQ(ChainHex(*aes), chain);
  // Setup zeroes it again.
  aes->Setup(2, 0);
  EXPECT_EQ(ChainHex(*aes), std::string(32, '0'));
}

TEST_P(EngineTest, OtherModesGiveEmptyResults) {
  for (const uint32_t mode : {0u, 3u, 0x80000001u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(mode);
    auto aes = MakeKeyed(false, 2, 0);
    aes->Encrypt(BlobOf(Pattern(16, 5)));
    const std::string chain = ChainHex(*aes);
    aes->mode = mode;
    const XBlob sealed = aes->Encrypt(BlobOf(Pattern(40, 1)));
    EXPECT_EQ(sealed.size, 0u);
    EXPECT_EQ(sealed.capacity, 16u);
    EXPECT_EQ(aes->Decrypt(BlobOf(Pattern(32, 1))).size, 0u);
    ExpectAlarm([&] { aes->Decrypt(BlobOf(Pattern(15, 1))); }, alarm_text::kUnableToDecrypt);
    EXPECT_EQ(ChainHex(*aes), chain);
  }
}

TEST_P(EngineTest, AlarmsLeaveTheChainAlone) {
  XAES fresh(EngineUnderTest());
  fresh.Setup(1, 0);
  ExpectAlarm([&] { fresh.Encrypt(BlobOf(Pattern(16, 1))); }, alarm_text::kInvalidKey);
  ExpectAlarm([&] { fresh.Decrypt(BlobOf(Pattern(16, 1))); }, alarm_text::kInvalidKey);
  // Without a key the key alarm wins over a bad length.
  ExpectAlarm([&] { fresh.Decrypt(BlobOf(Pattern(15, 1))); }, alarm_text::kInvalidKey);

  for (const uint32_t mode : {1u, 2u}) {
    auto aes = MakeKeyed(false, mode, 0);
    aes->Encrypt(BlobOf(Pattern(16, 2)));
    const std::string chain = ChainHex(*aes);
    for (const size_t n : {1, 15, 17, 31}) {
      ExpectAlarm([&] { aes->Decrypt(BlobOf(Pattern(n, 1))); }, alarm_text::kUnableToDecrypt);
    }
    // Empty input: empty output, register unchanged.
    EXPECT_EQ(aes->Encrypt(XBlob(16)).size, 0u);
    EXPECT_EQ(aes->Decrypt(XBlob(16)).size, 0u);
    EXPECT_EQ(ChainHex(*aes), chain);
  }
}

// The piece-by-piece calls: whole blocks in pieces of 1, 3, 8 and 19 blocks
// (around the bulk widths), then the rest, give the bytes of one call and
// leave the same chaining register.
TEST_P(EngineTest, PiecesEqualOneCall) {
  const size_t pieces[] = {1, 3, 8, 19};
  for (const bool baseOnly : {false, true}) {
    for (const uint32_t mode : {1u, 2u}) {
      for (const size_t n : {0, 5, 16, 47, 48, 16 * 31 + 9}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << n << " bytes" << (baseOnly ? " (default)" : ""));
        const std::vector<uint8_t> data = Pattern(n, 3);
        auto whole = MakeKeyed(baseOnly, mode, 0x3C);
        const std::string sealed = ToHexText(whole->Encrypt(BlobOf(data)));
        auto streamed = MakeKeyed(baseOnly, mode, 0x3C);
        std::vector<uint8_t> out(n + 16);
        size_t at = 0, written = 0;
        for (size_t i = 0; n - at >= 16; ++i) {
          const size_t take = std::min(pieces[i % 4] * 16, (n - at) / 16 * 16);
          written += streamed->EncryptBlocks(data.data() + at, out.data() + written, take);
          at += take;
        }
        written += streamed->EncryptFinal(data.data() + at, n - at, out.data() + written);
        EXPECT_EQ(ToHexText(out.data(), written), sealed);
        EXPECT_EQ(ChainHex(*streamed), ChainHex(*whole));

        const std::vector<uint8_t> ciphertext = FromHexText(sealed);
        auto opener = MakeKeyed(baseOnly, mode, 0);
        const std::string opened = ToHexText(opener->Decrypt(BlobOf(ciphertext)));
        auto streamedOpener = MakeKeyed(baseOnly, mode, 0);
        written = 0;
        for (size_t i = 0, from = 0; from < ciphertext.size(); ++i) {
          const size_t take = std::min(pieces[i % 4] * 16, ciphertext.size() - from);
          written += streamedOpener->DecryptBlocks(ciphertext.data() + from, out.data() + written, take);
          from += take;
        }
        EXPECT_EQ(ToHexText(out.data(), written), opened);
        EXPECT_EQ(ChainHex(*streamedOpener), ChainHex(*opener));
      }
    }
  }
}

TEST_P(EngineTest, PieceCallsCheckAsWholeCallsDo) {
  uint8_t out[64];
  const std::vector<uint8_t> data = Pattern(32, 1);
  XAES fresh(EngineUnderTest());
  ExpectAlarm([&] { fresh.EncryptBlocks(data.data(), out, 16); }, alarm_text::kInvalidKey);
  ExpectAlarm([&] { fresh.EncryptFinal(data.data(), 5, out); }, alarm_text::kInvalidKey);
  ExpectAlarm([&] { fresh.DecryptBlocks(data.data(), out, 15); }, alarm_text::kInvalidKey);
  auto aes = MakeKeyed(false, 2, 0);
  aes->EncryptBlocks(data.data(), out, 16);
  const std::string chain = ChainHex(*aes);
  ExpectAlarm([&] { aes->DecryptBlocks(data.data(), out, 17); }, alarm_text::kUnableToDecrypt);
  EXPECT_EQ(aes->EncryptFinal(data.data(), 0, out), 0u);  // nothing to pad: no block
  EXPECT_EQ(ChainHex(*aes), chain);
  aes->mode = 3;
  EXPECT_EQ(aes->EncryptBlocks(data.data(), out, 32), 0u);
  EXPECT_EQ(aes->EncryptFinal(data.data(), 5, out), 0u);
  EXPECT_EQ(aes->DecryptBlocks(data.data(), out, 32), 0u);
  EXPECT_EQ(ChainHex(*aes), chain);
}

ORVO_INSTANTIATE_AES_ENGINES(EngineTest);

TEST(EngineSetupTest, ModeFillerAndRegister) {
  struct Case {
    uint32_t mode, filler, wantMode;
    uint8_t wantFiller;
  };
  const Case cases[] = {{2, 0, 2, 0}, {1, 0x20, 1, 0x20}, {0, 0x1FF, 1, 0xFF}, {3, 256, 1, 0}, {0xFFFFFFFF, 7, 1, 7}};
  for (const Case& c : cases) {
    IdentityCipher8 cipher;
    cipher.Setup(c.mode, c.filler);
    EXPECT_EQ(cipher.mode, c.wantMode);
    EXPECT_EQ(cipher.filler, c.wantFiller);
    EXPECT_EQ(ChainHex(cipher), std::string(16, '0'));
  }
}

// An 8-byte block (Blowfish's size): padding to 8, and the length rule.
TEST(EngineSetupTest, EightByteBlocks) {
  IdentityCipher8 cipher;
  cipher.Setup(1, 0xAB);
  cipher.SetKey(XBlob(16));
  EXPECT_EQ(ToHexText(cipher.Encrypt(BlobOf(std::vector<uint8_t>{1, 2, 3}))), "010203ababababab");
  EXPECT_EQ(cipher.Encrypt(BlobOf(Pattern(8, 0))).size, 8u);
  ExpectAlarm([&] { cipher.Decrypt(BlobOf(Pattern(12, 0))); }, alarm_text::kUnableToDecrypt);
  EXPECT_EQ(ToHexText(cipher.Decrypt(BlobOf(Pattern(16, 0)))), ToHexText(BlobOf(Pattern(16, 0))));
  // CBC over the identity: each output block is the input block XOR the previous output.
  cipher.Setup(2, 0);
  const XBlob sealed = cipher.Encrypt(BlobOf(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8}));
  EXPECT_EQ(ToHexText(sealed), "0102030405060708090a0b0c0d0e0f00");
}

// A cipher used before Setup gets a zero register instead of a null one.
TEST(EngineSetupTest, WorksWithoutSetup) {
  XAES aes;
  aes.SetKey(EngineKey());
  ASSERT_EQ(aes.chain, nullptr);
  aes.mode = 2;
  const XBlob sealed = aes.Encrypt(BlobOf(Pattern(16, 0)));
  XAES reference;
  reference.Setup(2, 0);
  reference.SetKey(EngineKey());
  EXPECT_TRUE(sealed.Equals(reference.Encrypt(BlobOf(Pattern(16, 0)))));
}

}  // namespace
