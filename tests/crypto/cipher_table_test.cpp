// What the three ciphers share, as one table over AES (table-driven and
// AES-NI), Twofish and Blowfish: key blobs that round-trip and those refused,
// keys from seeds against outside vectors, GetKey without a key, the wipe on
// destruction and the engine's bulk paths against the block operations. What
// is particular to a cipher is in its own file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/alarm.h"
#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/cipher_by_name.h"
#include "crypto/twofish.h"
#include "tests/crypto/cipher_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ExpectAlarm;
using orvo::test::ReadVecFile;
using orvo::test::RejectedBlob;
using orvo::test::ToHexText;
using orvo::test::VecRecord;

// A key blob of every cipher: a 4-byte big-endian number (AES: the round
// count; Twofish: k; Blowfish: the key length), then the key bytes.
struct KeyShape {
  uint32_t number;
  uint32_t length;
};

XBlob KeyBlob(KeyShape shape, uint8_t byte) {
  XBlob blob(16);
  blob.InsertLong(shape.number);
  for (uint32_t i = 0; i < shape.length; ++i) blob.InsertByte(byte, blob.size);
  return blob;
}

XBlob PatternKeyBlob(KeyShape shape) {
  XBlob blob(16);
  blob.InsertLong(shape.number);
  for (uint32_t i = 0; i < shape.length; ++i) blob.InsertByte(static_cast<uint8_t>(0x3B * i + shape.number), blob.size);
  return blob;
}

struct CipherRow {
  const char* label;  // the test name's suffix
  const char* name;   // the cipher's name in its alarms
  bool aesNi;         // AES on the AES-NI engine (skipped where the processor lacks it), else on the tables
  std::unique_ptr<XBlockCipher> (*make)();
  void (*expectWiped)(const XBlob& keyBlob, uint8_t keyByte);
  void (*expectRejected)(const XBlob& keyBlob, const std::vector<RejectedBlob>& cases, const char* name);
  std::vector<KeyShape> accepted;  // every key blob form SetKey takes
  std::vector<KeyShape> engine;    // keys for the bulk paths
  KeyShape wiped;                  // the key whose bytes must not survive destruction
  KeyShape keyed;                  // the key that refused blobs leave in place
  const char* keygenFile;
  std::vector<RejectedBlob> rejected;
};

template <class Cipher>
CipherRow Row(const char* label, const char* name, bool aesNi) {
  CipherRow row{};
  row.label = label;
  row.name = name;
  row.aesNi = aesNi;
  row.make = [] { return std::unique_ptr<XBlockCipher>(new Cipher); };
  row.expectWiped = &orvo::test::ExpectDestructionWipes<Cipher>;
  row.expectRejected = [](const XBlob& keyBlob, const std::vector<RejectedBlob>& cases, const char* cipher) {
    orvo::test::ExpectRejectedBlobsKeepTheKey<Cipher>(keyBlob, cases, cipher);
  };
  return row;
}

CipherRow Aes(const char* label, bool aesNi) {
  CipherRow row = Row<XAES>(label, "AES", aesNi);
  using orvo::aes::Engine;
  row.make = aesNi ? +[] { return std::unique_ptr<XBlockCipher>(new XAES(Engine::kAesNi)); }
                   : +[] { return std::unique_ptr<XBlockCipher>(new XAES(Engine::kTable)); };
  row.accepted = {{0, 32}, {1, 32}, {9, 32}, {10, 16}, {11, 32}, {12, 24}, {13, 32}, {14, 32}};
  row.engine = {{10, 16}, {12, 24}, {14, 32}};
  row.wiped = {14, 32};
  row.keyed = {12, 24};
  row.keygenFile = "crypto/aes_keygen.vec";
  const std::string k32(64, 'a');
  row.rejected = {
      {"empty", ""},
      {"count alone", "0000000a"},
      {"count 10 with 15 key bytes", "0000000a" + std::string(30, '1')},
      {"count 10 with 24 key bytes", "0000000a" + std::string(48, '1')},
      {"count 12 with 16 key bytes (20-byte blob)", "0000000c" + std::string(32, '1')},
      {"count 14 with 33 key bytes", "0000000e" + k32 + "00"},
      {"count 15", "0000000f" + k32},
      {"count 2^32-1", "ffffffff" + k32},
      {"count 2^31+10", "8000000a" + std::string(32, '1')},
  };
  return row;
}

CipherRow Twofish() {
  CipherRow row = Row<XTwofish>("Twofish", "Twofish", false);
  row.accepted = {{2, 16}, {3, 24}, {4, 32}};
  row.engine = row.accepted;
  row.wiped = {4, 32};
  row.keyed = {3, 24};
  row.keygenFile = "crypto/twofish_keygen.vec";
  const std::string k16(32, '1');
  row.rejected = {
      {"empty", ""},
      {"count alone", "00000002"},
      {"k 2 with 15 key bytes", "00000002" + std::string(30, '1')},
      {"k 2 with 17 key bytes", "00000002" + k16 + "00"},
      {"k 3 with 16 key bytes", "00000003" + k16},
      {"k 1 with 8 key bytes", "00000001" + std::string(16, '1')},
      {"k 0 with one byte", "0000000000"},
      {"k 5 with 40 key bytes", "00000005" + std::string(80, '1')},
      {"k 2^29+1, whose 4 + 8k wraps to 12, with 8 key bytes", "20000001" + std::string(16, '1')},
      {"k 2^32-1", "ffffffff" + k16},
  };
  return row;
}

CipherRow Blowfish() {
  CipherRow row = Row<XBlowfish>("Blowfish", "Blowfish", false);
  row.accepted = {{1, 1}, {7, 7}, {8, 8}, {20, 20}, {56, 56}};
  row.engine = {{1, 1}, {8, 8}, {56, 56}};
  row.wiped = {56, 56};
  row.keyed = {20, 20};
  row.keygenFile = "crypto/blowfish_keygen.vec";
  row.rejected = {
      {"empty", ""},
      {"count alone", "00000001"},
      {"L 0 with one byte", "0000000011"},
      {"L 8 with 7 key bytes", "00000008" + std::string(14, '1')},
      {"L 8 with 9 key bytes", "00000008" + std::string(18, '1')},
      {"L 57 with 57 key bytes", "00000039" + std::string(114, '1')},
      {"L 2^32-3, whose L + 4 wraps to 1, with one byte", "fffffffd11"},
      {"L 2^32-1", "ffffffff" + std::string(16, '1')},
  };
  return row;
}

class CipherTable : public ::testing::TestWithParam<CipherRow> {
 protected:
  void SetUp() override {
    if (GetParam().aesNi && !orvo::aes::EngineAvailable(orvo::aes::Engine::kAesNi)) {
      GTEST_SKIP() << "this processor has no AES-NI";
    }
  }

  std::unique_ptr<XBlockCipher> Make() const {
    std::unique_ptr<XBlockCipher> c = GetParam().make();
    c->Setup(XBlockCipher::kModeECB, 0);
    return c;
  }
};

TEST_P(CipherTable, AcceptedBlobsRoundTrip) {
  for (const KeyShape shape : GetParam().accepted) {
    SCOPED_TRACE(testing::Message() << "number " << shape.number << ", " << shape.length << " key bytes");
    const auto c = Make();
    c->SetKey(PatternKeyBlob(shape));
    EXPECT_TRUE(c->KeySet());
    EXPECT_EQ(ToHexText(c->GetKey()), ToHexText(PatternKeyBlob(shape)));
  }
}

// Requested lengths map to key sizes by each cipher's rule; the key bytes are
// the seed expansion's (expected blobs from Python's hashlib). The blob loads
// into another object that then enciphers alike.
TEST_P(CipherTable, KeysFromSeedsMatchTheVectors) {
  for (const VecRecord& r : ReadVecFile(GetParam().keygenFile)) {
    SCOPED_TRACE(r.Where());
    const auto c = Make();
    c->GenerateKey(r.Blob("Seed"), static_cast<uint32_t>(r.Number("Length")));
    EXPECT_TRUE(c->KeySet());
    const XBlob blob = c->GetKey();
    EXPECT_EQ(ToHexText(blob), r.Get("Blob"));
    const auto other = Make();
    other->SetKey(blob);
    const XBlob text = BlobOf(std::string("the same ciphertext on both"));
    EXPECT_TRUE(c->Encrypt(text).Equals(other->Encrypt(text)));
  }
}

TEST_P(CipherTable, GetKeyWithoutKey) {
  const auto c = Make();
  ExpectAlarm([&] { c->GetKey(); }, alarm_text::kInvalidKey, GetParam().name);
}

TEST_P(CipherTable, RejectedBlobsLeaveTheEarlierKey) {
  GetParam().expectRejected(KeyBlob(GetParam().keyed, 0x42), GetParam().rejected, GetParam().name);
}

// The destructor leaves no key byte and no key schedule in the object's storage.
TEST_P(CipherTable, DestructionWipesTheKeyState) { GetParam().expectWiped(KeyBlob(GetParam().wiped, 0xC3), 0xC3); }

// The bulk paths (several blocks in flight) give what the block operations
// give, for every remainder, in ECB and CBC, with the register carried over.
TEST_P(CipherTable, EngineMatchesTheBlockOperations) {
  for (const KeyShape shape : GetParam().engine) {
    SCOPED_TRACE(testing::Message() << "number " << shape.number);
    const auto c = Make();
    c->SetKey(PatternKeyBlob(shape));
    orvo::test::ExpectEngineMatchesBlocks(*c);
  }
}

// The names the tool, the C library and the Python package take the ciphers
// by: any case, nothing more or less, and a new cipher as Setup(ECB, 0) leaves it.
TEST(CipherByName, NamesInAnyCase) {
  struct Case {
    std::string_view name;
    const char* canonical;  // null: no cipher
    uint32_t blockSize;
  };
  const Case cases[] = {
      {"aes", "aes", 16},         {"AES", "aes", 16},  {"TwoFish", "twofish", 16}, {"BLOWFISH", "blowfish", 8},
      {"des", nullptr, 0},        {"", nullptr, 0},    {"aes ", nullptr, 0},       {"ae", nullptr, 0},
      {"twofishx", nullptr, 0},   {std::string_view("aes\0x", 5), nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    const std::unique_ptr<XBlockCipher> cipher = orvo::NewCipherNamed(c.name);
    if (c.canonical == nullptr) {
      EXPECT_EQ(cipher, nullptr);
      EXPECT_EQ(orvo::CipherName(c.name), nullptr);
      continue;
    }
    ASSERT_NE(cipher, nullptr);
    EXPECT_STREQ(orvo::CipherName(c.name), c.canonical);
    EXPECT_EQ(cipher->BlockSize(), c.blockSize);
    EXPECT_EQ(cipher->mode, XBlockCipher::kModeECB);
    EXPECT_EQ(cipher->filler, 0);
    EXPECT_FALSE(cipher->KeySet());
    ASSERT_NE(cipher->chain, nullptr);
    EXPECT_EQ(std::string(cipher->chain, cipher->chain + c.blockSize), std::string(c.blockSize, '\0'));
  }
}

std::string RowName(const ::testing::TestParamInfo<CipherRow>& row) { return row.param.label; }

INSTANTIATE_TEST_SUITE_P(Ciphers, CipherTable,
                         ::testing::Values(Aes("AesTables", false), Aes("AesNi", true), Twofish(), Blowfish()),
                         RowName);

}  // namespace
