// The Blob component, loaded as its own module, with each allocation failing
// in turn: every scripting member, creation through its class object and its
// self-registration. At each failure: E_OUTOFMEMORY, the bytes as before, no
// lock left held, the references as before, no block leaked; the member then
// works when repeated.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "orvoblob/orvo_blob.h"
#include "tests/orvoblob/blob_test_support.h"
#include "tests/support/vec_file.h"
#include "tests/sweep/sweep.h"

namespace {

using namespace blobtest;

std::string Render(const Outcome& out) {
  std::string text = "hr " + std::to_string(out.hr) + " scode " + std::to_string(out.excep.scode) + " \"" +
                     Narrow(out.excep.bstrDescription) + "\" ";
  switch (V_VT(&out.result)) {
    case VT_EMPTY: break;
    case VT_I4: text += "long " + std::to_string(V_I4(&out.result)); break;
    case VT_BSTR: text += "text " + orvo::test::ToHexText(reinterpret_cast<const uint8_t*>(V_BSTR(&out.result)),
                                                           SysStringLen(V_BSTR(&out.result)) * sizeof(OLECHAR));
      break;
    case VT_ARRAY | VT_UI1: {
      const std::vector<uint8_t> bytes = BytesOf(V_ARRAY(&out.result));
      text += "bytes " + orvo::test::ToHexText(bytes.data(), bytes.size());
      break;
    }
    default: text += "vt " + std::to_string(V_VT(&out.result));
  }
  return text;
}

struct BlobCall {
  const char* name;
  std::function<void(IDispatch*, const std::string& file, Outcome&)> call;
};

const std::vector<BlobCall>& Calls() {
  static const std::vector<BlobCall> calls = {
      {"Hex get", [](IDispatch* b, const std::string&, Outcome& out) { Get(b, kBlobHex, out); }},
      {"Hex put", [](IDispatch* b, const std::string&, Outcome& out) { Put(b, kBlobHex, Str(L"0a0b0c0d0e0f"), out); }},
      {"Base64 get", [](IDispatch* b, const std::string&, Outcome& out) { Get(b, kBlobBase64, out); }},
      {"Base64 put", [](IDispatch* b, const std::string&, Outcome& out) { Put(b, kBlobBase64, Str(L"AQIDBAUG"), out); }},
      {"Text get", [](IDispatch* b, const std::string&, Outcome& out) { Get(b, kBlobText, out); }},
      {"Text put", [](IDispatch* b, const std::string&, Outcome& out) { Put(b, kBlobText, Str(L"caf\u00e9 \u20ac"), out); }},
      {"Size get", [](IDispatch* b, const std::string&, Outcome& out) { Get(b, kBlobSize, out); }},
      {"Bytes get", [](IDispatch* b, const std::string&, Outcome& out) { Get(b, kBlobBytes, out); }},
      {"Bytes put",
       [](IDispatch* b, const std::string&, Outcome& out) { Put(b, kBlobBytes, Array(ByteArray({1, 2, 3, 250})), out); }},
      {"Clear",
       [](IDispatch* b, const std::string&, Outcome& out) { Call(b, kBlobClear, DISPATCH_METHOD, {}, false, false, out); }},
      {"LoadFromFile",
       [](IDispatch* b, const std::string& file, Outcome& out) {
         Call(b, kBlobLoadFromFile, DISPATCH_METHOD, {Str(std::wstring(file.begin(), file.end()) + L".in")}, false,
              false, out);
       }},
      {"SaveToFile",
       [](IDispatch* b, const std::string& file, Outcome& out) {
         Call(b, kBlobSaveToFile, DISPATCH_METHOD, {Str(std::wstring(file.begin(), file.end()) + L".out")}, false,
              false, out);
       }},
  };
  return calls;
}

class BlobSweep : public BlobFixture {
 protected:
  void SetUp() override {
    BlobFixture::SetUp();
    file_ = ::testing::TempDir() + "sweep_blob";
    std::FILE* in = std::fopen((file_ + ".in").c_str(), "wb");
    ASSERT_NE(nullptr, in);
    std::fputs("bytes from a file", in);
    std::fclose(in);
  }
  void TearDown() override {
    std::remove((file_ + ".in").c_str());
    std::remove((file_ + ".out").c_str());
    BlobFixture::TearDown();
  }

  // The run's Blob: made anew with known bytes.
  IDispatch* Fresh() {
    IOrvoBlob* made = NewBlob();
    IDispatch* d = nullptr;
    if (made == nullptr) return nullptr;
    made->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
    made->Release();
    SetHex(d, L"00ff7f8001");
    return d;
  }

  std::string Saved() {
    std::FILE* f = std::fopen((file_ + ".out").c_str(), "rb");
    if (f == nullptr) return "none";
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fclose(f);
    std::remove((file_ + ".out").c_str());
    return text;
  }

  std::string file_;
};

TEST_F(BlobSweep, EveryMemberSurvivesEachAllocationFailing) {
  for (const BlobCall& member : Calls()) {
    std::string refResult, refAfter, refSaved;
    HRESULT refHr;
    SCODE refScode;
    {
      IDispatch* b = Fresh();
      ASSERT_NE(nullptr, b);
      Outcome out;
      member.call(b, file_, out);
      refResult = Render(out);
      refHr = out.hr;
      refScode = out.excep.scode;
      refAfter = HexOf(b);
      refSaved = Saved();
      b->Release();
    }
    auto attempt = [&](long n) {
      sweep::DropErrorInfo();
      const long blocks = sweep::LiveBlocks();
      bool planted;
      {
        IDispatch* b = Fresh();
        if (b == nullptr) return false;
        const std::string before = HexOf(b);
        Outcome out;
        sweep::PlantInNextInvoke(n);
        member.call(b, file_, out);
        planted = sweep::Harvest();
        const std::string result = Render(out);
        const bool exhausted = sweep::IsOutOfMemory(out.hr, out.excep.scode);
        const bool sameFailure = sweep::IsSameFailure(out.hr, out.excep.scode, refHr, refScode);
        out.Reset();
        IOrvoBlob* blobInterface = nullptr;
        EXPECT_EQ(S_OK, b->QueryInterface(IID_IOrvoBlob, reinterpret_cast<void**>(&blobInterface)));
        if (blobInterface != nullptr) {
          EXPECT_EQ(E_UNEXPECTED, blobInterface->Unlock()) << "the Blob was left locked";
          EXPECT_EQ(1u, blobInterface->Release()) << "references";
        }
        if (exhausted) {
          EXPECT_EQ(before, HexOf(b)) << "bytes changed by a failed " << member.name;
          std::remove((file_ + ".out").c_str());
          Outcome again;
          member.call(b, file_, again);
          EXPECT_EQ(refResult, Render(again)) << "the call repeated";
        } else if (!sameFailure) {
          EXPECT_EQ(refResult, result) << "neither E_OUTOFMEMORY nor the result of a run without failures";
        }
        EXPECT_EQ(refAfter, HexOf(b));
        EXPECT_EQ(refSaved, Saved());
        EXPECT_EQ(0u, b->Release());
      }
      sweep::DropErrorInfo();
      EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
      return planted;
    };
    attempt(0);  // warms lazily made state
    sweep::Sweep(std::string("Blob.") + member.name, attempt);
  }
}

TEST_F(BlobSweep, CreationThroughTheClassObject) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, orvo::test::BlobComponent::GetClassObject(CLSID_OrvoBlob, IID_IClassFactory,
                                                           reinterpret_cast<void**>(&factory)));
  IUnknown* made = nullptr;
  auto attempt = [&](long n) {
    sweep::DropErrorInfo();
    const long blocks = sweep::LiveBlocks();
    sweep::FailAllocation(n);
    const HRESULT hr = factory->CreateInstance(nullptr, IID_IOrvoBlob, reinterpret_cast<void**>(&made));
    const bool planted = sweep::FailAllocation(0);
    if (FAILED(hr)) {
      EXPECT_EQ(E_OUTOFMEMORY, hr);
      EXPECT_EQ(nullptr, made);
    }
    if (made != nullptr) {
      EXPECT_EQ(0u, made->Release());
    }
    made = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOrvoBlob, reinterpret_cast<void**>(&made)));
    if (made != nullptr) made->Release();
    made = nullptr;
    sweep::DropErrorInfo();
    EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
    return planted;
  };
  attempt(0);
  sweep::Sweep("Blob CreateInstance", attempt);
  factory->Release();
}

TEST_F(BlobSweep, RegistrationAndUnregistration) {
  using orvo::test::BlobComponent;
  for (bool registering : {true, false}) {
    sweep::Sweep(registering ? "Blob DllRegisterServer" : "Blob DllUnregisterServer", [&](long n) {
      EXPECT_EQ(S_OK, BlobComponent::UnregisterServer());
      sweep::DropErrorInfo();
      const long blocks = sweep::LiveBlocks();
      if (!registering) {
        EXPECT_EQ(S_OK, BlobComponent::RegisterServer());
      }
      sweep::FailAllocation(n);
      const HRESULT hr = registering ? BlobComponent::RegisterServer() : BlobComponent::UnregisterServer();
      const bool planted = sweep::FailAllocation(0);
      if (registering) {
        EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY)) << std::hex << hr;
      } else {
        EXPECT_EQ(S_OK, hr);
      }
      EXPECT_EQ(S_OK, BlobComponent::RegisterServer()) << "the next registration";
      CLSID found{};
      EXPECT_EQ(S_OK, CLSIDFromProgID(L"Quelvar.OrvoBlob", &found));
      EXPECT_TRUE(IsEqualCLSID(CLSID_OrvoBlob, found));
      EXPECT_EQ(S_OK, BlobComponent::UnregisterServer());
      EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
      EXPECT_EQ(S_OK, BlobComponent::RegisterServer());
      return planted;
    });
  }
}

}  // namespace
