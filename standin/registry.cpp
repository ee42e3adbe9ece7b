// A registry held in memory for the life of the process: keys with
// case-insensitive names, REG_SZ and other values stored as bytes, and the
// Windows rules the registration code meets (a key with subkeys cannot be
// deleted, a path may not start with a backslash, handles to deleted keys fail
// with ERROR_KEY_DELETED). Access rights are accepted and not enforced.
#include "standin/windows_standin.h"

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      const int ca = std::tolower(static_cast<unsigned char>(a[i]));
      const int cb = std::tolower(static_cast<unsigned char>(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  }
};

struct Value {
  DWORD type;
  std::vector<BYTE> data;
};

struct Node {
  std::map<std::string, std::shared_ptr<Node>, NoCase> subkeys;
  std::map<std::string, Value, NoCase> values;
  bool deleted = false;
};

struct Handle {
  std::shared_ptr<Node> node;
};

std::recursive_mutex registryLock;

std::shared_ptr<Node>& Root(uintptr_t which) {
  // A fresh Windows installation always has HKEY_CLASSES_ROOT\CLSID.
  static std::shared_ptr<Node> roots[3] = {[] {
                                             auto classes = std::make_shared<Node>();
                                             classes->subkeys["CLSID"] = std::make_shared<Node>();
                                             return classes;
                                           }(),
                                           std::make_shared<Node>(), std::make_shared<Node>()};
  return roots[which - 0x80000000u];
}

// The node behind a handle, or null.
std::shared_ptr<Node> NodeOf(HKEY key) {
  const auto value = reinterpret_cast<uintptr_t>(key);
  if (value >= 0x80000000u && value <= 0x80000002u) return Root(value);
  if (key == nullptr) return nullptr;
  return reinterpret_cast<Handle*>(key)->node;
}

// Splits a key path into its names; empty names between backslashes are skipped.
LSTATUS SplitPath(LPCSTR path, std::vector<std::string>& names) {
  if (path == nullptr) return ERROR_SUCCESS;
  if (path[0] == '\\') return ERROR_BAD_PATHNAME;
  std::string name;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == 0) {
      if (name.size() > 255) return ERROR_INVALID_PARAMETER;
      if (!name.empty()) names.push_back(name);
      name.clear();
      if (*p == 0) break;
    } else {
      name += *p;
    }
  }
  return ERROR_SUCCESS;
}

LSTATUS Walk(HKEY from, LPCSTR path, bool create, std::shared_ptr<Node>& out, bool* created) {
  std::shared_ptr<Node> node = NodeOf(from);
  if (node == nullptr) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  std::vector<std::string> names;
  const LSTATUS status = SplitPath(path, names);
  if (status != ERROR_SUCCESS) return status;
  if (created != nullptr) *created = false;
  for (const std::string& name : names) {
    auto it = node->subkeys.find(name);
    if (it == node->subkeys.end()) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      it = node->subkeys.emplace(name, std::make_shared<Node>()).first;
      if (created != nullptr) *created = true;
    }
    node = it->second;
  }
  out = node;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const std::shared_ptr<Node>& node) { return reinterpret_cast<HKEY>(new Handle{node}); }

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    std::shared_ptr<Node> node;
    bool created = false;
    const LSTATUS status = Walk(hKey, lpSubKey, true, node, &created);
    if (status != ERROR_SUCCESS) return status;
    *phkResult = NewHandle(node);
    if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    std::shared_ptr<Node> node;
    const LSTATUS status = Walk(hKey, lpSubKey, false, node, nullptr);
    if (status != ERROR_SUCCESS) return status;
    *phkResult = NewHandle(node);
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    const std::shared_ptr<Node> node = NodeOf(hKey);
    if (node == nullptr) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    Value value{dwType, {}};
    if (lpData != nullptr) value.data.assign(lpData, lpData + cbData);
    node->values[lpValueName == nullptr ? std::string() : std::string(lpValueName)] = value;
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    const std::shared_ptr<Node> node = NodeOf(hKey);
    if (node == nullptr) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    const auto it = node->values.find(lpValueName == nullptr ? std::string() : std::string(lpValueName));
    if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr) *lpType = it->second.type;
    const DWORD size = static_cast<DWORD>(it->second.data.size());
    if (lpcbData == nullptr) return lpData == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    const DWORD room = *lpcbData;
    *lpcbData = size;
    if (lpData == nullptr) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size != 0) std::memcpy(lpData, it->second.data.data(), size);
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR, LPDWORD,
                      FILETIME*) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    const std::shared_ptr<Node> node = NodeOf(hKey);
    if (node == nullptr) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    if (dwIndex >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = node->subkeys.begin();
    for (DWORD i = 0; i < dwIndex; ++i) ++it;
    const std::string& name = it->first;
    if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  try {
    const std::lock_guard<std::recursive_mutex> hold(registryLock);
    std::vector<std::string> names;
    LSTATUS status = SplitPath(lpSubKey, names);
    if (status != ERROR_SUCCESS) return status;
    if (names.empty()) return ERROR_ACCESS_DENIED;
    const std::string last = names.back();
    names.pop_back();
    std::string parentPath;
    for (const std::string& n : names) parentPath += n + "\\";
    std::shared_ptr<Node> parent;
    status = Walk(hKey, parentPath.c_str(), false, parent, nullptr);
    if (status != ERROR_SUCCESS) return status;
    const auto it = parent->subkeys.find(last);
    if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    if (!it->second->subkeys.empty()) return ERROR_ACCESS_DENIED;
    it->second->deleted = true;
    parent->subkeys.erase(it);
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;  // as the system reports a registry out of memory
  }
}

LSTATUS RegCloseKey(HKEY hKey) {
  const auto value = reinterpret_cast<uintptr_t>(hKey);
  if (value >= 0x80000000u && value <= 0x80000002u) return ERROR_SUCCESS;
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  const std::lock_guard<std::recursive_mutex> hold(registryLock);
  delete reinterpret_cast<Handle*>(hKey);
  return ERROR_SUCCESS;
}

}  // extern "C"
