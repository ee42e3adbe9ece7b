// CryptoRSA through IDispatch, against the independent Python reference's
// keys, signatures and ciphertexts (tests/rsa/rsa_reference.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/objects/object_test_support.h"
#include "tests/support/vec_file.h"

namespace orvotest {
namespace {

const char kNotABlob[] = "Internal error: can't get source OrvoBlob COM interface";
const char kInvalidKey[] = "Crypto System: Invalid key - RSA";

std::vector<orvo::test::VecRecord> Section(const std::string& name) {
  std::vector<orvo::test::VecRecord> out;
  for (auto& r : orvo::test::ReadVecFile("rsa/rsa_keys.vec"))
    if (r.section == name) out.push_back(r);
  return out;
}

class RsaTest : public ObjectsTest {
 protected:
  IDispatch* WithKey(const orvo::test::VecRecord& r, bool publicHalf, bool privateHalf) {
    IDispatch* rsa = Create(CLSID_CryptoRSA);
    if (privateHalf) {
      EXPECT_EQ(S_OK, PutProperty(rsa, "PrivateKey", Disp(NewBlob(r.Bytes("Private")))).hr);
    }
    if (publicHalf) {
      EXPECT_EQ(S_OK, PutProperty(rsa, "PublicKey", Disp(NewBlob(r.Bytes("Public")))).hr);
    }
    return rsa;
  }
  Outcome Verify(IDispatch* rsa, const Bytes& data, const Bytes& signature) {
    return CallMethod(rsa, "Verify", {Disp(NewBlob(data)), Disp(NewBlob(signature))});
  }
};

TEST_F(RsaTest, FreshObjectHasAnEmptyKey) {
  IDispatch* rsa = Create(CLSID_CryptoRSA);
  EXPECT_EQ("00000000" "0000000100" "0000000100", HexOf(GetProperty(rsa, "PublicKey").BlobBytes()));
  TestBlob* data = NewBlob(Hex("616263"));
  ExpectFailure(CallMethod(rsa, "Encrypt", {Disp(data)}), E_FAIL, kInvalidKey, "Encrypt");
  ExpectFailure(CallMethod(rsa, "Decrypt", {Disp(data)}), E_FAIL, kInvalidKey, "Decrypt");
  ExpectFailure(CallMethod(rsa, "Sign", {Disp(data)}), E_FAIL, kInvalidKey, "Sign");
  Outcome verify = Verify(rsa, Hex("616263"), Hex("00"));
  ExpectFailure(verify, E_FAIL, kInvalidKey, "Verify");
  EXPECT_EQ("Quelvar.OrvoCryptoRSA.1", verify.Source());
}

TEST_F(RsaTest, KeyGenMatchesTheReference) {
  size_t checked = 0;
  for (const auto& r : Section("KeyGen")) {
    if (r.Number("Requested") > 128) continue;  // 2048-bit generation is left to the RSA tests
    IDispatch* rsa = Create(CLSID_CryptoRSA);
    TestBlob* first = NewBlob(r.Bytes("Seed1"));
    TestBlob* second = NewBlob(r.Bytes("Seed2"));
    const LONG requested = static_cast<LONG>(static_cast<uint32_t>(r.Number("Requested")));
    ASSERT_EQ(S_OK, CallStatement(rsa, "KeyGen", {Disp(first), Disp(second), I4(requested)}).hr) << r.Where();
    EXPECT_EQ(r.Get("Public"), HexOf(GetProperty(rsa, "PublicKey").BlobBytes())) << r.Where();
    EXPECT_EQ(r.Get("Private"), HexOf(GetProperty(rsa, "PrivateKey").BlobBytes())) << r.Where();
    EXPECT_EQ(r.Get("Seed1"), HexOf(first->Bytes()));
    EXPECT_EQ(r.Get("Seed2"), HexOf(second->Bytes()));
    ++checked;
  }
  EXPECT_GE(checked, 3u);
}

TEST_F(RsaTest, SignAndVerifyMatchTheReference) {
  const auto records = Section("Sign");
  ASSERT_GE(records.size(), 2u);
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    IDispatch* rsa = WithKey(r, true, true);
    const Bytes signature = r.Bytes("Signature");
    EXPECT_EQ(HexOf(signature), HexOf(CallMethod(rsa, "Sign", {Disp(NewBlob(r.Bytes("Data")))}).BlobBytes()))
        << r.Where();
    Outcome good = Verify(rsa, r.Bytes("Data"), signature);
    ASSERT_EQ(S_OK, good.hr);
    EXPECT_EQ(1, good.Long()) << r.Where();
    Bytes altered = signature;
    altered.back() ^= 1;
    Outcome bad = Verify(rsa, r.Bytes("Data"), altered);
    ASSERT_EQ(S_OK, bad.hr) << "a wrong signature is not an error";
    EXPECT_EQ(0, bad.Long());
    const auto& other = records[(i + 1) % records.size()];
    EXPECT_EQ(0, Verify(rsa, other.Bytes("Data"), other.Bytes("Signature")).Long()) << "another key's signature";
  }
}

TEST_F(RsaTest, DecryptsTheReferenceCiphertextsAndRoundTrips) {
  for (const auto& r : Section("Encrypt")) {
    if (r.Get("Separator") != "1") continue;
    IDispatch* rsa = WithKey(r, true, true);
    ASSERT_EQ(S_OK, CallStatement(rsa, "SetIV", {Disp(NewBlob(r.Bytes("IVInput")))}).hr);
    Outcome plain = CallMethod(rsa, "Decrypt", {Disp(NewBlob(r.Bytes("Ciphertext")))});
    ASSERT_EQ(S_OK, plain.hr) << r.Where() << " " << plain.Description();
    EXPECT_EQ(r.Get("Data"), HexOf(plain.BlobBytes())) << r.Where();

    TestBlob* data = NewBlob(r.Bytes("Data"));
    Outcome sealed = CallMethod(rsa, "Encrypt", {Disp(data)});
    ASSERT_EQ(S_OK, sealed.hr);
    EXPECT_EQ(r.Get("Data"), HexOf(CallMethod(rsa, "Decrypt", {Disp(sealed.Blob())}).BlobBytes()));
  }
}

TEST_F(RsaTest, EachHalfServesItsOwnOperations) {
  const auto r = Section("Sign")[1];
  IDispatch* rsa = WithKey(r, false, true);
  const Bytes data = r.Bytes("Data");
  EXPECT_EQ(r.Get("Signature"), HexOf(CallMethod(rsa, "Sign", {Disp(NewBlob(data))}).BlobBytes()));
  ExpectFailure(CallMethod(rsa, "Encrypt", {Disp(NewBlob(data))}), E_FAIL, kInvalidKey, "Encrypt");
  ExpectFailure(Verify(rsa, data, r.Bytes("Signature")), E_FAIL, kInvalidKey, "Verify");
  ASSERT_EQ(S_OK, PutProperty(rsa, "PublicKey", Disp(NewBlob(r.Bytes("Public")))).hr);
  EXPECT_EQ(1, Verify(rsa, data, r.Bytes("Signature")).Long());

  IDispatch* publicOnly = WithKey(r, true, false);
  Outcome sealed = CallMethod(publicOnly, "Encrypt", {Disp(NewBlob(data))});
  ASSERT_EQ(S_OK, sealed.hr);
  ExpectFailure(CallMethod(publicOnly, "Decrypt", {Disp(sealed.Blob())}), E_FAIL, kInvalidKey, "Decrypt");
  ExpectFailure(CallMethod(publicOnly, "Sign", {Disp(NewBlob(data))}), E_FAIL, kInvalidKey, "Sign");
  EXPECT_EQ(HexOf(data), HexOf(CallMethod(rsa, "Decrypt", {Disp(sealed.Blob())}).BlobBytes()));
}

TEST_F(RsaTest, TheLabelMustMatchToDecrypt) {
  const auto r = Section("Sign")[1];
  IDispatch* sender = WithKey(r, true, false);
  ASSERT_EQ(S_OK, CallStatement(sender, "SetIV", {Disp(NewBlob(Hex("6c6162656c")))}).hr);
  Outcome sealed = CallMethod(sender, "Encrypt", {Disp(NewBlob(Hex("68656c6c6f")))});
  ASSERT_EQ(S_OK, sealed.hr);
  IDispatch* receiver = WithKey(r, false, true);
  ExpectFailure(CallMethod(receiver, "Decrypt", {Disp(sealed.Blob())}), E_FAIL,
                "Crypto System: Unable to decrypt data - RSA");
  ASSERT_EQ(S_OK, CallStatement(receiver, "SetIV", {Disp(NewBlob(Hex("6c6162656c")))}).hr);
  EXPECT_EQ("68656c6c6f", HexOf(CallMethod(receiver, "Decrypt", {Disp(sealed.Blob())}).BlobBytes()));
  ExpectFailure(CallMethod(receiver, "Decrypt", {Disp(NewBlob(Bytes(10, 1)))}), E_FAIL,
                "Crypto System: Unable to decrypt data - RSA", "10 bytes");
}

TEST_F(RsaTest, RejectedKeyBlobsKeepTheEarlierKey) {
  const auto records = Section("Sign");
  const auto& r = records[0];
  const auto& other = records[1];
  IDispatch* rsa = WithKey(r, true, false);

  ExpectFailure(PutProperty(rsa, "PublicKey", Disp(NewBlob(Hex("000000")))), E_FAIL,
                "Crypto System: Data is corrupted - RSA", "3 bytes");
  // The other key's public blob cut inside its exponent: size and modulus
  // load before the short field is found.
  Bytes cut = other.Bytes("Public");
  cut.pop_back();
  ExpectFailure(PutProperty(rsa, "PublicKey", Disp(NewBlob(cut))), E_FAIL, "Crypto System: Data is corrupted - XBlob",
                "cut");
  EXPECT_EQ(r.Get("Public"), HexOf(GetProperty(rsa, "PublicKey").BlobBytes()));
  EXPECT_EQ(1, Verify(rsa, r.Bytes("Data"), r.Bytes("Signature")).Long());

  // A private half of another key does not fit the public half present.
  ExpectFailure(PutProperty(rsa, "PrivateKey", Disp(NewBlob(other.Bytes("Private")))), E_FAIL, kInvalidKey, "other");
  Bytes cutPrivate = r.Bytes("Private");
  cutPrivate.resize(cutPrivate.size() - 3);
  ExpectFailure(PutProperty(rsa, "PrivateKey", Disp(NewBlob(cutPrivate))), E_FAIL,
                "Crypto System: Data is corrupted - XBlob", "cut private");
  ExpectFailure(CallMethod(rsa, "Sign", {Disp(NewBlob(r.Bytes("Data")))}), E_FAIL, kInvalidKey, "still no private half");
  ASSERT_EQ(S_OK, PutProperty(rsa, "PrivateKey", Disp(NewBlob(r.Bytes("Private")))).hr);
  EXPECT_EQ(r.Get("Signature"), HexOf(CallMethod(rsa, "Sign", {Disp(NewBlob(r.Bytes("Data")))}).BlobBytes()));
}

TEST_F(RsaTest, MembersRefuseArgumentsThatAreNotBlobs) {
  IDispatch* rsa = Create(CLSID_CryptoRSA);
  TestBlob* proxy = NewBlob(Hex("01"), "P");
  proxy->refuseBlobInterface = true;
  TestBlob* seed = NewBlob(Hex("01"));
  struct Case {
    const char* what;
    Outcome out;
  };
  std::vector<Case> cases;
  cases.push_back({"SetIV", CallStatement(rsa, "SetIV", {Disp(nullptr)})});
  cases.push_back({"KeyGen first", CallStatement(rsa, "KeyGen", {Disp(proxy), Disp(seed), I4(64)})});
  cases.push_back({"KeyGen second", CallStatement(rsa, "KeyGen", {Disp(seed), Disp(rsa), I4(64)})});
  cases.push_back({"PublicKey", PutProperty(rsa, "PublicKey", Disp(proxy))});
  cases.push_back({"PrivateKey", PutRefProperty(rsa, "PrivateKey", Disp(proxy))});
  cases.push_back({"Encrypt", CallMethod(rsa, "Encrypt", {Disp(proxy)})});
  cases.push_back({"Decrypt", CallMethod(rsa, "Decrypt", {Disp(nullptr)})});
  cases.push_back({"Sign", CallMethod(rsa, "Sign", {Disp(proxy)})});
  cases.push_back({"Verify first", CallMethod(rsa, "Verify", {Disp(proxy), Disp(seed)})});
  cases.push_back({"Verify second", CallMethod(rsa, "Verify", {Disp(seed), Disp(nullptr)})});
  for (const Case& c : cases) ExpectFailure(c.out, E_FAIL, kNotABlob, c.what);
  EXPECT_EQ(14u, GetProperty(rsa, "PublicKey").BlobBytes().size()) << "no key was generated";
}

}  // namespace
}  // namespace orvotest
