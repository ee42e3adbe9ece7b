// Self-registration under HKEY_CLASSES_ROOT.
//
// For each class: <ProgID> and <version-independent ProgID>, each with the
// default value "Description" and a CLSID subkey naming {clsid}; and
// CLSID\{clsid} with "Description", ProgID, VersionIndependentProgID and
// InprocServer32 (this module's path, ThreadingModel "Apartment"). Only
// failures to create the ProgID keys and the {clsid} key are reported.
#include <cstring>

#include "xatlcom/module.h"

namespace orvo {
namespace {

const char kDescription[] = "Description";

LONG SetText(HKEY key, const char* name, const char* text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(lstrlenA(text) + 1));
}

LONG CreateKey(HKEY parent, const char* name, HKEY* key) {
  return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// Creates `name` under `parent` with `text` as its default value; unreported.
void CreateKeyWithDefault(HKEY parent, const char* name, const char* text) {
  HKEY key;
  if (CreateKey(parent, name, &key) != ERROR_SUCCESS) return;
  SetText(key, nullptr, text);
  RegCloseKey(key);
}

HRESULT RegisterProgId(const char* progId, const char* clsidText) {
  HKEY key;
  const LONG status = CreateKey(HKEY_CLASSES_ROOT, progId, &key);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
  SetText(key, nullptr, kDescription);
  CreateKeyWithDefault(key, "CLSID", clsidText);
  RegCloseKey(key);
  return S_OK;
}

// The CLSID in registry form ("{...}") as 8-bit text, or false.
bool ClsidText(REFCLSID clsid, char (&text)[64]) {
  LPOLESTR wide = nullptr;
  if (FAILED(StringFromCLSID(clsid, &wide))) return false;
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  CoTaskMemFree(wide);
  return n > 0;
}

}  // namespace

HRESULT RegisterClassKeys(REFCLSID clsid, const char* progId, const char* versionIndependentProgId) noexcept {
  char modulePath[MAX_PATH];
  const DWORD pathLength = GetModuleFileNameA(ModuleInstance(), modulePath, sizeof modulePath);
  modulePath[pathLength < sizeof modulePath ? pathLength : sizeof modulePath - 1] = 0;
  char clsidText[64];
  if (!ClsidText(clsid, clsidText)) return E_OUTOFMEMORY;

  HRESULT hr = RegisterProgId(progId, clsidText);
  if (SUCCEEDED(hr)) hr = RegisterProgId(versionIndependentProgId, clsidText);
  if (FAILED(hr)) return hr;

  HKEY clsidRoot;
  LONG status = RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &clsidRoot);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
  HKEY classKey;
  status = CreateKey(clsidRoot, clsidText, &classKey);
  RegCloseKey(clsidRoot);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));

  SetText(classKey, nullptr, kDescription);
  CreateKeyWithDefault(classKey, "ProgID", progId);
  CreateKeyWithDefault(classKey, "VersionIndependentProgID", versionIndependentProgId);
  CreateKeyWithDefault(classKey, "InprocServer32", modulePath);
  HKEY server;
  if (CreateKey(classKey, "InprocServer32", &server) == ERROR_SUCCESS) {
    SetText(server, "ThreadingModel", "Apartment");
    RegCloseKey(server);
  }
  RegCloseKey(classKey);
  return S_OK;
}

HRESULT UnregisterClassKeys(REFCLSID clsid, const char* progId, const char* versionIndependentProgId) noexcept {
  DeleteKeyRecursive(HKEY_CLASSES_ROOT, progId);
  DeleteKeyRecursive(HKEY_CLASSES_ROOT, versionIndependentProgId);
  char clsidText[64];
  if (!ClsidText(clsid, clsidText)) return S_OK;
  HKEY clsidRoot;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &clsidRoot) == ERROR_SUCCESS) {
    DeleteKeyRecursive(clsidRoot, clsidText);
    RegCloseKey(clsidRoot);
  }
  return S_OK;
}

LONG DeleteKeyRecursive(HKEY parent, const char* name) noexcept {
  HKEY key;
  LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, &key);
  if (status != ERROR_SUCCESS) return status;
  for (;;) {
    char subkey[256];
    DWORD length = sizeof subkey;
    if (RegEnumKeyExA(key, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    status = DeleteKeyRecursive(key, subkey);
    if (status != ERROR_SUCCESS) {
      RegCloseKey(key);
      return status;
    }
  }
  RegCloseKey(key);
  return RegDeleteKeyA(parent, name);
}

}  // namespace orvo

STDAPI DllRegisterServer() {
  for (orvo::ObjectMapEntry* row = orvo::ModuleObjectMap(); row != nullptr && row->clsid != nullptr; ++row) {
    const HRESULT hr = row->updateRegistry(TRUE);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (orvo::ObjectMapEntry* row = orvo::ModuleObjectMap(); row != nullptr && row->clsid != nullptr; ++row)
    row->updateRegistry(FALSE);
  return S_OK;
}
