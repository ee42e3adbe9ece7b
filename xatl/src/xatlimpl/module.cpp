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
  // The cached class object is read and published under the lock: a check
  // outside it would let another thread see the pointer before the object's
  // construction is visible to it.
  HRESULT hr = S_OK;
  EnterCriticalSection(&module.classObjectLock);
  if (row->classObject == nullptr)
    hr = row->createClassObject(row->createInstance, IID_IUnknown, reinterpret_cast<void**>(&row->classObject));
  IUnknown* const classObject = row->classObject;  // lives until process detach
  LeaveCriticalSection(&module.classObjectLock);
  if (classObject != nullptr) return classObject->QueryInterface(riid, ppv);
  return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
}
