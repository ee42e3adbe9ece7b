// COM calls: the task allocator, CLSID text forms, ProgID look-ups through the
// registry, and an in-process class table behind CoCreateInstance.
#include "standin/windows_standin.h"

#include "standin/heap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

struct RegisteredClass {
  CLSID clsid;
  IUnknown* object;
  DWORD cookie;
};

std::mutex tableLock;
std::vector<RegisteredClass> classTable;
DWORD nextCookie = 1;

std::string ClsidText(REFCLSID clsid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
  return text;
}

LPOLESTR TaskString(const std::string& text) {
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (out == nullptr) return nullptr;
  for (size_t i = 0; i <= text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
  return out;
}

std::string Narrow(LPCOLESTR text) {
  std::string out;
  for (; *text != 0; ++text) out += static_cast<char>(*text <= 0xFF ? *text : '?');
  return out;
}

// The default value of HKEY_CLASSES_ROOT\<path>, or false.
bool ReadDefault(const std::string& path, std::string& value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buffer[512];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return false;
  value.assign(buffer, size > 0 && buffer[size - 1] == 0 ? size - 1 : size);
  return true;
}

}  // namespace

extern "C" {

HRESULT CoInitialize(LPVOID) { return S_OK; }
HRESULT CoInitializeEx(LPVOID, DWORD) { return S_OK; }
void CoUninitialize() {}

// The task allocator is the C library's heap: the native XBlob allocator
// (base/blob_allocator_posix.cpp) uses malloc/free, and blocks pass between
// the two as they do between modules through the COM task allocator.
LPVOID CoTaskMemAlloc(size_t cb) { return standin::Allocate(cb); }
LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb) { return standin::Reallocate(pv, cb); }
void CoTaskMemFree(LPVOID pv) { standin::Free(pv); }

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  try {
    *lplpsz = TaskString(ClsidText(rclsid));
    return *lplpsz == nullptr ? E_OUTOFMEMORY : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  try {
    const std::string text = lpsz == nullptr ? std::string() : Narrow(lpsz);
    unsigned v[11];
    char tail = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &v[6], &v[7], &v[8], &v[9], &v[10], &tail) != 11)
      return CO_E_CLASSSTRING;
    pclsid->Data1 = v[0];
    pclsid->Data2 = static_cast<uint16_t>(v[1]);
    pclsid->Data3 = static_cast<uint16_t>(v[2]);
    for (int i = 0; i < 8; ++i) pclsid->Data4[i] = static_cast<uint8_t>(v[3 + i]);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  try {
    *lplpszProgID = nullptr;
    std::string progId;
    if (!ReadDefault("CLSID\\" + ClsidText(clsid) + "\\ProgID", progId)) return REGDB_E_CLASSNOTREG;
    *lplpszProgID = TaskString(progId);
    return *lplpszProgID == nullptr ? E_OUTOFMEMORY : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  try {
    std::string clsid;
    if (lpszProgID == nullptr || !ReadDefault(Narrow(lpszProgID) + "\\CLSID", clsid)) return CO_E_CLASSSTRING;
    LPOLESTR wide = TaskString(clsid);
    const HRESULT hr = CLSIDFromString(wide, lpclsid);
    CoTaskMemFree(wide);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD, DWORD, LPDWORD lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  const std::lock_guard<std::mutex> hold(tableLock);
  try {
    classTable.push_back({rclsid, pUnk, nextCookie});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  pUnk->AddRef();
  *lpdwRegister = nextCookie++;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  IUnknown* object = nullptr;
  {
    const std::lock_guard<std::mutex> hold(tableLock);
    for (auto it = classTable.begin(); it != classTable.end(); ++it) {
      if (it->cookie == dwRegister) {
        object = it->object;
        classTable.erase(it);
        break;
      }
    }
  }
  if (object == nullptr) return E_INVALIDARG;
  object->Release();
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD, LPVOID, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  IUnknown* object = nullptr;
  {
    const std::lock_guard<std::mutex> hold(tableLock);
    for (const RegisteredClass& row : classTable) {
      if (IsEqualCLSID(row.clsid, rclsid)) {
        object = row.object;
        object->AddRef();
        break;
      }
    }
  }
  if (object == nullptr) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

}  // extern "C"
