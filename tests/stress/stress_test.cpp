// The scripting objects under load, driven through IDispatch as script hosts
// drive them.
//
// ManyThreadsAtOnce: several threads, each in its own apartment with objects
// of its own and real Blobs, call every member of every class, while the
// process-wide pieces (the class objects, the lock count, the name lookups,
// the per-thread error information) are used from all threads together. Run
// under ThreadSanitizer (preset tsan) this is the race check.
//
// LongRunKeepsTheBalance: one thread, many calls per class against the
// instrumented test Blob; every Lock is paired with an Unlock, every
// reference is released, the module can unload, and resident memory does not
// grow grossly. ORVO_STRESS_CALLS raises the number of calls per class.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "objects/object_map.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/blob_loader/blob_component.h"
#include "xatlcom/module.h"

namespace orvotest {
namespace {

const CLSID* const kClasses[] = {&CLSID_CryptoAES, &CLSID_CryptoTwofish, &CLSID_CryptoBlowfish, &CLSID_CryptoRSA,
                                 &CLSID_CryptoMisc};
const CLSID* const kCiphers[] = {&CLSID_CryptoAES, &CLSID_CryptoTwofish, &CLSID_CryptoBlowfish};

// Where a Blob comes from: the real Blob component or the instrumented test Blob.
using BlobMaker = IDispatch* (*)(const Bytes& bytes);

IDispatch* RealBlob(const Bytes& bytes) {
  IDispatch* blob = nullptr;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_OrvoBlob, nullptr, 7, IID_IDispatch, reinterpret_cast<void**>(&blob)));
  if (blob == nullptr) return nullptr;
  const std::string hex = HexOf(bytes);
  const std::wstring wide(hex.begin(), hex.end());
  EXPECT_EQ(S_OK, PutProperty(blob, "Hex", Str(wide.c_str())).hr);
  return blob;
}

IDispatch* InstrumentedBlob(const Bytes& bytes) { return (new TestBlob("S", bytes))->AsDispatch(); }

// A set of objects of every class, owned by one thread, and the calls that
// exercise every member once (OnStartPage/OnEndPage need a page context and
// are left to the host tests).
class Workload {
 public:
  explicit Workload(BlobMaker make) : make_(make) {
    for (const CLSID* clsid : kCiphers) ciphers_.push_back(CreateObject(*clsid));
    rsa_ = CreateObject(CLSID_CryptoRSA);
    misc_ = CreateObject(CLSID_CryptoMisc);
    // Key generation for RSA is slow; once per workload.
    Held a = Blob(Hex("616C706861")), b = Blob(Hex("62657461"));
    EXPECT_EQ(S_OK, CallStatement(rsa_, "KeyGen", {Disp(a.p), Disp(b.p), I4(64)}).hr);
  }
  ~Workload() {
    for (IDispatch* object : ciphers_) object->Release();
    rsa_->Release();
    misc_->Release();
  }
  Workload(const Workload&) = delete;
  Workload& operator=(const Workload&) = delete;

  // Every member of one cipher object; returns the number of calls.
  int Cipher(size_t which) {
    IDispatch* c = ciphers_[which % ciphers_.size()];
    int calls = 0;
    Held seed = Blob(Hex("73656564"));
    Check(CallStatement(c, "KeyGen", {Disp(seed.p), I4(16)}), "KeyGen", calls);
    Outcome key = GetProperty(c, "Key");
    Check(key, "Key get", calls);
    Check(PutRefProperty(c, "Key", key.result), "Key put", calls);
    Check(PutProperty(c, "Mode", I2(2)), "Mode put", calls);
    Check(GetProperty(c, "Mode"), "Mode get", calls);
    Check(PutProperty(c, "Filler", I2(0x41)), "Filler put", calls);
    Check(GetProperty(c, "Filler"), "Filler get", calls);
    Held plain = Blob(Hex("00112233445566778899aabbccddeeff0102"));
    Outcome sealed = CallMethod(c, "Encrypt", {Disp(plain.p)});
    Check(sealed, "Encrypt", calls);
    Check(CallMethod(c, "Decrypt", {sealed.result}), "Decrypt", calls);
    return calls;
  }

  int Rsa() {
    int calls = 0;
    Held iv = Blob(Hex("6c6162656c"));
    Check(CallStatement(rsa_, "SetIV", {Disp(iv.p)}), "SetIV", calls);
    Outcome pub = GetProperty(rsa_, "PublicKey");
    Check(pub, "PublicKey get", calls);
    Outcome priv = GetProperty(rsa_, "PrivateKey");
    Check(priv, "PrivateKey get", calls);
    Check(PutRefProperty(rsa_, "PublicKey", pub.result), "PublicKey put", calls);
    Check(PutRefProperty(rsa_, "PrivateKey", priv.result), "PrivateKey put", calls);
    Held data = Blob(Hex("616263"));
    Outcome sealed = CallMethod(rsa_, "Encrypt", {Disp(data.p)});
    Check(sealed, "Encrypt", calls);
    Check(CallMethod(rsa_, "Decrypt", {sealed.result}), "Decrypt", calls);
    Outcome signature = CallMethod(rsa_, "Sign", {Disp(data.p)});
    Check(signature, "Sign", calls);
    Outcome verify = CallMethod(rsa_, "Verify", {Disp(data.p), signature.result});
    Check(verify, "Verify", calls);
    EXPECT_NE(0, verify.Long());
    return calls;
  }

  int Misc() {
    int calls = 0;
    Held data = Blob(Hex("0a0b0c0d0e0f"));
    Check(CallMethod(misc_, "MD5", {Disp(data.p)}), "MD5", calls);
    Check(CallMethod(misc_, "SHA1", {Disp(data.p)}), "SHA1", calls);
    Check(CallMethod(misc_, "Random", {I4(16)}), "Random", calls);
    Check(CallMethod(misc_, "CRC32", {Disp(data.p)}), "CRC32", calls);
    Check(CallStatement(misc_, "InsertLongToBlob", {Disp(data.p), I4(2), I4(0x01020304)}), "InsertLongToBlob", calls);
    Check(CallMethod(misc_, "ExtractLongFromBlob", {Disp(data.p), I4(2)}), "ExtractLongFromBlob", calls);
    Check(CallStatement(misc_, "InsertBlobToBlob", {Disp(data.p), I4(0), Disp(data.p)}), "InsertBlobToBlob", calls);
    Check(CallMethod(misc_, "ExtractBlobFromBlob", {Disp(data.p), I4(0)}), "ExtractBlobFromBlob", calls);
    return calls;
  }

  // Failing calls: each sets this thread's error information, which the
  // dispatch layer consumes into the EXCEPINFO of that same call.
  int Failures() {
    IDispatch* fresh = CreateObject(CLSID_CryptoRSA);
    const Outcome sign = CallMethod(fresh, "Sign", {Disp(nullptr)});
    EXPECT_EQ(DISP_E_EXCEPTION, sign.hr);
    const Outcome random = CallMethod(misc_, "Random", {I4(-1)});
    EXPECT_EQ(DISP_E_EXCEPTION, random.hr);
    EXPECT_EQ(E_OUTOFMEMORY, random.excep.scode);
    EXPECT_EQ("", random.Description()) << "error information leaked from an earlier failure";
    fresh->Release();
    return 2;
  }

 private:
  // One reference to a Blob, released at the end of the scope.
  struct Held {
    IDispatch* p = nullptr;
    explicit Held(IDispatch* blob) : p(blob) {}
    ~Held() {
      if (p != nullptr) p->Release();
    }
    Held(Held&& other) noexcept : p(other.p) { other.p = nullptr; }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
  };
  Held Blob(const Bytes& bytes) { return Held(make_(bytes)); }
  static void Check(const Outcome& out, const char* what, int& calls) {
    ++calls;
    EXPECT_EQ(S_OK, out.hr) << what << ": " << out.Description();
  }

  BlobMaker make_;
  std::vector<IDispatch*> ciphers_;
  IDispatch* rsa_ = nullptr;
  IDispatch* misc_ = nullptr;
};

const char* const kNames[] = {"KeyGen", "Key", "Encrypt", "Decrypt", "Mode", "Filler", "PublicKey", "Sign", "MD5"};

// The process-wide pieces, from every thread: the class objects, the lock
// count through CreateInstance/Release, and the name lookups.
int ProcessWide() {
  int calls = 0;
  for (const CLSID* clsid : kClasses) {
    IDispatch* object = CreateObject(*clsid);
    ++calls;
    if (object == nullptr) continue;
    for (const char* name : kNames) {
      std::wstring wide(name, name + std::char_traits<char>::length(name));
      LPOLESTR names[] = {&wide[0]};
      DISPID id = 0;
      const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
      EXPECT_TRUE(hr == S_OK || hr == DISP_E_UNKNOWNNAME);
      ++calls;
    }
    object->Release();
  }
  return calls;
}

long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  return std::strtol(value, nullptr, 10);
}

TEST(StressTest, ManyThreadsAtOnce) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  orvo::test::BlobComponent blobs;
  ASSERT_EQ(S_OK, blobs.Start());
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());

  const int threads = static_cast<int>(Setting("ORVO_STRESS_THREADS", 6));
  const int rounds = static_cast<int>(Setting("ORVO_STRESS_ROUNDS", 100));
  std::vector<long> calls(static_cast<size_t>(threads), 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([t, rounds, &calls] {
      if (!SUCCEEDED(CoInitialize(nullptr))) {
        ADD_FAILURE() << "CoInitialize on thread " << t;
        return;
      }
      {
        Workload work(&RealBlob);
        long n = 0;
        for (int r = 0; r < rounds; ++r) {
          n += work.Cipher(static_cast<size_t>(r + t));
          n += work.Rsa();
          n += work.Misc();
          n += work.Failures();
          n += ProcessWide();
        }
        calls[static_cast<size_t>(t)] = n;
      }
      CoUninitialize();
    });
  }
  for (std::thread& thread : pool) thread.join();
  long total = 0;
  for (long n : calls) total += n;
  std::printf("stress: %d threads, %d rounds, %ld calls in all\n", threads, rounds, total);

  EXPECT_EQ(S_OK, DllCanUnloadNow());
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
  blobs.Stop();
  EXPECT_EQ(S_OK, orvo::test::BlobComponent::CanUnloadNow());
  CoUninitialize();
}

// Resident memory in bytes from /proc/self/statm, or -1 where there is none.
long long ResidentBytes() {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return -1;
  long long size = 0, resident = 0;
  const int read = std::fscanf(file, "%lld %lld", &size, &resident);
  std::fclose(file);
  return read == 2 ? resident * 4096 : -1;
}

class LongRunTest : public ObjectsTest {};

TEST_F(LongRunTest, LongRunKeepsTheBalance) {
  const long perClass = Setting("ORVO_STRESS_CALLS", 20000);
  Workload work(&InstrumentedBlob);
  // Warm up (first-use allocations), then measure.
  work.Cipher(0);
  work.Rsa();
  work.Misc();
  Ledger().events.clear();
  const long long before = ResidentBytes();

  long cipherCalls = 0, rsaCalls = 0, miscCalls = 0, failureCalls = 0;
  for (size_t i = 0; cipherCalls < 3 * perClass; ++i) {
    cipherCalls += work.Cipher(i);
    if (i % 64 == 0) Ledger().events.clear();
  }
  while (rsaCalls < perClass) {
    rsaCalls += work.Rsa();
    Ledger().events.clear();
  }
  while (miscCalls < perClass) {
    miscCalls += work.Misc();
    failureCalls += work.Failures();
    Ledger().events.clear();
  }
  const long long after = ResidentBytes();
  std::printf("long run: %ld cipher calls (3 classes), %ld RSA, %ld Misc, %ld failing\n", cipherCalls, rsaCalls,
              miscCalls, failureCalls);
  if (before >= 0 && after >= 0) {
    std::printf("resident memory: %.1f MiB before, %.1f MiB after\n", before / 1048576.0, after / 1048576.0);
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer's quarantine holds freed memory: no measure of leaks
    EXPECT_LT(after - before, 64ll << 20) << "resident memory grew grossly: a leak per call";
#endif
  } else {
    std::printf("resident memory: not measured here\n");
  }
  EXPECT_EQ(0, Ledger().live) << "every Blob the run made is released";
  EXPECT_TRUE(Ledger().violations.empty()) << ::testing::PrintToString(Ledger().violations);
}

}  // namespace
}  // namespace orvotest
