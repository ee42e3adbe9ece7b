// CryptoAES, CryptoTwofish and CryptoBlowfish through IDispatch: published
// vectors through the Key property, key generation, modes, filler, the
// chaining register, and the failures with their texts.
#include <gtest/gtest.h>

#include <string>

#include "tests/objects/object_test_support.h"
#include "tests/support/vec_file.h"

namespace orvotest {
namespace {

struct Cipher {
  const char* name;
  const CLSID* clsid;
  const char* progId;
  uint32_t blockSize;
  // A published vector: its file, record index, field names, and the key
  // blob's count for that key.
  const char* vecFile;
  size_t record;
  const char* keyField;
  const char* plainField;
  const char* cipherField;
  const char* keyCount;
  const char* keygenFile;
};

const Cipher kCiphers[] = {
    {"AES", &CLSID_CryptoAES, "Quelvar.OrvoCryptoAES.1", 16, "crypto/aes_fips197.vec", 0, "Key", "Plaintext",
     "Ciphertext", "0000000a", "crypto/aes_keygen.vec"},
    {"Twofish", &CLSID_CryptoTwofish, "Quelvar.OrvoCryptoTwofish.1", 16, "crypto/twofish.vec", 0, "Key", "PT", "CT",
     "00000002", "crypto/twofish_keygen.vec"},
    {"Blowfish", &CLSID_CryptoBlowfish, "Quelvar.OrvoCryptoBlowfish.1", 8, "crypto/blowfish.vec", 0, "Key", "PT",
     "CT", "00000008", "crypto/blowfish_keygen.vec"},
};

class SymmetricTest : public ObjectsTest, public ::testing::WithParamInterface<Cipher> {
 protected:
  void SetUp() override {
    ObjectsTest::SetUp();
    const auto records = orvo::test::ReadVecFile(GetParam().vecFile);
    ASSERT_GT(records.size(), GetParam().record);
    vector = records[GetParam().record];
    keyBlob = Hex(std::string(GetParam().keyCount) + vector.Get(GetParam().keyField));
    plain = vector.Bytes(GetParam().plainField);
    cipher = vector.Bytes(GetParam().cipherField);
  }
  // A new object of the class with the vector's key.
  IDispatch* Keyed() {
    IDispatch* object = Create(*GetParam().clsid);
    EXPECT_EQ(S_OK, PutProperty(object, "Key", Disp(NewBlob(keyBlob))).hr);
    return object;
  }
  std::string Text(const char* message, bool named) const {
    return std::string("Crypto System: ") + message + (named ? std::string(" - ") + GetParam().name : "");
  }

  orvo::test::VecRecord vector;
  Bytes keyBlob, plain, cipher;
};

TEST_P(SymmetricTest, FreshObjectHasEcbFillerZeroAndNoKey) {
  IDispatch* object = Create(*GetParam().clsid);
  EXPECT_EQ(1, GetProperty(object, "Mode").Long());
  EXPECT_EQ(0, GetProperty(object, "Filler").Long());
  Outcome key = GetProperty(object, "Key");
  ExpectFailure(key, E_FAIL, Text("Invalid key", true).c_str(), "Key");
  EXPECT_EQ(GetParam().progId, key.Source());
  TestBlob* data = NewBlob(Hex("01"));
  ExpectFailure(CallMethod(object, "Encrypt", {Disp(data)}), E_FAIL, Text("Invalid key", false).c_str(), "Encrypt");
  ExpectFailure(CallMethod(object, "Decrypt", {Disp(data)}), E_FAIL, Text("Invalid key", false).c_str(), "Decrypt");
  EXPECT_EQ("01", HexOf(data->Bytes()));
}

TEST_P(SymmetricTest, PublishedVectorThroughTheKeyProperty) {
  IDispatch* object = Keyed();
  TestBlob* in = NewBlob(plain);
  Outcome sealed = CallMethod(object, "Encrypt", {Disp(in)});
  ASSERT_EQ(S_OK, sealed.hr);
  EXPECT_EQ(HexOf(cipher), HexOf(sealed.BlobBytes())) << vector.Where();
  EXPECT_EQ(HexOf(plain), HexOf(in->Bytes())) << "the input Blob is unchanged";

  Outcome opened = CallMethod(object, "Decrypt", {Disp(sealed.Blob())});
  ASSERT_EQ(S_OK, opened.hr);
  EXPECT_EQ(HexOf(plain), HexOf(opened.BlobBytes()));

  Outcome key = GetProperty(object, "Key");
  ASSERT_EQ(S_OK, key.hr);
  EXPECT_EQ(HexOf(keyBlob), HexOf(key.BlobBytes()));
}

TEST_P(SymmetricTest, EveryFormOfAssigningTheKeyInstallsIt) {
  struct Form {
    const char* what;
    WORD flags;
    Host host;
  } forms[] = {
      {"VBScript o.Key = b", DISPATCH_PROPERTYPUT, Host::kVBScript},
      {"VBScript Set o.Key = b", DISPATCH_PROPERTYPUTREF, Host::kVBScript},
      {"JScript o.Key = b", DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, Host::kJScript},
  };
  for (const Form& f : forms) {
    IDispatch* object = Create(*GetParam().clsid);
    Outcome put = Invoke(object, "Key", f.flags, {Disp(NewBlob(keyBlob))}, false, f.host, true);
    EXPECT_EQ(S_OK, put.hr) << f.what;
    Outcome sealed = CallMethod(object, "Encrypt", {Disp(NewBlob(plain))});
    EXPECT_EQ(HexOf(cipher), HexOf(sealed.BlobBytes())) << f.what;
  }
}

TEST_P(SymmetricTest, RejectedKeyBlobKeepsTheEarlierKey) {
  IDispatch* object = Keyed();
  for (const char* bad : {"", "0a0b0c", "0000000a00"}) {
    Outcome put = PutProperty(object, "Key", Disp(NewBlob(Hex(bad))));
    ExpectFailure(put, E_FAIL, Text("Data is corrupted", true).c_str(), bad);
  }
  EXPECT_EQ(HexOf(keyBlob), HexOf(GetProperty(object, "Key").BlobBytes()));
  EXPECT_EQ(HexOf(cipher), HexOf(CallMethod(object, "Encrypt", {Disp(NewBlob(plain))}).BlobBytes()));
}

TEST_P(SymmetricTest, KeyGenFollowsThePublishedSeedExpansion) {
  // A handful of records, each on a fresh object, VBScript and JScript statements.
  const auto records = orvo::test::ReadVecFile(GetParam().keygenFile);
  ASSERT_FALSE(records.empty());
  size_t checked = 0;
  for (size_t i = 0; i < records.size(); i += records.size() / 8 + 1, ++checked) {
    const auto& r = records[i];
    IDispatch* object = Create(*GetParam().clsid);
    TestBlob* seed = NewBlob(r.Bytes("Seed"));
    const LONG length = static_cast<LONG>(static_cast<uint32_t>(r.Number("Length")));
    const Host host = i % 2 == 0 ? Host::kVBScript : Host::kJScript;
    Outcome gen = Invoke(object, "KeyGen", DISPATCH_METHOD, {Disp(seed), I4(length)}, false, host);
    ASSERT_EQ(S_OK, gen.hr) << r.Where();
    EXPECT_EQ(VT_EMPTY, V_VT(&gen.result));
    EXPECT_EQ(HexOf(r.Bytes("Seed")), HexOf(seed->Bytes())) << "the seed Blob is unchanged";
    EXPECT_EQ(r.Get("Blob"), HexOf(GetProperty(object, "Key").BlobBytes())) << r.Where();
  }
  EXPECT_GE(checked, 2u);
}

TEST_P(SymmetricTest, KeyGenTakesTheLengthAsUnsigned) {
  struct Case {
    LONG requested;
    size_t aes, twofish, blowfish;  // key blob sizes
  } cases[] = {{0, 20, 20, 12}, {20, 20, 28, 24}, {-1, 36, 36, 60}, {0x7FFFFFFF, 36, 36, 60}};
  for (const Case& c : cases) {
    IDispatch* object = Create(*GetParam().clsid);
    ASSERT_EQ(S_OK, CallStatement(object, "KeyGen", {Disp(NewBlob(Hex("73656564"))), I4(c.requested)}).hr);
    const size_t expected =
        GetParam().clsid == &CLSID_CryptoAES ? c.aes : GetParam().clsid == &CLSID_CryptoTwofish ? c.twofish : c.blowfish;
    EXPECT_EQ(expected, GetProperty(object, "Key").BlobBytes().size()) << c.requested;
  }
}

TEST_P(SymmetricTest, ModeOutsideOneAndTwoGivesEmptyResults) {
  IDispatch* object = Keyed();
  ASSERT_EQ(S_OK, PutProperty(object, "Mode", I2(3)).hr);
  EXPECT_EQ(3, GetProperty(object, "Mode").Long());
  Outcome sealed = CallMethod(object, "Encrypt", {Disp(NewBlob(plain))});
  ASSERT_EQ(S_OK, sealed.hr);
  EXPECT_TRUE(sealed.BlobBytes().empty()) << "stale bytes of a new Blob never show";
  ASSERT_EQ(S_OK, PutProperty(object, "Mode", I4(-7), Host::kJScript).hr);
  EXPECT_EQ(-7, GetProperty(object, "Mode").Long());
}

TEST_P(SymmetricTest, FillerKeepsTheLowByteAndPadsToWholeBlocks) {
  IDispatch* object = Keyed();
  ASSERT_EQ(S_OK, PutProperty(object, "Filler", I2(321)).hr);
  EXPECT_EQ(65, GetProperty(object, "Filler").Long());
  Outcome sealed = CallMethod(object, "Encrypt", {Disp(NewBlob(Hex("7e")))});
  ASSERT_EQ(GetParam().blockSize, sealed.BlobBytes().size());
  Outcome opened = CallMethod(object, "Decrypt", {Disp(sealed.Blob())});
  Bytes expected(GetParam().blockSize, 65);
  expected[0] = 0x7e;
  EXPECT_EQ(HexOf(expected), HexOf(opened.BlobBytes()));

  Outcome empty = CallMethod(object, "Encrypt", {Disp(NewBlob())});
  ASSERT_EQ(S_OK, empty.hr);
  EXPECT_TRUE(empty.BlobBytes().empty());
}

TEST_P(SymmetricTest, DecryptRefusesPartialBlocks) {
  IDispatch* object = Keyed();
  for (size_t n : {size_t{1}, size_t{GetParam().blockSize - 1}, size_t{GetParam().blockSize + 4}}) {
    TestBlob* data = NewBlob(Bytes(n, 0x11));
    Outcome out = CallMethod(object, "Decrypt", {Disp(data)});
    ExpectFailure(out, E_FAIL, Text("Unable to decrypt data", false).c_str(), std::to_string(n).c_str());
    EXPECT_EQ(n, data->Bytes().size());
  }
}

TEST_P(SymmetricTest, CbcChainsAcrossCallsAndFromEcb) {
  IDispatch* first = Keyed();
  ASSERT_EQ(S_OK, PutProperty(first, "Mode", I2(2)).hr);
  const Bytes block(GetParam().blockSize, 0x5a);
  Outcome c1 = CallMethod(first, "Encrypt", {Disp(NewBlob(block))});
  Outcome c2 = CallMethod(first, "Encrypt", {Disp(NewBlob(block))});
  EXPECT_NE(HexOf(c1.BlobBytes()), HexOf(c2.BlobBytes()));
  // The key read from one object makes a fresh one decrypt alike, in order.
  IDispatch* second = Create(*GetParam().clsid);
  ASSERT_EQ(S_OK, PutProperty(second, "Key", Disp(Keep(GetProperty(first, "Key")))).hr);
  ASSERT_EQ(S_OK, PutProperty(second, "Mode", I2(2)).hr);
  EXPECT_EQ(HexOf(block), HexOf(CallMethod(second, "Decrypt", {Disp(c1.Blob())}).BlobBytes()));
  EXPECT_EQ(HexOf(block), HexOf(CallMethod(second, "Decrypt", {Disp(c2.Blob())}).BlobBytes()));

  // ECB, then CBC: the CBC block chains from the last ECB ciphertext block,
  // so it equals the ECB encryption of (plaintext XOR that block).
  IDispatch* mixed = Keyed();
  const Bytes ecbOut = CallMethod(mixed, "Encrypt", {Disp(NewBlob(plain))}).BlobBytes();
  ASSERT_EQ(S_OK, PutProperty(mixed, "Mode", I2(2)).hr);
  const Bytes cbcOut = CallMethod(mixed, "Encrypt", {Disp(NewBlob(block))}).BlobBytes();
  Bytes chained(block);
  for (size_t i = 0; i < chained.size(); ++i) chained[i] ^= ecbOut[i];
  EXPECT_EQ(HexOf(CallMethod(Keyed(), "Encrypt", {Disp(NewBlob(chained))}).BlobBytes()), HexOf(cbcOut));
}

TEST_P(SymmetricTest, MembersRefuseArgumentsThatAreNotBlobs) {
  IDispatch* object = Keyed();
  TestBlob* proxy = NewBlob(plain, "P");
  proxy->refuseBlobInterface = true;
  const char* kText = "Internal error: can't get source OrvoBlob COM interface";
  ExpectFailure(CallStatement(object, "KeyGen", {Disp(proxy), I4(16)}), E_FAIL, kText, "KeyGen");
  ExpectFailure(PutProperty(object, "Key", Disp(proxy)), E_FAIL, kText, "Key");
  ExpectFailure(PutProperty(object, "Key", Null(), Host::kJScript), E_FAIL, kText, "Key = null");
  ExpectFailure(CallMethod(object, "Encrypt", {Disp(nullptr)}), E_FAIL, kText, "Encrypt");
  ExpectFailure(CallMethod(object, "Decrypt", {Disp(object)}), E_FAIL, kText, "Decrypt");
  EXPECT_EQ(HexOf(keyBlob), HexOf(GetProperty(object, "Key").BlobBytes())) << "the key is untouched";
}

INSTANTIATE_TEST_SUITE_P(Ciphers, SymmetricTest, ::testing::ValuesIn(kCiphers),
                         [](const ::testing::TestParamInfo<Cipher>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace orvotest
