// The scripting objects: a CryptoAES and a CryptoRSA given keys through their
// properties, used, and released as a script host releases them, leave no key
// material in freed memory (driven natively through the stand-in layer, under
// Wine through COM).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/xblob.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/vec_file.h"
#include "tests/wipe/secret_scan.h"

namespace orvotest {
namespace {

namespace wc = orvo::wipecheck;

// FIPS-197 Appendix A.3.
const char kAesKey[] = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";

class ObjectsWipeTest : public ObjectsTest {
 protected:
  void SetUp() override {
    wc::Reset();
    ObjectsTest::SetUp();
  }
  void TearDown() override {
    wc::SetStep("Release");
    ObjectsTest::TearDown();  // releases every object and Blob of the test
    const std::vector<wc::Finding> findings = wc::TakeFindings();
    EXPECT_TRUE(findings.empty()) << "key material left in freed memory:\n" << wc::Describe(findings);
    wc::Reset();
  }
  // A test Blob holding the bytes of `hex`, decoded straight into its XBlob:
  // no copy of them is left unwiped on the heap, where a later block could
  // take it over and carry it to the scan.
  TestBlob* SecretBlob(const std::string& hex) {
    TestBlob* blob = NewBlob();
    blob->content.FromHex(hex.c_str());
    return blob;
  }
};

TEST_F(ObjectsWipeTest, ReleasedObjectsLeaveNoKeyBehind) {
  const orvo::test::VecRecord* key = nullptr;
  const std::vector<orvo::test::VecRecord> records = orvo::test::ReadVecFile("rsa/rsa_keys.vec");
  for (const auto& r : records) {
    if (r.section == "KeyGen" && r.Number("Requested") == 65) key = &r;
  }
  ASSERT_NE(key, nullptr);

  IDispatch* aes = Create(CLSID_CryptoAES);
  IDispatch* rsa = Create(CLSID_CryptoRSA);
  TestBlob* aesKey = SecretBlob(std::string("0000000e") + kAesKey);
  TestBlob* privateKey = SecretBlob(key->Get("Private"));
  TestBlob* publicKey = SecretBlob(key->Get("Public"));
  TestBlob* data = NewBlob(Hex("546865206d6573736167652c20616e64206e6f7468696e67206d6f7265"));

  wc::RegisterSecret("AES key", aesKey->content.data + 4, 32);
  const XBlob& fields = privateKey->content;
  size_t at = 4;
  for (const char* name : {"n", "d", "p", "q", "dP", "dQ", "qInv"}) {
    const uint32_t n = fields.ExtractLong(static_cast<uint32_t>(at));
    if (std::string(name) != "n") wc::RegisterSecret(name, fields.data + at + 4, n);
    at += 4 + n;
  }
  ASSERT_EQ(at, fields.size);

  wc::SetStep("CryptoAES");
  ASSERT_EQ(S_OK, PutProperty(aes, "Key", Disp(aesKey)).hr);
  TestBlob* sealed = Keep(CallMethod(aes, "Encrypt", {Disp(data)}));
  Keep(CallMethod(aes, "Decrypt", {Disp(sealed)}));
  Keep(GetProperty(aes, "Key"));

  wc::SetStep("CryptoRSA");
  ASSERT_EQ(S_OK, PutProperty(rsa, "PrivateKey", Disp(privateKey)).hr);
  ASSERT_EQ(S_OK, PutProperty(rsa, "PublicKey", Disp(publicKey)).hr);
  TestBlob* secret = Keep(CallMethod(rsa, "Encrypt", {Disp(data)}));
  Keep(CallMethod(rsa, "Decrypt", {Disp(secret)}));
  TestBlob* signature = Keep(CallMethod(rsa, "Sign", {Disp(data)}));
  EXPECT_EQ(1, CallMethod(rsa, "Verify", {Disp(data), Disp(signature)}).Long());
  Keep(GetProperty(rsa, "PrivateKey"));

  const std::vector<wc::Finding> findings = wc::TakeFindings();
  EXPECT_TRUE(findings.empty()) << "key material left in freed memory:\n" << wc::Describe(findings);
}

}  // namespace
}  // namespace orvotest
