// Encrypt, Decrypt, Sign, Verify and MaskGen: known answers from the Python
// reference, round trips around the block length, every failure rule, and
// the refusals of keys whose numbers make a result impossible.
#include "rsa/rsa_operations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/alarm.h"
#include "digest/sha1.h"
#include "rsa/modular.h"
#include "rsa/primes.h"
#include "rsa/rsa_key.h"
#include "rsa/test_hooks.h"
#include "tests/rsa/rsa_test_support.h"
#include "tests/support/alarm_checks.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::FromHexText;
using orvo::test::HexOf;
using orvo::test::ReadVecFile;
using orvo::test::SeededRandom;
using orvo::test::ToHexText;

using orvo::test::AlarmOf;

// Entropy for Encrypt's seeds, replayed from a fixed byte string; counts draws.
struct ScriptedEntropy {
  static std::vector<uint8_t> bytes;
  static size_t offset;
  static int draws;
  static void Source(uint8_t* out, uint32_t n) {
    ++draws;
    for (uint32_t i = 0; i < n; ++i) out[i] = offset < bytes.size() ? bytes[offset++] : static_cast<uint8_t>(draws);
  }
};
std::vector<uint8_t> ScriptedEntropy::bytes;
size_t ScriptedEntropy::offset = 0;
int ScriptedEntropy::draws = 0;

class ScriptedEntropyScope {
 public:
  explicit ScriptedEntropyScope(std::vector<uint8_t> bytes) {
    ScriptedEntropy::bytes = std::move(bytes);
    ScriptedEntropy::offset = 0;
    ScriptedEntropy::draws = 0;
    previous_ = orvo::SetPaddingEntropyForTesting(ScriptedEntropy::Source);
  }
  ~ScriptedEntropyScope() { orvo::SetPaddingEntropyForTesting(previous_); }

 private:
  orvo::EntropySource previous_;
};

void Generate(XRSAKey& key, const char* seed1, const char* seed2, uint32_t size) {
  key.GenerateKey(BlobOf(std::string(seed1)), BlobOf(std::string(seed2)), size);
}

TEST(MaskGenTest, CounterStepsOfTwenty) {
  for (const auto& record : ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "MaskGen") continue;
    EXPECT_EQ(ToHexText(orvo::MaskGen(record.Blob("Z"), static_cast<uint32_t>(record.Number("Length")))),
              record.Get("Mask"))
        << record.Where();
  }
  // The worked example of the design: "abc", 40 bytes. The first 20 bytes
  // coincide with MGF1 of PKCS #1 v2; the second 20 come from counter 20.
  EXPECT_EQ(ToHexText(orvo::MaskGen(BlobOf(std::string("abc")), 40)),
            "a03eb8ac3e6ad809805ec489ce85f2cefe8d00c6"
            "5150742ba183595c5e9e86c5fc166917b1370ba7");
  // MaskGen(Z, 20) is SHA-1(Z || 00 00 00 00).
  XBlob z = BlobOf(std::string("abc"));
  XBlob zc(z);
  zc.InsertLong(0);
  EXPECT_EQ(ToHexText(orvo::MaskGen(z, 20)), ToHexText(SHA1Digest(zc)));
}

TEST(RsaVectorTest, SignaturesMatchThePythonReference) {
  int checked = 0;
  for (const auto& record : ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "Sign") continue;
    XRSAKey key;
    key.SetPrivateBlob(record.Blob("Private"));
    const XBlob data = record.Blob("Data");
    EXPECT_EQ(ToHexText(key.Sign(data)), record.Get("Signature")) << record.Where();
    key.SetPublicBlob(record.Blob("Public"));
    EXPECT_EQ(key.Verify(data, record.Blob("Signature")), 1) << record.Where();
    XBlob other(data);
    other.InsertByte(0, other.size);
    EXPECT_EQ(key.Verify(other, record.Blob("Signature")), 0) << record.Where();
    // Extra leading zero bytes do not change the number.
    XBlob padded = BlobOf(std::vector<uint8_t>{0, 0});
    padded.Insert(record.Blob("Signature"), 2);
    EXPECT_EQ(key.Verify(data, padded), 1) << record.Where();
    ++checked;
  }
  EXPECT_EQ(checked, 3);
}

TEST(RsaVectorTest, CiphertextsMatchThePythonReference) {
  int checked = 0;
  for (const auto& record : ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "Encrypt") continue;
    XRSAKey key;
    key.SetPrivateBlob(record.Blob("Private"));
    key.SetPublicBlob(record.Blob("Public"));
    key.SetIV(record.Blob("IVInput"));
    if (record.Number("Separator") == 1) {
      ScriptedEntropyScope entropy(record.Bytes("Entropy"));
      EXPECT_EQ(ToHexText(key.Encrypt(record.Blob("Data"))), record.Get("Ciphertext")) << record.Where();
    }
    // Any non-zero separator byte is accepted.
    EXPECT_EQ(ToHexText(key.Decrypt(record.Blob("Ciphertext"))), record.Get("Data")) << record.Where();
    ++checked;
  }
  EXPECT_EQ(checked, 5);
}

class RsaOperationsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    key512_ = new XRSAKey;
    Generate(*key512_, "alpha", "beta", 64);
    key1024_ = new XRSAKey;
    Generate(*key1024_, "alpha", "beta", 128);
  }
  static void TearDownTestSuite() {
    delete key512_;
    delete key1024_;
  }
  static XRSAKey* key512_;
  static XRSAKey* key1024_;
};
XRSAKey* RsaOperationsTest::key512_ = nullptr;
XRSAKey* RsaOperationsTest::key1024_ = nullptr;

TEST_F(RsaOperationsTest, RoundTripsAroundTheBlockLength) {
  for (XRSAKey* key : {key512_, key1024_}) {
    const uint32_t size = key->size;
    const uint32_t k = size - 42;
    for (const uint32_t length : {0u, 1u, k - 1, k, k + 1, 2 * k - 1, 2 * k, 2 * k + 1, 3 * k, 200u}) {
      XBlob data(16);
      for (uint32_t i = 0; i < length; ++i) data.InsertByte(static_cast<uint8_t>(i * 7 + 1), i);
      const XBlob sealed = key->Encrypt(data);
      EXPECT_EQ(sealed.size, size * ((length + k - 1) / k)) << size << "/" << length;
      EXPECT_EQ(ToHexText(key->Decrypt(sealed)), ToHexText(data)) << size << "/" << length;
    }
  }
}

TEST_F(RsaOperationsTest, EncryptDrawsFreshSeedsAndLeavesTheCLibraryGeneratorAlone) {
  std::srand(1234);
  const int first = std::rand();
  std::srand(1234);
  const XBlob data = BlobOf(std::string("same data"));
  const XBlob one = key512_->Encrypt(data);
  const XBlob two = key512_->Encrypt(data);
  EXPECT_EQ(std::rand(), first);
  EXPECT_FALSE(one.Equals(two));
  EXPECT_EQ(ToHexText(key512_->Decrypt(two)), ToHexText(data));
}

TEST_F(RsaOperationsTest, LabelHashMustMatch) {
  XRSAKey key;
  Generate(key, "alpha", "beta", 64);
  key.SetIV(BlobOf(std::string("label one")));
  const XBlob sealed = key.Encrypt(BlobOf(std::string("secret")));
  key.SetIV(BlobOf(std::string("label two")));
  EXPECT_EQ(AlarmOf([&] { key.Decrypt(sealed); }), "Unable to decrypt data/RSA");
  key.SetIV(BlobOf(std::string("label one")));
  EXPECT_EQ(ToHexText(key.Decrypt(sealed)), ToHexText(BlobOf(std::string("secret"))));
}

TEST_F(RsaOperationsTest, DecryptFailures) {
  const XBlob sealed = key1024_->Encrypt(BlobOf(std::string("x")));
  XBlob longer(sealed);
  longer.InsertByte(0, longer.size);
  EXPECT_EQ(AlarmOf([&] { key1024_->Decrypt(longer); }), "Unable to decrypt data/RSA");
  EXPECT_EQ(AlarmOf([&] { key1024_->Decrypt(BlobOf(std::vector<uint8_t>(10, 1))); }), "Unable to decrypt data/RSA");
  XBlob damaged(sealed);
  damaged.data[77] ^= 1;
  EXPECT_EQ(AlarmOf([&] { key1024_->Decrypt(damaged); }), "Unable to decrypt data/RSA");
  // A block not below n is refused.
  EXPECT_EQ(AlarmOf([&] { key1024_->Decrypt(BlobOf(std::vector<uint8_t>(128, 0xFF))); }),
            "Unable to decrypt data/RSA");
  EXPECT_EQ(key1024_->Decrypt(XBlob(16)).size, 0u);
}

TEST_F(RsaOperationsTest, SignaturesAreDeterministicAndVerifyOnlyTheirData) {
  const XBlob data = BlobOf(std::string("message"));
  const XBlob signature = key1024_->Sign(data);
  EXPECT_EQ(signature.size, 128u);
  EXPECT_TRUE(signature.Equals(key1024_->Sign(data)));
  EXPECT_EQ(key1024_->Verify(data, signature), 1);
  EXPECT_EQ(key1024_->Verify(BlobOf(std::string("massage")), signature), 0);
  EXPECT_EQ(key1024_->Verify(data, XBlob(16)), 0);
  XBlob n(16);
  key1024_->n.ToBytes(n);
  EXPECT_EQ(key1024_->Verify(data, n), 0);  // s >= n
  EXPECT_EQ(key512_->Verify(data, key512_->Sign(XBlob(16))), 0);
  EXPECT_EQ(key512_->Verify(XBlob(16), key512_->Sign(XBlob(16))), 1);
}

TEST_F(RsaOperationsTest, MissingHalves) {
  XBlob publicBlob(16), privateBlob(16);
  key512_->GetPublicBlob(publicBlob);
  key512_->GetPrivateBlob(privateBlob);
  const XBlob data = BlobOf(std::string("d"));
  XRSAKey none;
  XRSAKey onlyPublic;
  onlyPublic.SetPublicBlob(publicBlob);
  XRSAKey onlyPrivate;
  onlyPrivate.SetPrivateBlob(privateBlob);
  for (XRSAKey* key : {&none, &onlyPrivate}) {
    EXPECT_EQ(AlarmOf([&] { key->Encrypt(data); }), "Invalid key/RSA");
    EXPECT_EQ(AlarmOf([&] { key->Verify(data, data); }), "Invalid key/RSA");
  }
  for (XRSAKey* key : {&none, &onlyPublic}) {
    EXPECT_EQ(AlarmOf([&] { key->Decrypt(data); }), "Invalid key/RSA");
    EXPECT_EQ(AlarmOf([&] { key->Sign(data); }), "Invalid key/RSA");
  }
  // Each half works on its own.
  EXPECT_EQ(ToHexText(onlyPrivate.Decrypt(onlyPublic.Encrypt(data))), ToHexText(data));
  EXPECT_EQ(onlyPublic.Verify(data, onlyPrivate.Sign(data)), 1);
}

// The number 2^(8 bytes) - 1: `bytes` bytes FF.
XBigInt Ones(uint32_t bytes) {
  XBigInt x;
  x.FromBytes(BlobOf(std::vector<uint8_t>(bytes, 0xFF)));
  return x;
}

// A key with both halves of key512 whose numbers one edit then spoils.
struct Spoiled {
  const char* name;
  std::function<void(XRSAKey&)> edit;
  bool encrypt, decrypt, sign, verify;  // which operations must refuse the key
};

TEST_F(RsaOperationsTest, KeysWithImpossibleNumbersAreRefused) {
  XBlob publicBlob(16), privateBlob(16);
  key512_->GetPublicBlob(publicBlob);
  key512_->GetPrivateBlob(privateBlob);
  const std::vector<Spoiled> cases = {
      {"n zero", [](XRSAKey& k) { k.n.Set(0); }, true, true, true, true},
      {"n one", [](XRSAKey& k) { k.n.Set(1); }, true, true, true, true},
      {"n even", [](XRSAKey& k) { k.n.Add(XBigInt(1)); }, true, true, true, true},
      {"size 42", [](XRSAKey& k) { k.size = 42; }, true, true, true, true},  // n is longer too
      {"size 0", [](XRSAKey& k) { k.size = 0; }, true, true, true, true},
      {"n longer than size", [](XRSAKey& k) { k.size = 63; }, true, true, true, true},
      {"size far above n", [](XRSAKey& k) { k.size = 64 + 17; }, true, true, true, true},
      {"size 0xFFFFFFFF", [](XRSAKey& k) { k.size = 0xFFFFFFFF; }, true, true, true, true},
      {"e zero", [](XRSAKey& k) { k.e.Set(0); }, true, false, false, true},
      // The longest public exponent is 32 bytes; a 32-byte one that is not the
      // key's own makes Sign's check of its signature fail.
      {"e of 33 bytes", [](XRSAKey& k) { k.e = Ones(33); }, true, false, false, true},
      {"e of 32 bytes", [](XRSAKey& k) { k.e = Ones(32); }, false, false, true, false},
      {"d zero", [](XRSAKey& k) { k.d.Set(0); }, false, true, true, false},
      {"d of size + 1 bytes", [](XRSAKey& k) { k.d = Ones(65); }, false, true, true, false},
      // p, q and the CRT numbers: at most (64 + 1) / 2 + 8 = 40 bytes. At the
      // bound Decrypt falls back to the full exponent; Sign refuses numbers
      // that are not the key's.
      {"p of 41 bytes", [](XRSAKey& k) { k.p = Ones(41); }, false, true, true, false},
      {"p of 40 bytes", [](XRSAKey& k) { k.p = Ones(40); }, false, false, true, false},
      {"q of 41 bytes", [](XRSAKey& k) { k.q = Ones(41); }, false, true, true, false},
      {"dP of 41 bytes", [](XRSAKey& k) { k.dP = Ones(41); }, false, true, true, false},
      {"dP of 40 bytes", [](XRSAKey& k) { k.dP = Ones(40); }, false, false, true, false},
      {"dQ of 41 bytes", [](XRSAKey& k) { k.dQ = Ones(41); }, false, true, true, false},
      {"qInv of 41 bytes", [](XRSAKey& k) { k.qInv = Ones(41); }, false, true, true, false},
      {"qInv of 40 bytes", [](XRSAKey& k) { k.qInv = Ones(40); }, false, false, true, false},
      {"p zero", [](XRSAKey& k) { k.p.Set(0); }, false, false, true, false},
      {"q zero", [](XRSAKey& k) { k.q.Set(0); }, false, false, true, false},
      {"p even", [](XRSAKey& k) { k.p.Add(XBigInt(1)); }, false, false, true, false},
      {"p below q", [](XRSAKey& k) { std::swap(k.p, k.q); }, false, false, true, false},
      {"p equal to q", [](XRSAKey& k) { k.p = k.q; }, false, false, true, false},
  };
  const XBlob data = BlobOf(std::string("data"));
  for (const Spoiled& c : cases) {
    XRSAKey key;
    key.SetPrivateBlob(privateBlob);
    key.SetPublicBlob(publicBlob);
    c.edit(key);
    const auto outcome = [](bool refused) { return refused ? "Invalid key/RSA" : "other"; };
    const auto run = [](const std::function<void()>& f) {
      const std::string alarm = AlarmOf(f);
      return alarm == "Invalid key/RSA" ? alarm : "other";
    };
    EXPECT_EQ(run([&] { key.Encrypt(data); }), outcome(c.encrypt)) << c.name << " Encrypt";
    EXPECT_EQ(run([&] { key.Decrypt(XBlob(16)); }), outcome(c.decrypt)) << c.name << " Decrypt";
    EXPECT_EQ(run([&] { key.Sign(data); }), outcome(c.sign)) << c.name << " Sign";
    EXPECT_EQ(run([&] { key.Verify(data, data); }), outcome(c.verify)) << c.name << " Verify";
  }
}

// A consistent key of `size` bytes built from two primes of size/2 bytes with
// their top bit set, so that n has exactly `size` bytes.
void BuildKey(XRSAKey& key, uint32_t size) {
  XBlob top(16);
  for (uint32_t i = 0; i < size / 2; ++i) top.InsertByte(static_cast<uint8_t>(0xC0 + i), i);
  XBigInt start;
  start.FromBytes(top);
  key.p = orvo::NextPrime(start);
  start.Subtract(XBigInt(0x1000));
  key.q = orvo::NextPrime(start);
  key.n = key.p;
  key.n.Multiply(key.q);
  XBigInt pm1(key.p), qm1(key.q);
  pm1.Subtract(XBigInt(1));
  qm1.Subtract(XBigInt(1));
  XBigInt phi(pm1);
  phi.Multiply(qm1);
  key.e.Set(3);
  while (XBigInt(key.e).Gcd(phi).Compare(XBigInt(1)) != 0) key.e.Add(XBigInt(2));
  key.d = key.e;
  key.d.InverseMod(phi);
  key.dP = key.d;
  key.dP.Modulo(pm1);
  key.dQ = key.d;
  key.dQ.Modulo(qm1);
  key.qInv = key.q;
  key.qInv.InverseMod(key.p);
  key.size = size;
  key.flags = 3;
}

TEST(RsaMinimumSizeTest, PaddingNeedsItsRoom) {
  // 43 bytes is the least for encryption (one message byte per block), 23 for signing.
  struct Case {
    uint32_t size;
    bool encrypts, signs;
  } const cases[] = {{44, true, true}, {42, false, true}, {24, false, true}, {22, false, false}};
  const XBlob data = BlobOf(std::string("m"));
  for (const Case& c : cases) {
    XRSAKey key;
    BuildKey(key, c.size);
    ASSERT_EQ((key.n.BitLength() + 7) / 8, c.size);
    if (c.encrypts) {
      EXPECT_EQ(ToHexText(key.Decrypt(key.Encrypt(data))), "6d") << c.size;
    } else {
      EXPECT_EQ(AlarmOf([&] { key.Encrypt(data); }), "Invalid key/RSA") << c.size;
      EXPECT_EQ(AlarmOf([&] { key.Decrypt(XBlob(16)); }), "Invalid key/RSA") << c.size;
    }
    if (c.signs) {
      EXPECT_EQ(key.Verify(data, key.Sign(data)), 1) << c.size;
    } else {
      EXPECT_EQ(AlarmOf([&] { key.Sign(data); }), "Invalid key/RSA") << c.size;
      EXPECT_EQ(AlarmOf([&] { key.Verify(data, data); }), "Invalid key/RSA") << c.size;
    }
  }
}

TEST_F(RsaOperationsTest, InconsistentCrtNumbersFallBackToTheFullExponent) {
  XBlob publicBlob(16), privateBlob(16);
  key1024_->GetPublicBlob(publicBlob);
  key1024_->GetPrivateBlob(privateBlob);
  const XBlob sealed = key1024_->Encrypt(BlobOf(std::string("full exponent")));
  const std::vector<std::function<void(XRSAKey&)>> edits = {
      [](XRSAKey& k) { k.dP.Add(XBigInt(2)); },
      [](XRSAKey& k) { k.qInv.Add(XBigInt(1)); },
      [](XRSAKey& k) { std::swap(k.p, k.q); },
      [](XRSAKey& k) { k.p.Set(0); },
  };
  for (const auto& edit : edits) {
    XRSAKey key;
    key.SetPrivateBlob(privateBlob);
    edit(key);
    EXPECT_EQ(ToHexText(key.Decrypt(sealed)), ToHexText(BlobOf(std::string("full exponent"))));
  }
}

// Decrypt takes the CRT only where it gives d's result: with a composite p
// whose CRT numbers are nevertheless consistent with n and d, the halves
// disagree with d for most values, the test value among them, and Decrypt
// works with d itself.
TEST(RsaCompositePrimeTest, DecryptGivesThePowerOfDWhateverTheFactors) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  XBigInt r = orvo::NextPrime(orvo::test::BigHex("c0ffee00112233445566778899aabbcd"));
  const XBigInt s = orvo::NextPrime(orvo::test::BigHex("d00dfeed00112233445566778899aabb"));
  const XBigInt q = orvo::NextPrime(orvo::test::BigHex("a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5"));
  XRSAKey key;
  key.p = r.Multiply(s);  // composite, 32 bytes
  key.q = q;
  key.n = key.p;
  key.n.Multiply(q);
  key.size = (key.n.BitLength() + 7) / 8;
  key.d = random.Bytes(key.size - 1);
  if (key.d.IsEven()) key.d.Add(XBigInt(1));
  XBigInt pMinus1(key.p), qMinus1(key.q);
  pMinus1.Subtract(XBigInt(1));
  qMinus1.Subtract(XBigInt(1));
  key.dP = key.d;
  key.dP.Modulo(pMinus1);
  key.dQ = key.d;
  key.dQ.Modulo(qMinus1);
  key.qInv = key.q;
  key.qInv.InverseMod(key.p);
  key.flags = XRSAKey::kPrivateHalf;
  for (int i = 0; i < 8; ++i) {
    XBigInt x = random.Bytes(key.size);
    x.Modulo(key.n);
    EXPECT_EQ(HexOf(key.PrivateRaw(x)), HexOf(orvo::reference::PowMod(x, key.d, key.n)));
  }
}

// The draw limit follows from n's length alone: 8(size-1) = 504 bits of
// encoded block for size 64.
TEST(RsaShortModulusTest, DrawLimitComesFromTheModulusLength) {
  const struct {
    uint32_t bits;
    uint32_t size;
    uint32_t limit;
  } cases[] = {
      {512, 64, 56},      // longer than the block: every draw fits
      {505, 64, 56},      //
      {504, 64, 56},      // chance at least 1/2 per draw
      {503, 64, 112},     //
      {496, 64, 14336},   // the "short-54"/"short-73" key: chance at least 2^-9
      {493, 64, 114688},  // 2^-12: the shortest modulus still served
      {492, 64, 0},       // refused
      {400, 64, 0},       //
      {1005, 128, 114688},  // 8 * 127 = 1016 bits of block
      {1004, 128, 0},
  };
  for (const auto& c : cases) {
    XBigInt n(1);
    for (uint32_t i = 1; i < c.bits; ++i) n.Add(n);  // 2^(bits-1)
    ASSERT_EQ(n.BitLength(), c.bits);
    EXPECT_EQ(orvo::PaddingDrawLimit(n, c.size), c.limit) << c.bits << " bits, size " << c.size;
    n.Add(n).Subtract(XBigInt(1));  // 2^bits - 1: the same length, the same limit
    EXPECT_EQ(orvo::PaddingDrawLimit(n, c.size), c.limit) << c.bits << " bits, size " << c.size;
  }
}

TEST(RsaShortModulusTest, TheSameKeyAlwaysGetsTheSameAnswer) {
  // The seeds "short-54" and "short-73" at size 64 give a 496-bit modulus:
  // one encoded block in about 230 is below it.
  XRSAKey key;
  Generate(key, "short-54", "short-73", 64);
  ASSERT_EQ(key.n.BitLength(), 496u);
  EXPECT_EQ(AlarmOf([&] { key.Sign(BlobOf(std::string("x"))); }), "Invalid key/RSA");
  const XBlob data = BlobOf(std::string("a message of two blocks for the short key"));
  for (int i = 0; i < 200; ++i) {
    XBlob sealed(16);
    ASSERT_EQ(AlarmOf([&] { sealed = key.Encrypt(data); }), "no alarm") << "run " << i;
    ASSERT_EQ(sealed.size, 128u);
    ASSERT_EQ(ToHexText(key.Decrypt(sealed)), ToHexText(data)) << "run " << i;
  }

  // A public half whose modulus is one bit shorter than the shortest served
  // is refused before any entropy is drawn, every time.
  XBigInt shortN(1);
  for (int i = 1; i < 492; ++i) shortN.Add(shortN);
  shortN.Add(XBigInt(1));  // odd, 492 bits
  XRSAKey refused;
  refused.n = shortN;
  refused.e = key.e;
  refused.size = 64;
  refused.flags = XRSAKey::kPublicHalf;
  ScriptedEntropyScope entropy({});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(AlarmOf([&] { refused.Encrypt(data); }), "Invalid key/RSA");
  EXPECT_EQ(ScriptedEntropy::draws, 0);
}

TEST(RsaShortModulusTest, RedrawsStopAtTheLimit) {
  XRSAKey key;
  Generate(key, "short-54", "short-73", 64);
  const uint32_t limit = orvo::PaddingDrawLimit(key.n, key.size);
  // Entropy that always yields the same seed: if that block is not below n,
  // every draw fails and the limit ends the attempt.
  int refusedValues = 0;
  for (int value = 0; value < 4; ++value) {
    ScriptedEntropyScope entropy(std::vector<uint8_t>(20 * limit, static_cast<uint8_t>(value)));
    const std::string alarm = AlarmOf([&] { key.Encrypt(BlobOf(std::string("x"))); });
    if (alarm == "no alarm") {
      EXPECT_EQ(ScriptedEntropy::draws, 1);
    } else {
      ++refusedValues;
      EXPECT_EQ(alarm, "Invalid key/RSA");
      EXPECT_EQ(ScriptedEntropy::draws, static_cast<int>(limit));
    }
  }
  EXPECT_GT(refusedValues, 0);  // the bound was reached at least once
}

TEST(RsaBlobFuzzTest, ArbitraryBlobsNeverCrash) {
  orvo::test::SeededRandom random;
  SCOPED_TRACE(random.Trace());
  XRSAKey source;
  Generate(source, "alpha", "beta", 64);
  XBlob publicBlob(16), privateBlob(16);
  source.GetPublicBlob(publicBlob);
  source.GetPrivateBlob(privateBlob);
  const XBlob data = BlobOf(std::string("fuzz"));
  for (int i = 0; i < 300; ++i) {
    XBlob pub(publicBlob), priv(privateBlob);
    for (XBlob* b : {&pub, &priv}) {
      const uint32_t edits = 1 + random.Below(4);
      for (uint32_t j = 0; j < edits; ++j) b->data[random.Below(b->size)] = static_cast<uint8_t>(random.Below(256));
      if (random.Below(4) == 0) b->size = random.Below(b->size);
    }
    XRSAKey key;
    try {
      key.SetPrivateBlob(priv);
    } catch (const XAlarm&) {
    }
    try {
      key.SetPublicBlob(pub);
    } catch (const XAlarm&) {
    }
    const std::function<void()> operations[] = {
        [&] { key.Encrypt(data); },
        [&] { key.Decrypt(source.Encrypt(data)); },
        [&] { key.Sign(data); },
        [&] { key.Verify(data, source.Sign(data)); },
    };
    for (const auto& op : operations) {
      try {
        op();
      } catch (const XAlarm&) {
      }
    }
  }
}

// Where the numbers of a key blob lie: after the 4-byte size, fields of a
// 4-byte length and the number's bytes.
struct Field {
  uint32_t offset, length;
};

std::vector<Field> FieldsOf(const XBlob& blob) {
  std::vector<Field> fields;
  for (uint32_t at = 4; at + 4 <= blob.size;) {
    const uint32_t length = blob.ExtractLong(at);
    fields.push_back({at + 4, length});
    at += 4 + length;
  }
  return fields;
}

// A key blob of the given size field and numbers, each at natural length.
XBlob KeyBlob(uint32_t size, const std::vector<XBigInt>& numbers) {
  XBlob blob(16);
  blob.InsertLong(size);
  for (const XBigInt& x : numbers) {
    XBlob bytes(16);
    x.ToBytes(bytes);
    blob.InsertBlob(bytes);
  }
  return blob;
}

// One bit flipped anywhere in a generated key's private numbers: with the
// halves of the CRT computation no longer agreeing, a signature would give
// away a prime (gcd(s^e - m, n)), so Sign refuses. The undamaged blobs still
// sign exactly the stored signatures of the Python reference.
TEST(RsaDamagedKeyTest, OneFlippedBitInAnyPrivateNumberStopsSign) {
  const char* const names[] = {"n", "d", "p", "q", "dP", "dQ", "qInv"};
  int checked = 0;
  for (const auto& record : ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "Sign") continue;
    const XBlob privateBlob = record.Blob("Private");
    const XBlob data = record.Blob("Data");
    XRSAKey intact;
    intact.SetPrivateBlob(privateBlob);
    EXPECT_EQ(ToHexText(intact.Sign(data)), record.Get("Signature")) << record.Where();
    intact.SetPublicBlob(record.Blob("Public"));
    EXPECT_EQ(ToHexText(intact.Sign(data)), record.Get("Signature")) << record.Where();

    const std::vector<Field> fields = FieldsOf(privateBlob);
    ASSERT_EQ(fields.size(), 7u) << record.Where();
    for (size_t f = 0; f < fields.size(); ++f) {
      const uint32_t bits = 8 * fields[f].length;
      for (const uint32_t bit : {0u, 1u, 77u, bits / 2 + 3, bits - 1}) {
        XBlob damaged(privateBlob);
        damaged.data[fields[f].offset + fields[f].length - 1 - bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        XRSAKey key;
        key.SetPrivateBlob(damaged);
        EXPECT_EQ(AlarmOf([&] { key.Sign(data); }), "Invalid key/RSA")
            << names[f] << " bit " << bit << " " << record.Where();
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 3 * 7 * 5);
}

// With the public half present, a signature is verified before it leaves:
// CRT numbers consistent with a d that does not belong to e sign nothing.
TEST_F(RsaOperationsTest, SignChecksItsSignatureWithThePublicExponent) {
  XBlob publicBlob(16), privateBlob(16);
  key512_->GetPublicBlob(publicBlob);
  key512_->GetPrivateBlob(privateBlob);
  const XBlob data = BlobOf(std::string("data"));
  XRSAKey key;
  key.SetPrivateBlob(privateBlob);
  key.SetPublicBlob(publicBlob);
  key.e.Set(3);
  EXPECT_EQ(AlarmOf([&] { key.Sign(data); }), "Invalid key/RSA");
  XRSAKey privateOnly;
  privateOnly.SetPrivateBlob(privateBlob);
  EXPECT_EQ(ToHexText(privateOnly.Sign(data)), ToHexText(key512_->Sign(data)));
}

// Blobs whose numbers are far longer than their size allows, as a hostile
// peer would send them, are refused at use before any arithmetic on them.
TEST_F(RsaOperationsTest, OversizedNumbersInBlobsAreRefusedAtUse) {
  const XRSAKey& k = *key512_;
  const XBlob data = BlobOf(std::string("data"));
  const XBlob sealed = k.Encrypt(data);
  const XBlob signature = k.Sign(data);
  struct Case {
    const char* name;
    XBlob blob;
    bool privateHalf;
  };
  const XBigInt big = Ones(256 * 1024);
  const std::vector<Case> cases = {
      {"p and q of 256 KiB", KeyBlob(64, {k.n, k.d, big, big, k.dP, k.dQ, k.qInv}), true},
      {"dP of 256 KiB", KeyBlob(64, {k.n, k.d, k.p, k.q, big, k.dQ, k.qInv}), true},
      {"d of 256 KiB", KeyBlob(64, {k.n, big, k.p, k.q, k.dP, k.dQ, k.qInv}), true},
      {"e of 256 KiB", KeyBlob(64, {k.n, big}), false},
      {"4096-byte n and e", KeyBlob(4096, {Ones(4096), Ones(4096)}), false},
      {"4096-byte n, d, p and q", KeyBlob(4096, {Ones(4096), Ones(4096), Ones(4096), Ones(4096), k.dP, k.dQ, k.qInv}),
       true},
  };
  for (const Case& c : cases) {
    XRSAKey key;
    if (c.privateHalf) {
      key.SetPrivateBlob(c.blob);  // loading takes the numbers as they stand
      EXPECT_EQ(AlarmOf([&] { key.Decrypt(sealed); }), "Invalid key/RSA") << c.name;
      EXPECT_EQ(AlarmOf([&] { key.Sign(data); }), "Invalid key/RSA") << c.name;
    } else {
      key.SetPublicBlob(c.blob);
      EXPECT_EQ(AlarmOf([&] { key.Verify(data, signature); }), "Invalid key/RSA") << c.name;
      EXPECT_EQ(AlarmOf([&] { key.Encrypt(data); }), "Invalid key/RSA") << c.name;
    }
  }
}

// Inputs that spell a number another way. A signature's value counts, as it
// always has, so one stored with extra leading zero bytes keeps verifying; a
// value at or above n does not. Decrypt refuses a block at or above n, which
// Encrypt never writes (PKCS #1 refuses it likewise). key512's n has 509 bits
// in 64-byte blocks, so c + n still fits a block.
TEST_F(RsaOperationsTest, NonCanonicalSignaturesAndCiphertexts) {
  const XRSAKey& k = *key512_;
  ASSERT_EQ(k.n.BitLength(), 509u);
  const XBlob data = BlobOf(std::string("canonical"));
  XBigInt s;
  s.FromBytes(k.Sign(data));
  const auto bytesOf = [](const XBigInt& x, uint32_t length) {
    XBlob out(16);
    x.ToBytes(out, length);
    return out;
  };
  XBigInt sPlusN(s);
  sPlusN.Add(k.n);
  const struct {
    const char* name;
    XBlob signature;
    int32_t verdict;
  } signatures[] = {
      {"size bytes", bytesOf(s, 64), 1},
      {"natural length", bytesOf(s, 0), 1},
      {"one extra zero byte", bytesOf(s, 65), 1},
      {"64 extra zero bytes", bytesOf(s, 128), 1},
      {"s + n", bytesOf(sPlusN, 64), 0},
      {"n", bytesOf(k.n, 64), 0},
      {"64 bytes FF", bytesOf(Ones(64), 64), 0},
  };
  for (const auto& c : signatures) EXPECT_EQ(k.Verify(data, c.signature), c.verdict) << c.name;

  const XBlob sealed = k.Encrypt(data);
  XBigInt c;
  c.FromBytes(sealed);
  XBigInt cPlusN(c);
  cPlusN.Add(k.n);
  XBigInt cPlus2N(cPlusN);
  cPlus2N.Add(k.n);
  const struct {
    const char* name;
    XBlob block;
    const char* outcome;
  } blocks[] = {
      {"c", bytesOf(c, 64), "no alarm"},
      {"c + n", bytesOf(cPlusN, 64), "Unable to decrypt data/RSA"},
      {"c + 2n", bytesOf(cPlus2N, 64), "Unable to decrypt data/RSA"},
      {"n", bytesOf(k.n, 64), "Unable to decrypt data/RSA"},
      {"64 bytes FF", bytesOf(Ones(64), 64), "Unable to decrypt data/RSA"},
  };
  for (const auto& b : blocks) {
    XBlob opened(16);
    EXPECT_EQ(AlarmOf([&] { opened = k.Decrypt(b.block); }), b.outcome) << b.name;
    if (std::string(b.outcome) == "no alarm") {
      EXPECT_EQ(ToHexText(opened), ToHexText(data)) << b.name;
    }
  }
  // A good block after a refused one: nothing is returned.
  XBlob twoBlocks = bytesOf(cPlusN, 64);
  twoBlocks.Insert(sealed, 64);
  EXPECT_EQ(AlarmOf([&] { k.Decrypt(twoBlocks); }), "Unable to decrypt data/RSA");
}

}  // namespace
