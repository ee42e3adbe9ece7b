// The entry point of orvocrypto.dll. The exports DllGetClassObject,
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer come with the COM
// frame and serve the object map handed over here.
#include "objects/object_map.h"
#include "xatlcom/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return orvo::ModuleDllMain(instance, reason, orvo::OrvoCryptoObjectMap());
}
