// Module state and the exports that hand out class objects.
#include "xatlcom/module.h"

namespace orvo {
namespace {

struct Module {
  HINSTANCE instance = nullptr;
  ObjectMapEntry* objectMap = nullptr;
  LONG lockCount = 0;
  CRITICAL_SECTION classObjectLock{};  // value-initialised: no dynamic initialiser resets the module
};
Module module;

}  // namespace

BOOL ModuleDllMain(HINSTANCE instance, DWORD reason, ObjectMapEntry* objectMap) noexcept {
  if (reason == DLL_PROCESS_ATTACH) {
    module.instance = instance;
    module.objectMap = objectMap;
    module.lockCount = 0;
    InitializeCriticalSection(&module.classObjectLock);
  } else if (reason == DLL_PROCESS_DETACH) {
    for (ObjectMapEntry* row = module.objectMap; row != nullptr && row->clsid != nullptr; ++row) {
      if (row->classObject != nullptr) {
        row->classObject->Release();
        row->classObject = nullptr;
      }
    }
    DeleteCriticalSection(&module.classObjectLock);
  }
  return TRUE;
}

HINSTANCE ModuleInstance() noexcept { return module.instance; }
ObjectMapEntry* ModuleObjectMap() noexcept { return module.objectMap; }

void ModuleLock() noexcept { InterlockedIncrement(&module.lockCount); }
void ModuleUnlock() noexcept { InterlockedDecrement(&module.lockCount); }
LONG ModuleLockCount() noexcept { return module.lockCount; }

}  // namespace orvo

STDAPI DllCanUnloadNow() { return orvo::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  using orvo::module;
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  orvo::ObjectMapEntry* row = module.objectMap;
  while (row != nullptr && row->clsid != nullptr && !IsEqualCLSID(*row->clsid, rclsid)) ++row;
  if (row == nullptr || row->clsid == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  HRESULT hr = S_OK;
  if (row->classObject == nullptr) {
    EnterCriticalSection(&module.classObjectLock);
    if (row->classObject == nullptr)
      hr = row->createClassObject(row->createInstance, IID_IUnknown, reinterpret_cast<void**>(&row->classObject));
    LeaveCriticalSection(&module.classObjectLock);
  }
  if (row->classObject != nullptr) return row->classObject->QueryInterface(riid, ppv);
  return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
}
