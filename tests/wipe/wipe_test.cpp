// Key material is wiped wherever it goes: the ciphers, RSA keys and the
// temporaries of key generation, padding, the blob loaders and the digests.
// This test build scans every block freed through operator delete and every
// freed XBlob block for registered secrets (secret_scan.h); the secrets come
// from published vectors, from the independent Python reference's keys
// (tests/data/rsa/rsa_keys.vec) and from fixed entropy bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "base/blob_allocator.h"
#include "base/test_hooks.h"
#include "base/wipe.h"
#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/seed_expansion.h"
#include "digest/sha1.h"
#include "digest/test_hooks.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_operations.h"
#include "rsa/test_hooks.h"
#include "tests/support/vec_file.h"
#include "tests/wipe/secret_scan.h"

namespace {

namespace wc = orvo::wipecheck;

// Bytes of a secret held by the test itself, wiped when they go.
class Secret {
 public:
  Secret() = default;
  explicit Secret(const std::string& hex) {
    bytes_.reserve(hex.size() / 2);  // no regrowth: every block it frees must be wiped
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes_.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
  }
  Secret(const uint8_t* p, size_t n) : bytes_(p, p + n) {}
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  Secret(Secret&& other) noexcept { bytes_.swap(other.bytes_); }
  ~Secret() {
    if (!bytes_.empty()) orvo::SecureWipe(bytes_.data(), bytes_.size());
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  // An XBlob with `header` (when non-negative) as 4 big-endian bytes, then the bytes.
  XBlob Blob(int64_t header = -1) const {
    XBlob blob(static_cast<uint32_t>(bytes_.size() + 4));
    if (header >= 0) blob.InsertLong(static_cast<uint32_t>(header));
    blob.Append(bytes_.data(), static_cast<uint32_t>(bytes_.size()));
    return blob;
  }

 private:
  std::vector<uint8_t> bytes_;
};

// Keeps the compiler from dropping stores to a block it frees right after.
void Escape(const void* p) { __asm__ __volatile__("" : : "r"(p) : "memory"); }

class WipeTest : public ::testing::Test {
 protected:
  void SetUp() override { wc::Reset(); }
  void TearDown() override { wc::Reset(); }

  static void Register(const std::string& label, const Secret& secret) {
    ASSERT_GE(secret.size(), wc::kWindow) << label;
    wc::RegisterSecret(label, secret.Bytes());
  }
  // Fails with every finding since the last call.
  static void ExpectNothingLeft(const std::string& what) {
    const std::vector<wc::Finding> findings = wc::TakeFindings();
    EXPECT_TRUE(findings.empty()) << what << ": key material left in freed memory:\n" << wc::Describe(findings);
  }
  // Whether a finding of `label` of `kind` was recorded (clears the findings).
  static bool Found(const std::string& label, wc::Kind kind) {
    const std::vector<wc::Finding> findings = wc::TakeFindings();
    return std::any_of(findings.begin(), findings.end(),
                       [&](const wc::Finding& f) { return f.secret == label && f.kind == kind; });
  }
};

// The checker itself: an unwiped heap block, an unwiped XBlob block and each
// registered byte order are caught; wiped blocks and unrelated data are not.
TEST_F(WipeTest, TheCheckerCatchesBlocksFreedUnwiped) {
  const Secret secret("5a17c3e09b4d2f6681aa07e3d95c4b1272f0c8ee3196ad5b40e7a2d8190bc66f");
  Register("planted", secret);
  ASSERT_GT(wc::WindowCount(), 3 * (secret.size() - wc::kWindow));
  ExpectNothingLeft("registration");

  {  // a plain vector, never wiped
    auto* copy = new std::vector<uint8_t>(secret.Bytes());
    Escape(copy->data());
    delete copy;
  }
  EXPECT_TRUE(Found("planted", wc::Kind::kHeap));

  {  // the reversed byte order (little-endian limbs) deep inside a larger block
    std::vector<uint8_t> block(300, 0x11);
    std::copy(secret.Bytes().rbegin(), secret.Bytes().rend(), block.begin() + 123);
    Escape(block.data());
  }
  EXPECT_TRUE(Found("planted", wc::Kind::kHeap));

  {  // big-endian 32-bit words stored on a little-endian machine
    std::unique_ptr<uint32_t[]> words(new uint32_t[8]);
    for (size_t i = 0; i < 8; ++i) {
      const uint8_t* b = secret.Bytes().data() + 4 * i;
      words[i] = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    }
    Escape(words.get());
  }
  EXPECT_TRUE(Found("planted", wc::Kind::kHeap));

  {  // an XBlob block freed without the wipe
    auto* block = static_cast<uint8_t*>(orvo::BlobAlloc(64));
    std::memcpy(block + 9, secret.Bytes().data() + 4, 16);
    Escape(block);
    orvo::BlobFree(block);
  }
  EXPECT_TRUE(Found("planted", wc::Kind::kBlob));

  {  // what the product does: XBlob wipes its block, SecureWipe a vector
    XBlob blob = secret.Blob();
    std::vector<uint8_t> copy(secret.Bytes());
    orvo::SecureWipe(copy.data(), copy.size());
  }
  {  // ordinary data and a copy too short for a window
    std::vector<uint8_t> block(4096);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    std::copy_n(secret.Bytes().begin(), wc::kWindow - 1, block.begin() + 1000);
    Escape(block.data());
  }
  ExpectNothingLeft("wiped and unrelated blocks");
}

// The dead-stack scan sees a frame that left a secret behind.
__attribute__((noinline)) void LeaveOnStack(const Secret& secret) {
  uint8_t frame[64] = {};
  std::memcpy(frame + 16, secret.Bytes().data(), 32);
  Escape(frame);
}

TEST_F(WipeTest, TheStackScanCatchesAFrameLeftUnwiped) {
  if (!wc::kDeadStackScan) GTEST_SKIP() << "no dead-stack scan under AddressSanitizer";
  const Secret secret("c4e1a97736d05b2a88f3e61c0d4b7f9251a6e3c87b0f2d4619e85ca3370bd1f4");
  Register("planted", secret);
  LeaveOnStack(secret);
  EXPECT_GT(wc::ScanDeadStack(), 0u);
  EXPECT_TRUE(Found("planted", wc::Kind::kStack));
}

// ---------------------------------------------------------------------------
// Ciphers: key set-up, the engine in both modes (a partial last block goes
// through its scratch block), both directions, the key blob, destruction.

struct CipherCase {
  const char* name;
  std::function<XBlockCipher*()> make;
  size_t objectSize;
  uint32_t header;           // the key blob's 4-byte number
  const char* key;           // key bytes
  const char* lastRoundKey;  // a schedule entry the object must hold while it lives, or ""
  bool aesHardware;
};

// AES keys and their last round keys w[4Nr..4Nr+3]: FIPS-197 Appendix A.1-A.3.
const CipherCase kCiphers[] = {
    {"AES-128", [] { return new XAES(orvo::aes::Engine::kTable); }, sizeof(XAES), 10, "2b7e151628aed2a6abf7158809cf4f3c",
     "d014f9a8c9ee2589e13f0cc8b6630ca6", false},
    {"AES-192", [] { return new XAES(orvo::aes::Engine::kTable); }, sizeof(XAES), 12, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
     "e98ba06f448c773c8ecc720401002202", false},
    {"AES-256", [] { return new XAES(orvo::aes::Engine::kTable); }, sizeof(XAES), 14,
     "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", "fe4890d1e6188d0b046df344706c631e", false},
    {"AES-256 (AES-NI)", [] { return new XAES(orvo::aes::Engine::kAesNi); }, sizeof(XAES), 14,
     "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", "fe4890d1e6188d0b046df344706c631e", true},
    {"Twofish-128", [] { return new XTwofish; }, sizeof(XTwofish), 2, "9f589f5cf6122c32b6bfec2f2ae8c35a", "", false},
    {"Twofish-256", [] { return new XTwofish; }, sizeof(XTwofish), 4,
     "d43bb7556ea32e46f2a282b7d45b4e0d57ff739d4dc92c1bd7fc01700cc8216f", "", false},
    {"Blowfish-16", [] { return new XBlowfish; }, sizeof(XBlowfish), 16, "e1d2c3b4a5968778695a4b3c2d1e0f8f", "", false},
    {"Blowfish-56", [] { return new XBlowfish; }, sizeof(XBlowfish), 56,
     "f0e1d2c3b4a5968778695a4b3c2d1e0f00112233445566778899aabbccddeeff0123456789abcdef0f1e2d3c4b5a69788796a5b4c3d2e1f0",
     "", false},
};

TEST_F(WipeTest, CiphersLeaveNoKeyBehind) {
  for (const CipherCase& c : kCiphers) {
    SCOPED_TRACE(c.name);
    if (c.aesHardware && !orvo::aes::EngineAvailable(orvo::aes::Engine::kAesNi)) continue;
    const Secret key(c.key);
    Register("key", key);
    if (*c.lastRoundKey != 0) Register("last round key", Secret(c.lastRoundKey));

    XBlockCipher* cipher = c.make();
    wc::SetStep("SetKey");
    cipher->Setup(XBlockCipher::kModeCBC, 0x5A);
    cipher->SetKey(key.Blob(c.header));
    // While the object lives it holds the key in the registered forms.
    const std::vector<std::string> live = wc::SecretsIn(cipher, c.objectSize);
    EXPECT_NE(std::find(live.begin(), live.end(), "key"), live.end());
    if (*c.lastRoundKey != 0) {
      EXPECT_NE(std::find(live.begin(), live.end(), "last round key"), live.end());
    }
    // Parsing, registering and finding the secrets leaves copies of them in
    // frames below this one: clear the scanned region so that the scan after
    // Encrypt and Decrypt sees only what the cipher leaves.
    orvo::WipeDeadStack(48 * 1024);

    wc::SetStep("Encrypt and Decrypt");
    XBlob plain(256);  // whole groups of eight blocks and a partial last block
    for (uint32_t i = 0; i < 200; ++i) plain.InsertByte(static_cast<uint8_t>(i * 37), plain.size);
    for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
      cipher->Setup(mode, 0x5A);
      const XBlob sealed = cipher->Encrypt(plain);
      cipher->Setup(mode, 0x5A);
      const XBlob opened = cipher->Decrypt(sealed);
      EXPECT_EQ(std::memcmp(opened.data, plain.data, plain.size), 0) << mode;
    }
    EXPECT_EQ(wc::ScanDeadStack(), 0u) << "dead stack after Encrypt and Decrypt:\n" << wc::Describe(wc::TakeFindings());
    {
      wc::SetStep("GetKey");
      const XBlob blob = cipher->GetKey();
      EXPECT_EQ(blob.size, 4 + key.size());
    }
    wc::SetStep("destruction");
    delete cipher;
    ExpectNothingLeft(c.name);
    wc::Reset();
  }
}

// Each AES block path the processor has, forced, leaves neither the key nor a
// round key on the stack: the paths wipe what their calls used, measured per
// call, for short messages (one vector, no loop) and for runs through the
// bulk loops alike. AES-256, whose 15 round keys and eight blocks in flight
// do not all fit the AES-NI registers.
TEST_F(WipeTest, AesPathsLeaveNoRoundKeyOnTheStack) {
  if (!wc::kDeadStackScan) GTEST_SKIP() << "no dead-stack scan under AddressSanitizer";
  const Secret key("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const Secret lastRoundKey("fe4890d1e6188d0b046df344706c631e");  // FIPS-197 A.3, w[56..59]
  const Secret firstInverseRoundKey("603deb1015ca71be2b73aef0857d7781");
  using orvo::aes::Engine;
  for (const Engine engine : {Engine::kAesNi, Engine::kVaes256, Engine::kVaes512}) {
    if (!orvo::aes::EngineAvailable(engine)) continue;
    SCOPED_TRACE(orvo::aes::EngineName(engine));
    Register("key", key);
    Register("last round key", lastRoundKey);
    Register("round key 0", firstInverseRoundKey);
    // Parsing and registering the secrets leaves copies of them in frames
    // below this one: clear the scanned region so that the scans below see
    // only what XAES leaves.
    orvo::WipeDeadStack(48 * 1024);
    XAES aes(engine);
    aes.SetKey(key.Blob(14));
    for (const uint32_t n : {64u, 16u * 40 + 5}) {
      XBlob plain(n);
      for (uint32_t i = 0; i < n; ++i) plain.InsertByte(static_cast<uint8_t>(i * 37), plain.size);
      for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
        aes.Setup(mode, 0);
        const XBlob sealed = aes.Encrypt(plain);
        aes.Setup(mode, 0);
        EXPECT_EQ(std::memcmp(aes.Decrypt(sealed).data, plain.data, n), 0);
        EXPECT_EQ(wc::ScanDeadStack(), 0u) << n << " bytes, mode " << mode << ":\n"
                                           << wc::Describe(wc::TakeFindings());
      }
    }
    wc::Reset();
  }
}

// ---------------------------------------------------------------------------
// RSA: the private numbers of the Python reference's keys.

// The fields of a private key blob: size, then n, d, p, q, dP, dQ, qInv.
std::vector<Secret> PrivateFields(const std::string& blobHex) {
  const Secret blob(blobHex);
  const std::vector<uint8_t>& b = blob.Bytes();
  std::vector<Secret> fields;
  for (size_t at = 4; at + 4 <= b.size();) {
    const size_t n = size_t{b[at]} << 24 | size_t{b[at + 1]} << 16 | size_t{b[at + 2]} << 8 | b[at + 3];
    fields.emplace_back(b.data() + at + 4, n);
    at += 4 + n;
  }
  return fields;
}

// The padding's entropy source during these tests: fixed bytes from
// tests/data/wipe/padding_seeds.vec, handed out in turn.
std::vector<Secret>* g_entropy = nullptr;
size_t g_entropyNext = 0;

void FixedEntropy(uint8_t* out, uint32_t n) {
  for (uint32_t at = 0; at < n; at += 20) {
    const Secret& e = (*g_entropy)[g_entropyNext++ % g_entropy->size()];
    std::memcpy(out + at, e.Bytes().data(), std::min<uint32_t>(20, n - at));
  }
}

// Runs one operation as a step; an alarm ends only the step. False after an alarm.
template <typename F>
bool Attempt(const char* step, F f) {
  wc::SetStep(step);
  try {
    f();
    return true;
  } catch (const XAlarm&) {
    return false;
  }
}

TEST_F(WipeTest, RsaKeysAndTheirOperationsLeaveNoPrivateNumberBehind) {
  std::vector<Secret> entropy;
  std::vector<Secret> seeds;
  for (const auto& record : orvo::test::ReadVecFile("wipe/padding_seeds.vec")) {
    entropy.emplace_back(record.Get("Entropy"));
    seeds.emplace_back(record.Get("Seed"));
  }
  ASSERT_EQ(entropy.size(), 4u);
  g_entropy = &entropy;
  const orvo::EntropySource previous = orvo::SetPaddingEntropyForTesting(FixedEntropy);

  int keys = 0;
  for (const auto& record : orvo::test::ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "KeyGen") continue;
    SCOPED_TRACE(record.Where());
    wc::Reset();
    const std::vector<Secret> fields = PrivateFields(record.Get("Private"));
    ASSERT_EQ(fields.size(), 7u);
    static const char* const kNames[] = {"n", "d", "p", "q", "dP", "dQ", "qInv"};
    for (size_t i = 1; i < 7; ++i) Register(kNames[i], fields[i]);
    const Secret seed1(record.Get("Seed1"));
    const Secret seed2(record.Get("Seed2"));
    if (seed1.size() >= wc::kWindow) Register("first seed", seed1);
    if (seed2.size() >= wc::kWindow) Register("second seed", seed2);
    for (size_t i = 0; i < entropy.size(); ++i) {
      Register("padding entropy", entropy[i]);
      Register("padding seed", seeds[i]);
    }
    g_entropyNext = 0;

    XBlob message(16);
    message.FromHex("4f6e652074776f2074687265652c20666f7572206669766520736978");
    XBlob publicBlob(16);
    {
      XRSAKey generated;
      wc::SetStep("GenerateKey");
      generated.GenerateKey(seed1.Blob(), seed2.Blob(), static_cast<uint32_t>(record.Number("Requested")));
      wc::SetStep("GetPrivateBlob");
      XBlob privateBlob(16);
      generated.GetPrivateBlob(privateBlob);
      ASSERT_EQ(orvo::test::ToHexText(privateBlob), record.Get("Private"));
      generated.GetPublicBlob(publicBlob);
      ExpectNothingLeft("key generation");

      // The same key loaded from its blobs, then every operation on both.
      XRSAKey loaded;
      wc::SetStep("SetPrivateBlob and SetPublicBlob");
      loaded.SetPrivateBlob(privateBlob);
      loaded.SetPublicBlob(publicBlob);
      // Keys whose primes fall short refuse some operations: the alarm's way
      // out must leave nothing behind either.
      for (const XRSAKey* key : {&generated, &loaded}) {
        XBlob sealed(16);
        XBlob signature(16);
        if (Attempt("Encrypt", [&] { sealed = key->Encrypt(message); })) {
          Attempt("Decrypt", [&] { EXPECT_TRUE(key->Decrypt(sealed).Equals(message)); });
        }
        if (Attempt("Sign", [&] { signature = key->Sign(message); })) {
          Attempt("Verify", [&] { EXPECT_EQ(key->Verify(message, signature), 1); });
        }
        // Refusals on the way in: a ciphertext and a signature of the wrong length.
        XBlob shortBlock(16);
        shortBlock.InsertLong(0x01020304);
        Attempt("Decrypt of a short block", [&] { key->Decrypt(shortBlock); });
        Attempt("Verify of a bad signature", [&] { key->Verify(message, shortBlock); });
      }
      EXPECT_EQ(wc::ScanDeadStack(), 0u) << "dead stack after the RSA operations:\n"
                                         << wc::Describe(wc::TakeFindings());
      ExpectNothingLeft("the operations");
      wc::SetStep("destruction");
    }
    ExpectNothingLeft("destruction");
    ++keys;
  }
  EXPECT_GE(keys, 10);
  orvo::SetPaddingEntropyForTesting(previous);
  g_entropy = nullptr;
}

// ---------------------------------------------------------------------------
// Digests and the seed expansion over secrets, and the random generator's
// entropy.

TEST_F(WipeTest, DigestsOfSecretsLeaveNothingBehind) {
  Secret secret(
      "8d3f0b6e21a45c97e0d14b7a3c9f6205b8e1d7a4f03c6295ae417bd0c82f5e6193a7d4c0b5e81f2a6d39c7e0a4b1f8256d0e3a9c7b41"
      "f5e28d06a3c9b7e14f2d");
  Register("secret", secret);
  const XBlob input = secret.Blob();
  wc::SetStep("MD5");
  EXPECT_EQ(MD5Digest(input).size, 16u);
  wc::SetStep("SHA-1");
  EXPECT_EQ(SHA1Digest(input).size, 20u);
  wc::SetStep("ExpandSeed");
  EXPECT_EQ(ExpandSeed(input, 100).size, 100u);
  EXPECT_EQ(wc::ScanDeadStack(), 0u) << "dead stack after the digests:\n" << wc::Describe(wc::TakeFindings());
  ExpectNothingLeft("digests");
}

TEST_F(WipeTest, RandomBytesLeaveNoEntropyBehind) {
  static const uint8_t kEntropy[12] = {0x3c, 0x91, 0xe4, 0x07, 0xb2, 0x6d, 0x58, 0xaf, 0x1e, 0xc3, 0x74, 0x9b};
  Register("entropy", Secret(kEntropy, sizeof kEntropy));
  const orvo::RandomSources sources{[]() -> uint32_t { return 0x5f5e1000u; },
                                    [](uint8_t* out, uint32_t n) { std::memcpy(out, kEntropy, std::min(n, 12u)); }};
  const orvo::RandomSources previous = orvo::SetRandomSourcesForTesting(&sources);
  wc::SetStep("RandomBytes");
  EXPECT_EQ(RandomBytes(100).size, 100u);
  orvo::SetRandomSourcesForTesting(&previous);
  EXPECT_EQ(wc::ScanDeadStack(), 0u) << "dead stack after RandomBytes:\n" << wc::Describe(wc::TakeFindings());
  ExpectNothingLeft("RandomBytes");
}

}  // namespace
