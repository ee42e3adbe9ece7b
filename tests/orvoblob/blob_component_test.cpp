// The Blob component as other modules use it: IOrvoBlob's slots, Lock
// re-entrancy, the shared XBlob allocator across modules, interface identity,
// the module's own state, registration keys and unloading.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/xblob.h"
#include "objects/guids.h"
#include "orvoblob/orvo_blob.h"
#include "tests/orvoblob/blob_test_support.h"
#include "xatlcom/module.h"

namespace {

using namespace blobtest;
using orvo::test::BlobComponent;

using BlobComponentTest = BlobFixture;

TEST_F(BlobComponentTest, LockIsReentrantOnOneThread) {
  EXPECT_EQ(S_OK, blob->Lock());
  EXPECT_EQ(S_OK, blob->Lock());  // InsertBlobToBlob locks one Blob twice
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EXPECT_EQ(E_UNEXPECTED, blob->Unlock());  // holds no Lock
    blob->Lock();
    entered = true;
    blob->Unlock();
  });
  EXPECT_EQ(S_OK, blob->Unlock());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered) << "one Unlock undid two Locks";
  EXPECT_EQ(S_OK, blob->Unlock());
  other.join();
  EXPECT_TRUE(entered);
  EXPECT_EQ(E_UNEXPECTED, blob->Unlock());  // more Unlocks than Locks change nothing
  EXPECT_EQ(S_OK, blob->Lock());
  EXPECT_EQ(S_OK, blob->Unlock());
}

// The test program is another module with its own XBlob code: it grows the
// Blob's buffer (freeing the block the component allocated) and the component
// later replaces and frees the block the program allocated.
TEST_F(BlobComponentTest, AnotherModuleGrowsAndFreesTheBlobsBlocks) {
  SetHex(script, L"0102");
  XBlob* buffer = nullptr;
  EXPECT_EQ(E_POINTER, blob->GetBuffer(nullptr));
  ASSERT_EQ(S_OK, blob->Lock());
  ASSERT_EQ(S_OK, blob->GetBuffer(&buffer));
  ASSERT_NE(nullptr, buffer);
  XBlob* again = nullptr;
  blob->GetBuffer(&again);
  EXPECT_EQ(buffer, again);  // the Blob's own XBlob
  EXPECT_EQ(2u, buffer->size);
  const uint8_t* before = buffer->data;
  buffer->Grow(4096);  // a new block from this module, the old one freed here
  EXPECT_NE(before, buffer->data);
  for (int i = 0; i < 4000; ++i) buffer->InsertByte(0xAB, buffer->size);
  blob->Unlock();

  Outcome size;
  Get(script, kBlobSize, size);
  EXPECT_EQ(4002, V_I4(&size.result));
  EXPECT_EQ("0102ABAB", HexOf(script).substr(0, 8));

  ASSERT_EQ(S_OK, blob->Lock());
  buffer->size = 0;  // as the crypto objects store a result
  XBlob result(16);
  result.InsertLong(0xCAFEF00D);
  buffer->Insert(result, 0);
  blob->Unlock();
  EXPECT_EQ("CAFEF00D", HexOf(script));
  // Stored by the component into the block this module allocated, then grown
  // by the component (freeing it) and finally freed with the Blob.
  std::wstring big(2 * 10000, L'7');
  Outcome put;
  Put(script, kBlobHex, Str(big), put);
  EXPECT_EQ(S_OK, put.hr);
  ASSERT_EQ(S_OK, blob->Lock());
  EXPECT_EQ(10000u, buffer->size);
  EXPECT_EQ(0x77, buffer->data[9999]);
  blob->Unlock();
}

TEST_F(BlobComponentTest, InterfacesShareOneIdentity) {
  IUnknown* fromBlob = nullptr;
  IUnknown* fromScript = nullptr;
  ASSERT_EQ(S_OK, blob->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromBlob)));
  ASSERT_EQ(S_OK, script->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromScript)));
  EXPECT_EQ(fromBlob, fromScript);
  IOrvoBlob* back = nullptr;
  ASSERT_EQ(S_OK, script->QueryInterface(IID_IOrvoBlob, reinterpret_cast<void**>(&back)));
  EXPECT_EQ(blob, back);
  IDispatch* dual = nullptr;
  ASSERT_EQ(S_OK, blob->QueryInterface(IID_IOrvoBlobDispatch, reinterpret_cast<void**>(&dual)));
  EXPECT_EQ(static_cast<void*>(script), static_cast<void*>(dual));
  void* none = &none;
  EXPECT_EQ(E_NOINTERFACE, blob->QueryInterface(IID_IClassFactory, &none));
  EXPECT_EQ(nullptr, none);
  dual->Release();
  back->Release();
  fromScript->Release();
  fromBlob->Release();

  IUnknown* outer = fromBlob;  // any object: aggregation asks for IUnknown only
  IDispatch* aggregated = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_OrvoBlob, outer, 7, IID_IDispatch, reinterpret_cast<void**>(&aggregated)));
}

// The program links the frame too, with a module state of its own: the
// component's objects and class object count in the component's module only.
TEST_F(BlobComponentTest, ModuleStateIsTheComponentsOwn) {
  orvo::ObjectMapEntry emptyMap[] = {orvo::ObjectMapEnd()};
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, emptyMap);
  EXPECT_EQ(0, orvo::ModuleLockCount());
  EXPECT_EQ(S_FALSE, BlobComponent::CanUnloadNow());  // the Blob lives
  void* factory = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_OrvoBlob, IID_IClassFactory, &factory));
  orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, emptyMap);
}

TEST_F(BlobComponentTest, CanUnloadOnceEverythingIsReleased) {
  component.Stop();  // the registration holds the class object
  script->Release();
  script = nullptr;
  blob->Release();
  blob = nullptr;
  EXPECT_EQ(S_OK, BlobComponent::CanUnloadNow());

  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, BlobComponent::GetClassObject(CLSID_OrvoBlob, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  EXPECT_EQ(S_FALSE, BlobComponent::CanUnloadNow());
  IDispatch* made = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&made)));
  factory->Release();
  EXPECT_EQ(S_FALSE, BlobComponent::CanUnloadNow());
  SetHex(made, L"00");
  made->Release();
  EXPECT_EQ(S_OK, BlobComponent::CanUnloadNow());
  void* other = &other;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, BlobComponent::GetClassObject(CLSID_CryptoAES, IID_IClassFactory, &other));
  EXPECT_EQ(nullptr, other);
}

std::string DefaultValue(const std::string& key, const char* name = nullptr) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<missing>";
  char value[512];
  DWORD size = sizeof value;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ || size == 0) return "<no value>";
  return std::string(value, size - 1);
}

TEST_F(BlobComponentTest, RegistrationWritesBothProgIdsAndTheApartmentModel) {
  const std::string clsid = "{F1205E14-B7BE-49A4-988A-96BEA79D6E4B}";
  ASSERT_EQ(S_OK, BlobComponent::RegisterServer());  // twice: keys are opened, values overwritten
  EXPECT_EQ(clsid, DefaultValue("Quelvar.OrvoBlob\\CLSID"));
  EXPECT_EQ(clsid, DefaultValue("Quelvar.OrvoBlob.1\\CLSID"));
  const std::string key = "CLSID\\" + clsid;
  EXPECT_EQ("Quelvar.OrvoBlob.1", DefaultValue(key + "\\ProgID"));
  EXPECT_EQ("Quelvar.OrvoBlob", DefaultValue(key + "\\VersionIndependentProgID"));
  EXPECT_EQ(BlobComponent::ModuleFileName(), DefaultValue(key + "\\InprocServer32"));
  EXPECT_EQ("Apartment", DefaultValue(key + "\\InprocServer32", "ThreadingModel"));
  CLSID found = GUID_NULL;
  EXPECT_EQ(S_OK, CLSIDFromProgID(L"Quelvar.OrvoBlob", &found));
  EXPECT_TRUE(IsEqualCLSID(CLSID_OrvoBlob, found));

  EXPECT_EQ(S_OK, BlobComponent::UnregisterServer());
  EXPECT_EQ("<missing>", DefaultValue("Quelvar.OrvoBlob"));
  EXPECT_EQ("<missing>", DefaultValue("Quelvar.OrvoBlob.1"));
  EXPECT_EQ("<missing>", DefaultValue(key));
  ASSERT_EQ(S_OK, BlobComponent::RegisterServer());  // for TearDown
}

}  // namespace
