// Every member of the scripting classes, called through IDispatch as script
// hosts call them, with each of its allocations failing in turn. At each
// failure: E_OUTOFMEMORY, no block leaked, no Blob left locked or referenced,
// the object's state as before (keys, Mode, Filler, the chaining register as
// the next call sees it), and the call works when repeated. A failure the
// member absorbs must give exactly the result of a run without failures.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/objects/object_test_support.h"
#include "tests/support/vec_file.h"
#include "tests/sweep/sweep.h"

namespace {

using namespace orvotest;

enum class Kind { kSymmetric, kRSA, kMisc };

// A Blob argument as its bytes.
std::string BytesOf(const XBlob& blob) { return HexOf(Bytes(blob.data, blob.data + blob.size)); }

// One call's outcome as text: its code, the member's message and the value.
std::string Render(const Outcome& out, bool randomValue) {
  std::string text = "hr " + std::to_string(out.hr) + " scode " + std::to_string(out.excep.scode) + " \"" +
                     out.Description() + "\" ";
  switch (V_VT(&out.result)) {
    case VT_EMPTY: break;
    case VT_I4: text += "long " + std::to_string(V_I4(&out.result)); break;
    case VT_UI4: text += "ulong " + std::to_string(V_UI4(&out.result)); break;
    case VT_DISPATCH: {
      TestBlob* blob = TestBlob::From(V_DISPATCH(&out.result));
      if (blob == nullptr) return text + "not a Blob";
      text += randomValue ? std::to_string(blob->content.size) + " bytes" : "blob " + BytesOf(blob->content);
      break;
    }
    default: text += "vt " + std::to_string(V_VT(&out.result));
  }
  return text;
}

// The RSA keys of the Python reference (512-bit modulus: the sweep stays fast).
struct RsaKeys {
  Bytes publicKey, privateKey, otherPublic, otherPrivate;
};
const RsaKeys& Keys() {
  static const RsaKeys keys = [] {
    std::vector<const orvo::test::VecRecord*> small;
    static const auto records = orvo::test::ReadVecFile("rsa/rsa_keys.vec");
    for (const auto& r : records)
      if (r.section == "KeyGen" && r.Has("Requested") && r.Number("Requested") == 64) small.push_back(&r);
    RsaKeys k;
    if (small.size() < 2) {
      ADD_FAILURE() << "two 512-bit keys expected in rsa_keys.vec";
      return k;
    }
    k = {small[0]->Bytes("Public"), small[0]->Bytes("Private"), small[1]->Bytes("Public"), small[1]->Bytes("Private")};
    return k;
  }();
  return keys;
}

// An object of one class with its state set up and the Blobs its members take.
class Scene {
 public:
  Scene(Kind kind, const CLSID& clsid) : kind_(kind) {
    object = CreateObject(clsid);
    if (object == nullptr) return;
    data = Blob(Bytes(37, 0x3C));
    switch (kind) {
      case Kind::kSymmetric: {
        seed = Blob(Hex("616c706861"));
        ciphertext = Blob(Bytes(48, 0xA5));
        EXPECT_EQ(S_OK, CallStatement(object, "KeyGen", {Disp(seed), I4(16)}).hr);
        EXPECT_EQ(S_OK, PutProperty(object, "Mode", I4(2)).hr);
        EXPECT_EQ(S_OK, PutProperty(object, "Filler", I4(0x5A)).hr);
        Outcome first = CallMethod(object, "Encrypt", {Disp(Blob(Bytes(17, 0x11)))});  // the chain moves on
        EXPECT_EQ(S_OK, first.hr);
        IDispatch* other = CreateObject(clsid);
        if (other == nullptr) return;
        EXPECT_EQ(S_OK, CallStatement(other, "KeyGen", {Disp(Blob(Hex("62657461"))), I4(32)}).hr);
        Outcome key = GetProperty(other, "Key");
        otherKey = Blob(key.BlobBytes());
        other->Release();
        break;
      }
      case Kind::kRSA: {
        const RsaKeys& k = Keys();
        EXPECT_EQ(S_OK, PutRefProperty(object, "PublicKey", Disp(Blob(k.publicKey))).hr);
        EXPECT_EQ(S_OK, PutRefProperty(object, "PrivateKey", Disp(Blob(k.privateKey))).hr);
        seed = Blob(Hex("616c706861"));
        secondSeed = Blob(Hex("62657461"));
        otherKey = Blob(k.otherPublic);
        otherPrivate = Blob(k.otherPrivate);
        ciphertext = Blob(CallMethod(object, "Encrypt", {Disp(data)}).BlobBytes(), false);  // random: not state
        signature = Blob(CallMethod(object, "Sign", {Disp(data)}).BlobBytes());
        break;
      }
      case Kind::kMisc: {
        target = Blob(Hex("000102030405060708090a0b"));
        EXPECT_EQ(S_OK, CallStatement(object, "InsertBlobToBlob", {Disp(target), I4(4), Disp(data)}).hr);
        break;
      }
    }
  }
  ~Scene() {
    if (object != nullptr) object->Release();
    for (TestBlob* blob : blobs_) blob->Release();
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // The object's observable state and the bytes of every Blob it was given.
  std::string State() {
    std::string state;
    switch (kind_) {
      case Kind::kSymmetric:
        state = "key " + Render(GetProperty(object, "Key"), false) + " mode " +
                Render(GetProperty(object, "Mode"), false) + " filler " + Render(GetProperty(object, "Filler"), false);
        break;
      case Kind::kRSA:
        state = "public " + Render(GetProperty(object, "PublicKey"), false) + " private " +
                Render(GetProperty(object, "PrivateKey"), false);
        break;
      case Kind::kMisc: break;
    }
    for (const TestBlob* blob : stateBlobs_) state += " | " + BytesOf(blob->content);
    return state;
  }
  // What the next calls see of the state the properties do not show: the
  // chaining register (symmetric), the label hash of SetIV (RSA).
  std::string Probe() {
    switch (kind_) {
      case Kind::kSymmetric: return Render(CallMethod(object, "Encrypt", {Disp(Blob(Bytes(16, 0x77)))}), false);
      case Kind::kRSA: return Render(CallMethod(object, "Decrypt", {Disp(ciphertext)}), false);
      case Kind::kMisc: return "";
    }
    return "";
  }
  // Blobs given to the object: none left locked or with a reference of the object's.
  void ExpectBlobsReleased() const {
    for (const TestBlob* blob : blobs_) {
      EXPECT_EQ(0, blob->lockDepth) << blob->name << " left locked";
      EXPECT_EQ(1u, blob->refs) << blob->name << ": references not released";
    }
  }

  IDispatch* object = nullptr;
  TestBlob* data = nullptr;
  TestBlob* seed = nullptr;
  TestBlob* secondSeed = nullptr;
  TestBlob* ciphertext = nullptr;
  TestBlob* signature = nullptr;
  TestBlob* otherKey = nullptr;
  TestBlob* otherPrivate = nullptr;
  TestBlob* target = nullptr;

 private:
  TestBlob* Blob(const Bytes& bytes, bool state = true) {
    blobs_.push_back(new TestBlob("B" + std::to_string(blobs_.size() + 1), bytes));
    if (state) stateBlobs_.push_back(blobs_.back());
    return blobs_.back();
  }

  Kind kind_;
  std::vector<TestBlob*> blobs_;
  std::vector<const TestBlob*> stateBlobs_;  // those whose bytes are the same in every run
};

struct MemberCall {
  const char* name;
  std::function<Outcome(Scene&)> call;
  bool randomValue = false;  // only the size of the result is the same every run
  bool keepsState = true;    // a failed call leaves the object's state as it was
};

// What a run without failures gives.
struct Reference {
  std::string result, after, probe;
  HRESULT hr = S_OK;
  SCODE scode = 0;
};

struct ClassUnderTest {
  const char* name;
  const CLSID* clsid;
  Kind kind;
};

std::vector<MemberCall> CallsOf(Kind kind) {
  switch (kind) {
    case Kind::kSymmetric:
      return {
          {"KeyGen", [](Scene& s) { return CallStatement(s.object, "KeyGen", {Disp(s.seed), I4(24)}); }},
          {"Key get", [](Scene& s) { return GetProperty(s.object, "Key"); }},
          {"Key put", [](Scene& s) { return PutRefProperty(s.object, "Key", Disp(s.otherKey)); }},
          {"Encrypt", [](Scene& s) { return CallMethod(s.object, "Encrypt", {Disp(s.data)}); }},
          {"Decrypt", [](Scene& s) { return CallMethod(s.object, "Decrypt", {Disp(s.ciphertext)}); }},
          {"Mode get", [](Scene& s) { return GetProperty(s.object, "Mode"); }},
          {"Mode put", [](Scene& s) { return PutProperty(s.object, "Mode", I4(1)); }},
          {"Filler get", [](Scene& s) { return GetProperty(s.object, "Filler"); }},
          {"Filler put", [](Scene& s) { return PutProperty(s.object, "Filler", Str(L"7")); }},
      };
    case Kind::kRSA:
      return {
          {"SetIV", [](Scene& s) { return CallStatement(s.object, "SetIV", {Disp(s.seed)}); }},
          {"KeyGen",
           [](Scene& s) { return CallStatement(s.object, "KeyGen", {Disp(s.seed), Disp(s.secondSeed), I4(64)}); },
           false},
          {"PublicKey get", [](Scene& s) { return GetProperty(s.object, "PublicKey"); }},
          {"PublicKey put", [](Scene& s) { return PutRefProperty(s.object, "PublicKey", Disp(s.otherKey)); }},
          {"PrivateKey get", [](Scene& s) { return GetProperty(s.object, "PrivateKey"); }},
          {"PrivateKey put", [](Scene& s) { return PutRefProperty(s.object, "PrivateKey", Disp(s.otherPrivate)); }},
          {"Encrypt", [](Scene& s) { return CallMethod(s.object, "Encrypt", {Disp(s.data)}); }, true},
          {"Decrypt", [](Scene& s) { return CallMethod(s.object, "Decrypt", {Disp(s.ciphertext)}); }},
          {"Sign", [](Scene& s) { return CallMethod(s.object, "Sign", {Disp(s.data)}); }},
          {"Verify", [](Scene& s) { return CallMethod(s.object, "Verify", {Disp(s.data), Disp(s.signature)}); }},
      };
    case Kind::kMisc:
      return {
          {"MD5", [](Scene& s) { return CallMethod(s.object, "MD5", {Disp(s.data)}); }},
          {"SHA1", [](Scene& s) { return CallMethod(s.object, "SHA1", {Disp(s.data)}); }},
          {"Random", [](Scene& s) { return CallMethod(s.object, "Random", {I4(40)}); }, true},
          {"CRC32", [](Scene& s) { return CallMethod(s.object, "CRC32", {Disp(s.data)}); }},
          {"InsertLongToBlob",
           [](Scene& s) { return CallStatement(s.object, "InsertLongToBlob", {Disp(s.target), I4(2), I4(0x01020304)}); }},
          {"ExtractLongFromBlob",
           [](Scene& s) { return CallMethod(s.object, "ExtractLongFromBlob", {Disp(s.target), I4(0)}); }},
          {"InsertBlobToBlob",
           [](Scene& s) { return CallStatement(s.object, "InsertBlobToBlob", {Disp(s.target), I4(1), Disp(s.data)}); }},
          {"ExtractBlobFromBlob",
           [](Scene& s) { return CallMethod(s.object, "ExtractBlobFromBlob", {Disp(s.target), I4(4)}); }},
      };
  }
  return {};
}

class MemberSweep : public ObjectsTest, public ::testing::WithParamInterface<ClassUnderTest> {
 protected:
  Reference Record(const MemberCall& member) {
    const ClassUnderTest& c = GetParam();
    Scene scene(c.kind, *c.clsid);
    Reference ref;
    Outcome out = member.call(scene);
    ref.result = Render(out, member.randomValue);
    ref.hr = out.hr;
    ref.scode = out.excep.scode;
    ref.after = scene.State();
    ref.probe = scene.Probe();
    return ref;
  }

  // One run with allocation n failing; returns whether that failure happened.
  bool Attempt(const MemberCall& member, long n, const Reference& ref) {
    const ClassUnderTest& c = GetParam();
    sweep::DropErrorInfo();
    const long blocks = sweep::LiveBlocks();
    const int blobs = Ledger().live;
    bool planted;
    {
      Scene scene(c.kind, *c.clsid);
      const std::string before = scene.State();
      sweep::PlantInNextInvoke(n);
      Outcome out = member.call(scene);
      planted = sweep::Harvest();
      const std::string result = Render(out, member.randomValue);
      const bool exhausted = sweep::IsOutOfMemory(out.hr, out.excep.scode);
      const bool sameFailure = sweep::IsSameFailure(out.hr, out.excep.scode, ref.hr, ref.scode);
      out.Reset();
      scene.ExpectBlobsReleased();
      if (exhausted) {
        if (member.keepsState) {
          EXPECT_EQ(before, scene.State()) << "state changed by a failed " << member.name;
        }
        EXPECT_EQ(ref.result, Render(member.call(scene), member.randomValue)) << "the call repeated";
      } else if (!sameFailure) {
        EXPECT_EQ(ref.result, result) << "neither E_OUTOFMEMORY nor the result of a run without failures";
      }
      EXPECT_EQ(ref.after, scene.State());
      EXPECT_EQ(ref.probe, scene.Probe());
      scene.ExpectBlobsReleased();
    }
    sweep::DropErrorInfo();
    EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
    EXPECT_EQ(blobs, Ledger().live) << "Blobs left alive";
    EXPECT_TRUE(Ledger().violations.empty()) << ::testing::PrintToString(Ledger().violations);
    Ledger().violations.clear();
    return planted;
  }
};

TEST_P(MemberSweep, EveryMemberSurvivesEachAllocationFailing) {
  Ledger().record = false;
  for (const MemberCall& member : CallsOf(GetParam().kind)) {
    const Reference ref = Record(member);
    Attempt(member, 0, ref);  // warms lazily made state, so that it is not taken for a leak
    sweep::Sweep(std::string(GetParam().name) + "." + member.name,
                 [&](long n) { return Attempt(member, n, ref); });
  }
}

INSTANTIATE_TEST_SUITE_P(Classes, MemberSweep,
                         ::testing::Values(ClassUnderTest{"AES", &CLSID_CryptoAES, Kind::kSymmetric},
                                           ClassUnderTest{"Twofish", &CLSID_CryptoTwofish, Kind::kSymmetric},
                                           ClassUnderTest{"Blowfish", &CLSID_CryptoBlowfish, Kind::kSymmetric},
                                           ClassUnderTest{"RSA", &CLSID_CryptoRSA, Kind::kRSA},
                                           ClassUnderTest{"Misc", &CLSID_CryptoMisc, Kind::kMisc}),
                         [](const ::testing::TestParamInfo<ClassUnderTest>& p) { return p.param.name; });

}  // namespace
