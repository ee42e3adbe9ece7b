// Test support: the Blob component inside a test program. Loads the Blob
// component's module (liborvoblob.so with dlopen natively, orvoblob.dll with
// LoadLibrary on Windows) and registers its class object for the process with
// CoRegisterClassObject, so that CoCreateInstance(CLSID_OrvoBlob, nullptr, 7,
// IID_IOrvoBlob, ...) creates real Blobs, natively and under Wine alike.
//
//   CoInitialize(nullptr);
//   orvo::test::BlobComponent blobs;
//   ASSERT_EQ(S_OK, blobs.Start());
//   ... CoCreateInstance(CLSID_OrvoBlob, nullptr, 7, IID_IOrvoBlob, &p) ...
//   blobs.Stop();          // also done by the destructor
//   CoUninitialize();
//
// Start on the thread (apartment) that creates the Blobs, after CoInitialize:
// COM keeps class-object registrations per apartment. While registered, the
// Blob module's class object is referenced from outside, so its
// DllCanUnloadNow answers S_FALSE; the module itself stays loaded for the rest
// of the process. Link the target orvoblob_loader.
#pragma once

#include <string>

#include "xatlcom/platform.h"

namespace orvo::test {

class BlobComponent {
 public:
  BlobComponent() = default;
  ~BlobComponent() { Stop(); }
  BlobComponent(const BlobComponent&) = delete;
  BlobComponent& operator=(const BlobComponent&) = delete;

  // Loads the module (once per process) and registers its class object.
  // Returns the first failure: E_FAIL when the module or an export cannot be
  // found, else the code of DllGetClassObject or CoRegisterClassObject.
  HRESULT Start();
  // Revokes the registration; nothing when not started.
  void Stop();

  // The module's own exports (the module is loaded on first use).
  static HRESULT CanUnloadNow();
  static HRESULT RegisterServer();
  static HRESULT UnregisterServer();
  static HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
  // The module's file name as GetModuleFileNameA gives it (what registration
  // writes under InprocServer32).
  static std::string ModuleFileName();

 private:
  DWORD cookie_ = 0;
};

// The module's export `name`, or null. Chosen per platform.
void* BlobModuleExport(const char* name);
// The module's handle for GetModuleFileNameA. Chosen per platform.
HMODULE BlobModuleHandle();

}  // namespace orvo::test
