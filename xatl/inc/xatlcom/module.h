// The in-process server's module state: the instance handle, the object map of
// creatable classes and the lock count that decides when the DLL may unload.
//
// Each DLL that links the frame has its own module state and passes its own
// object map to ModuleDllMain. The exports DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer and DllUnregisterServer come with the frame and work on
// that map.
//
// Invariant: the lock count equals the live scripting objects (plain and
// aggregated), plus the class objects referenced from outside the object map,
// plus the outstanding LockServer(TRUE) calls.
#pragma once

#include "xatlcom/platform.h"

namespace orvo {

// Creates a scripting object (plain with `outer` null, else aggregated).
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);
// Creates a class object for an instance creator.
using ClassObjectCreator = HRESULT (*)(InstanceCreator creator, REFIID riid, void** ppv);
// Registers (true) or unregisters (false) one class.
using RegistrationFunction = HRESULT (*)(BOOL doRegister);

// One creatable class. A map ends with a row whose clsid is null.
struct ObjectMapEntry {
  const CLSID* clsid;
  RegistrationFunction updateRegistry;
  ClassObjectCreator createClassObject;
  InstanceCreator createInstance;
  IUnknown* classObject;  // cached on first request, released at process detach
};

// The entry point's work: at process attach records the instance and the map,
// sets the lock count to 0 and makes the class-object lock; at process detach
// releases the cached class objects and deletes the lock. Returns TRUE.
BOOL ModuleDllMain(HINSTANCE instance, DWORD reason, ObjectMapEntry* objectMap) noexcept;

HINSTANCE ModuleInstance() noexcept;
ObjectMapEntry* ModuleObjectMap() noexcept;

void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
LONG ModuleLockCount() noexcept;

// The class object of the frame (IClassFactory), shared by every row.
HRESULT CreateClassObject(InstanceCreator creator, REFIID riid, void** ppv) noexcept;

// Registration of one class under HKEY_CLASSES_ROOT: both ProgIDs with their
// CLSID, and CLSID\{clsid} with ProgID, VersionIndependentProgID and
// InprocServer32 (this module's path, ThreadingModel "Apartment").
HRESULT RegisterClassKeys(REFCLSID clsid, const char* progId, const char* versionIndependentProgId) noexcept;
// Removes what RegisterClassKeys writes, with every subkey; never fails.
HRESULT UnregisterClassKeys(REFCLSID clsid, const char* progId, const char* versionIndependentProgId) noexcept;
// Deletes `name` under `parent` with all its subkeys; a Win32 error code.
LONG DeleteKeyRecursive(HKEY parent, const char* name) noexcept;

}  // namespace orvo
