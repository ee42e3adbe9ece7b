// Creation of the scripting objects with each allocation failing in turn:
// DllGetClassObject with an empty class-object cache, the class object's
// CreateInstance in plain and aggregated form, and self-registration. A
// failure gives E_OUTOFMEMORY with a null interface pointer, the lock count
// and the outer object's references as they were, and no block leaked.
#include <gtest/gtest.h>

#include <string>

#include "objects/object_map.h"
#include "tests/objects/object_test_support.h"
#include "tests/sweep/sweep.h"
#include "xatlcom/module.h"

namespace {

using orvotest::ObjectsTest;

// A controlling object for aggregation: counts its references, has no interfaces of its own.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

struct CreatableClass {
  const char* name;
  const CLSID* clsid;
};
const CreatableClass kClasses[] = {{"AES", &CLSID_CryptoAES},
                                   {"Twofish", &CLSID_CryptoTwofish},
                                   {"Blowfish", &CLSID_CryptoBlowfish},
                                   {"RSA", &CLSID_CryptoRSA},
                                   {"Misc", &CLSID_CryptoMisc}};

// The module as at process attach: no class object cached.
void Reattach() {
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
}

// Checks one creation's outcome: an interface on success; on a failure,
// E_OUTOFMEMORY and a null pointer. Releases what was made.
template <class Interface>
void ExpectCreated(bool planted, HRESULT hr, Interface*& made) {
  if (FAILED(hr)) {
    EXPECT_TRUE(planted) << "failed with nothing planted";
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(nullptr, made);
  } else {
    EXPECT_NE(nullptr, made);
  }
  if (made != nullptr) made->Release();
  made = nullptr;
}

using CreationSweep = ObjectsTest;

TEST_F(CreationSweep, DllGetClassObjectWithAnEmptyCache) {
  for (const CreatableClass& c : kClasses) {
    sweep::Sweep(std::string("DllGetClassObject ") + c.name, [&](long n) {
      Reattach();
      sweep::DropErrorInfo();
      const long blocks = sweep::LiveBlocks();
      IClassFactory* factory = nullptr;
      sweep::FailAllocation(n);
      const HRESULT hr = DllGetClassObject(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      const bool planted = sweep::FailAllocation(0);
      ExpectCreated(planted, hr, factory);
      EXPECT_EQ(0, orvo::ModuleLockCount());
      EXPECT_EQ(S_OK, DllGetClassObject(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))
          << "the next request";
      ExpectCreated(false, S_OK, factory);
      orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, orvo::OrvoCryptoObjectMap());
      EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
      orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, orvo::OrvoCryptoObjectMap());
      return planted;
    });
  }
}

TEST_F(CreationSweep, CreateInstancePlainAndAggregated) {
  for (const CreatableClass& c : kClasses) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    const LONG locks = orvo::ModuleLockCount();
    for (bool aggregated : {false, true}) {
      Outer outer;
      IUnknown* made = nullptr;
      auto create = [&] {
        return factory->CreateInstance(aggregated ? &outer : nullptr, aggregated ? IID_IUnknown : IID_IDispatch,
                                       reinterpret_cast<void**>(&made));
      };
      ExpectCreated(false, create(), made);  // warms lazily made state
      sweep::Sweep(std::string("CreateInstance ") + c.name + (aggregated ? " aggregated" : ""), [&](long n) {
        sweep::DropErrorInfo();
        const long blocks = sweep::LiveBlocks();
        sweep::FailAllocation(n);
        const HRESULT hr = create();
        const bool planted = sweep::FailAllocation(0);
        if (FAILED(hr)) {
          EXPECT_EQ(locks, orvo::ModuleLockCount()) << "lock count after a failed creation";
        }
        ExpectCreated(planted, hr, made);
        EXPECT_EQ(locks, orvo::ModuleLockCount());
        EXPECT_EQ(1u, outer.refs) << "the outer object's references";
        EXPECT_EQ(S_OK, create()) << "the next creation";
        ExpectCreated(false, S_OK, made);
        sweep::DropErrorInfo();
        EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
        return planted;
      });
    }
    factory->Release();
  }
}

// Registration reports E_OUTOFMEMORY or succeeds; either way the next
// registration writes every key, and unregistration then leaves nothing.
TEST_F(CreationSweep, RegistrationAndUnregistration) {
  for (bool registering : {true, false}) {
    sweep::Sweep(registering ? "DllRegisterServer" : "DllUnregisterServer", [&](long n) {
      EXPECT_EQ(S_OK, DllUnregisterServer());
      sweep::DropErrorInfo();
      const long blocks = sweep::LiveBlocks();
      if (!registering) {
        EXPECT_EQ(S_OK, DllRegisterServer());
      }
      sweep::FailAllocation(n);
      const HRESULT hr = registering ? DllRegisterServer() : DllUnregisterServer();
      const bool planted = sweep::FailAllocation(0);
      if (registering) {
        EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY)) << std::hex << hr;
      } else {
        EXPECT_EQ(S_OK, hr);
      }
      EXPECT_EQ(S_OK, DllRegisterServer()) << "the next registration";
      CLSID found{};
      EXPECT_EQ(S_OK, CLSIDFromProgID(L"Quelvar.OrvoCryptoRSA", &found));
      EXPECT_TRUE(IsEqualCLSID(CLSID_CryptoRSA, found));
      EXPECT_EQ(S_OK, DllUnregisterServer());
      EXPECT_EQ(blocks, sweep::LiveBlocks()) << "blocks leaked";
      EXPECT_EQ(S_OK, DllRegisterServer());
      return planted;
    });
  }
}

}  // namespace
