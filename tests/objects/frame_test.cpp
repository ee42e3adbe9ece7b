// The method frame: the order of the Blob calls on every way out, the codes and
// texts of each failure, and that every Lock is undone and every reference
// released whatever happens.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/alarm.h"
#include "base/blob_allocator.h"
#include "base/test_hooks.h"
#include "objects/crypto_interfaces.h"
#include "objects/method_frame.h"
#include "tests/objects/object_test_support.h"

namespace orvotest {
namespace {

const Bytes kAesKeyBlob = Hex("0000000a 000102030405060708090a0b0c0d0e0f");

class FrameTest : public ObjectsTest {
 protected:
  // An AES object with a key, and a data Blob A of 16 bytes.
  void SetUp() override {
    ObjectsTest::SetUp();
    aes = Create(CLSID_CryptoAES);
    ASSERT_EQ(S_OK, PutProperty(aes, "Key", Disp(NewBlob(kAesKeyBlob, "K")), Host::kJScript).hr);
    data = NewBlob(Hex("00112233445566778899aabbccddeeff"), "A");
    Ledger().events.clear();
  }
  // JScript passes objects as they are, so the trace holds the module's calls only.
  Outcome Encrypt(IDispatch* object, VARIANT arg) {
    return Invoke(object, "Encrypt", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {arg}, true, Host::kJScript);
  }
  // The thread's error information after a raw call: its GUID and description.
  static void TakeErrorInfo(GUID& guid, std::string& description) {
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(S_OK, info->GetGUID(&guid));
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, info->GetDescription(&text));
    description.clear();
    for (const OLECHAR* p = text; p != nullptr && *p != 0; ++p) description += static_cast<char>(*p);
    SysFreeString(text);
    info->Release();
  }

  IDispatch* aes = nullptr;
  TestBlob* data = nullptr;
};

TEST_F(FrameTest, SuccessfulCallTakesLocksReadsAndReleasesInOrder) {
  Outcome out = Encrypt(aes, Disp(data));
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(out.BlobBytes()));  // FIPS-197 C.1
  EXPECT_EQ(
      "QI A IOrvoBlob; Create R1; Lock A; Lock R1; GetBuffer A; GetBuffer R1; Unlock A; Unlock R1; "
      "QI R1 IDispatch; Release R1; Release A",
      Ledger().Trace());
  EXPECT_EQ(1u, out.Blob()->refs);  // the result VARIANT holds the only reference
}

TEST_F(FrameTest, AlarmUnlocksReleasesAndReportsTheText) {
  IDispatch* keyless = Create(CLSID_CryptoAES);
  Ledger().events.clear();
  Outcome out = Encrypt(keyless, Disp(data));
  ExpectFailure(out, E_FAIL, "Crypto System: Invalid key");
  EXPECT_EQ("Quelvar.OrvoCryptoAES.1", out.Source());
  EXPECT_EQ(
      "QI A IOrvoBlob; Create R1; Lock A; Lock R1; GetBuffer A; GetBuffer R1; Unlock A; Unlock R1; "
      "Release R1; Release A",
      Ledger().Trace());
}

TEST_F(FrameTest, FailedCreationPassesItsCodeBackWithoutText) {
  Ledger().createResult = REGDB_E_CLASSNOTREG;
  Outcome out = Encrypt(aes, Disp(data));
  ExpectFailure(out, REGDB_E_CLASSNOTREG, nullptr);
  EXPECT_EQ("QI A IOrvoBlob; Create failed; Release A", Ledger().Trace());
}

TEST_F(FrameTest, FailedGetBufferOnEitherBlobUnlocksBoth) {
  data->getBufferResult = E_ACCESSDENIED;
  Outcome input = Encrypt(aes, Disp(data));
  ExpectFailure(input, E_ACCESSDENIED, nullptr, "input");
  EXPECT_EQ("QI A IOrvoBlob; Create R1; Lock A; Lock R1; GetBuffer A; Unlock A; Unlock R1; Release R1; Release A",
            Ledger().Trace());

  data->getBufferResult = S_OK;
  Ledger().events.clear();
  Ledger().nextGetBufferResult = E_OUTOFMEMORY;
  Outcome result = Encrypt(aes, Disp(data));
  ExpectFailure(result, E_OUTOFMEMORY, nullptr, "result");
  EXPECT_EQ(
      "QI A IOrvoBlob; Create R2; Lock A; Lock R2; GetBuffer A; GetBuffer R2; Unlock A; Unlock R2; Release R2; "
      "Release A",
      Ledger().Trace());
}

TEST_F(FrameTest, FailedHandOverReturnsItsCodeAndNoBlob) {
  Ledger().nextQueryDispatchResult = E_NOINTERFACE;
  Outcome out = Encrypt(aes, Disp(data));
  ExpectFailure(out, E_NOINTERFACE, nullptr);
}

TEST_F(FrameTest, ArgumentsThatAreNotBlobsGiveTheInternalError) {
  TestBlob* proxy = NewBlob({}, "P");
  proxy->refuseBlobInterface = true;  // a Blob from another apartment arrives as a proxy
  IDispatch* other = Create(CLSID_CryptoMisc);
  struct Case {
    const char* what;
    VARIANT arg;
  } cases[] = {{"null object", Disp(nullptr)},   {"JScript null", Null()},
               {"JScript undefined", Empty()},    {"proxy", Disp(proxy)},
               {"another class", Disp(other)}};
  for (const Case& c : cases) {
    Ledger().events.clear();
    Outcome out = Encrypt(aes, c.arg);
    ExpectFailure(out, E_FAIL, "Internal error: can't get source OrvoBlob COM interface", c.what);
    EXPECT_EQ("Quelvar.OrvoCryptoAES.1", out.Source()) << c.what;
    EXPECT_EQ(std::string::npos, Ledger().Trace().find("Create")) << c.what << ": no result Blob is made";
  }
}

TEST_F(FrameTest, ErrorInformationNamesTheInterfaceOrNone) {
  ICryptoSymmetric* raw = nullptr;
  ASSERT_EQ(S_OK, aes->QueryInterface(IID_ICryptoSymmetric, reinterpret_cast<void**>(&raw)));
  IDispatch* result = reinterpret_cast<IDispatch*>(&result);  // stale value: the member must clear it
  EXPECT_EQ(E_FAIL, raw->Encrypt(nullptr, &result));
  EXPECT_EQ(nullptr, result);
  GUID guid = GUID_NULL;
  std::string text;
  TakeErrorInfo(guid, text);
  EXPECT_TRUE(IsEqualGUID(IID_ICryptoSymmetric, guid));
  EXPECT_EQ("Internal error: can't get source OrvoBlob COM interface", text);

  IDispatch* keyless = Create(CLSID_CryptoTwofish);
  ICryptoSymmetric* rawKeyless = nullptr;
  ASSERT_EQ(S_OK, keyless->QueryInterface(IID_ICryptoSymmetric, reinterpret_cast<void**>(&rawKeyless)));
  result = reinterpret_cast<IDispatch*>(&result);
  EXPECT_EQ(E_FAIL, rawKeyless->get_Key(&result));
  EXPECT_EQ(nullptr, result);
  TakeErrorInfo(guid, text);
  EXPECT_TRUE(IsEqualGUID(IID_NULL, guid));
  EXPECT_EQ("Crypto System: Invalid key - Twofish", text);
  rawKeyless->Release();
  raw->Release();
}

TEST_F(FrameTest, FailureWithoutTextDropsStaleErrorInformation) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(S_OK, CreateErrorInfo(&create));
  create->SetDescription(const_cast<LPOLESTR>(L"stale"));
  IErrorInfo* stale = nullptr;
  ASSERT_EQ(S_OK, create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale)));
  SetErrorInfo(0, stale);
  stale->Release();
  create->Release();
  Ledger().createResult = E_OUTOFMEMORY;
  Outcome out = Encrypt(aes, Disp(data));
  ExpectFailure(out, E_OUTOFMEMORY, nullptr);
}

TEST_F(FrameTest, OneBlobAsBothArgumentsIsLockedTwice) {
  IDispatch* misc = Create(CLSID_CryptoMisc);
  TestBlob* both = NewBlob(Hex("0a0b"), "T");
  Ledger().events.clear();
  Outcome out = Invoke(misc, "InsertBlobToBlob", DISPATCH_METHOD, {Disp(both), I4(0), Disp(both)}, false,
                       Host::kJScript);
  ASSERT_EQ(S_OK, out.hr);
  EXPECT_EQ(2, both->locks);
  EXPECT_EQ("000000020a0b0a0b", HexOf(both->Bytes()));
  EXPECT_EQ(
      "QI T IOrvoBlob; QI T IOrvoBlob; Lock T; Lock T; GetBuffer T; GetBuffer T; Unlock T; Unlock T; "
      "Release T; Release T",
      Ledger().Trace());
}

TEST_F(FrameTest, TwoInputBlobsGoFirstToSecondAndAreReleasedSecondToFirst) {
  IDispatch* rsa = Create(CLSID_CryptoRSA);
  TestBlob* first = NewBlob(Hex("616263"), "D");
  TestBlob* second = NewBlob(Hex("00"), "S");
  Ledger().events.clear();
  Outcome out = Invoke(rsa, "Verify", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Disp(first), Disp(second)}, true,
                       Host::kJScript);
  ExpectFailure(out, E_FAIL, "Crypto System: Invalid key - RSA");
  EXPECT_EQ(
      "QI D IOrvoBlob; QI S IOrvoBlob; Lock D; Lock S; GetBuffer D; GetBuffer S; Unlock D; Unlock S; "
      "Release S; Release D",
      Ledger().Trace());

  // The second argument not a Blob: the first is released, nothing is locked.
  Ledger().events.clear();
  Outcome bad = Invoke(rsa, "Verify", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Disp(first), Disp(nullptr)}, true,
                       Host::kJScript);
  ExpectFailure(bad, E_FAIL, "Internal error: can't get source OrvoBlob COM interface");
  EXPECT_EQ("QI D IOrvoBlob; Release D", Ledger().Trace());
}

// Memory running out in the middle of a member: E_OUTOFMEMORY without text,
// every Blob unlocked and released, and the object as it was (the chaining
// register too), under either catch policy.
TEST_F(FrameTest, RunningOutOfMemoryFailsTheCallAndChangesNothing) {
  struct LimitFor {
    explicit LimitFor(size_t bytes) { orvo::SetBlobAllocationLimitForTesting(bytes); }
    ~LimitFor() { orvo::SetBlobAllocationLimitForTesting(0); }
  };
  ASSERT_EQ(S_OK, PutProperty(aes, "Mode", I4(2)).hr);  // CBC
  IDispatch* twin = Create(CLSID_CryptoAES);
  ASSERT_EQ(S_OK, PutProperty(twin, "Key", Disp(NewBlob(kAesKeyBlob)), Host::kJScript).hr);
  ASSERT_EQ(S_OK, PutProperty(twin, "Mode", I4(2)).hr);
  TestBlob* large = NewBlob(Bytes(4096, 0x5A), "L");
  IDispatch* misc = Create(CLSID_CryptoMisc);
  IDispatch* rsa = Create(CLSID_CryptoRSA);
  ASSERT_EQ(S_OK, CallStatement(rsa, "KeyGen", {Disp(NewBlob(Hex("01"))), Disp(NewBlob(Hex("02"))), I4(0)}).hr);
  {
    LimitFor limit(1024);
    ExpectFailure(Encrypt(aes, Disp(large)), E_OUTOFMEMORY, nullptr, "Encrypt");
    ExpectFailure(CallMethod(misc, "Random", {I4(4096)}), E_OUTOFMEMORY, nullptr, "Random");
  }
  {
    LimitFor limit(16);  // below the 64-byte public key blob: a member that catches only alarms
    ExpectFailure(GetProperty(rsa, "PublicKey"), E_OUTOFMEMORY, nullptr, "PublicKey");
  }
  EXPECT_EQ(0, data->lockDepth);
  EXPECT_EQ(0, large->lockDepth);
  // The register was not moved: both objects seal the same way.
  EXPECT_EQ(Encrypt(twin, Disp(data)).BlobBytes(), Encrypt(aes, Disp(data)).BlobBytes());
  EXPECT_EQ(S_OK, GetProperty(rsa, "PublicKey").hr);
}

// The frame itself, with steps that fail in ways the cipher core cannot be made to.
class FrameStepTest : public ObjectsTest {
 protected:
  HRESULT Run(orvo::CatchPolicy policy, IDispatch* input, IDispatch** out, void (*step)()) {
    const orvo::FrameOwner owner = {&CLSID_CryptoMisc, &IID_ICryptoMisc, policy};
    return orvo::RunMethodFrame(owner, {input}, out, [step](orvo::FrameBlobs&) {
      step();
      return S_OK;
    });
  }
};

TEST_F(FrameStepTest, OtherExceptionsGiveUnexpectedOrPassOnAfterCleanUp) {
  TestBlob* input = NewBlob({}, "A");
  IDispatch* out = reinterpret_cast<IDispatch*>(&out);
  EXPECT_EQ(E_UNEXPECTED, Run(orvo::CatchPolicy::kAll, input, &out, [] { throw std::runtime_error("x"); }));
  EXPECT_EQ(nullptr, out);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &info));

  EXPECT_THROW(Run(orvo::CatchPolicy::kAlarmsOnly, input, &out, [] { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(0, input->lockDepth);
  EXPECT_EQ(1u, input->refs);
  EXPECT_EQ(1, Ledger().live) << "only the input Blob is left";

  // An alarm is caught under both policies.
  EXPECT_EQ(E_FAIL, Run(orvo::CatchPolicy::kAlarmsOnly, input, &out,
                        [] { throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob"); }));
  GetErrorInfo(0, &info);
  ASSERT_NE(nullptr, info);
  info->Release();
}

TEST_F(FrameStepTest, AlarmTextIsCutTo255Characters) {
  TestBlob* input = NewBlob({}, "A");
  EXPECT_EQ(E_FAIL, Run(orvo::CatchPolicy::kAll, input, nullptr, [] {
              static const std::string longName(400, 'x');
              throw XCryptoAlarm(alarm_text::kInvalidKey, longName.c_str());
            }));
  IErrorInfo* info = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
  BSTR text = nullptr;
  info->GetDescription(&text);
  EXPECT_EQ(255u, SysStringLen(text));
  SysFreeString(text);
  info->Release();
}

}  // namespace
}  // namespace orvotest
