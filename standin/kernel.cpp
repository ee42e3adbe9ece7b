// kernel32 pieces: critical sections, interlocked counters, the last error,
// the module path, system message texts, code-page conversion and the 8-bit
// string helpers.
#include "standin/windows_standin.h"

#include "standin/heap.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace {

thread_local DWORD lastError = 0;

std::recursive_mutex* Mutex(LPCRITICAL_SECTION cs) { return std::launder(reinterpret_cast<std::recursive_mutex*>(cs->impl)); }

// The system's English texts for the codes this system produces or meets.
struct MessageText {
  uint32_t code;
  const char* text;
};
const MessageText kMessages[] = {
    {0x00000000u, "The operation completed successfully.\r\n"},
    {0x00000002u, "The system cannot find the file specified.\r\n"},
    {0x00000005u, "Access is denied.\r\n"},
    {0x0000000Eu, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x00000057u, "The parameter is incorrect.\r\n"},
    {0x000000A1u, "The specified path is invalid.\r\n"},
    {0x80004001u, "Not implemented\r\n"},
    {0x80004002u, "No such interface supported\r\n"},
    {0x80004003u, "Invalid pointer\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
    {0x8000FFFFu, "Catastrophic failure\r\n"},
    {0x80070002u, "The system cannot find the file specified.\r\n"},
    {0x80070005u, "Access is denied.\r\n"},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070057u, "The parameter is incorrect.\r\n"},
    {0x800700A1u, "The specified path is invalid.\r\n"},
    {0x80020001u, "Unknown interface.\r\n"},
    {0x80020003u, "Member not found.\r\n"},
    {0x80020004u, "Parameter not found.\r\n"},
    {0x80020005u, "Type mismatch.\r\n"},
    {0x80020006u, "Unknown name.\r\n"},
    {0x80020007u, "No named arguments.\r\n"},
    {0x80020008u, "Bad variable type.\r\n"},
    {0x80020009u, "Exception occurred.\r\n"},
    {0x8002000Au, "Out of present range.\r\n"},
    {0x8002000Bu, "Invalid index.\r\n"},
    {0x8002000Eu, "Invalid number of parameters.\r\n"},
    {0x8002000Fu, "Parameter not optional.\r\n"},
    {0x80040110u, "Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111u, "ClassFactory cannot supply requested class\r\n"},
    {0x80040154u, "Class not registered\r\n"},
    {0x800401F3u, "Invalid class string\r\n"},
};

// Decodes one UTF-8 sequence at s[i..n); an invalid one gives U+FFFD.
wchar_t DecodeUtf8(const unsigned char* s, int n, int& i) {
  const unsigned char c = s[i++];
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0 || i + extra > n) return 0xFFFD;
  uint32_t v = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if ((s[i] & 0xC0) != 0x80) return 0xFFFD;
    v = (v << 6) | (s[i++] & 0x3F);
  }
  return static_cast<wchar_t>(v);
}

void EncodeUtf8(uint32_t v, std::string& out) {
  if (v < 0x80) {
    out += static_cast<char>(v);
  } else if (v < 0x800) {
    out += static_cast<char>(0xC0 | (v >> 6));
    out += static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    out += static_cast<char>(0xE0 | (v >> 12));
    out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (v & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (v >> 18));
    out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (v & 0x3F));
  }
}

}  // namespace

extern "C" {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::impl), "the lock fits its structure");
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION), "the lock's alignment");

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->impl) std::recursive_mutex; }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) { Mutex(cs)->~recursive_mutex(); }
void EnterCriticalSection(LPCRITICAL_SECTION cs) { Mutex(cs)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { Mutex(cs)->unlock(); }

LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize) {
  if (nSize == 0) return 0;
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) {
    lpFilename[0] = 0;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const DWORD length = static_cast<DWORD>(n);
  if (length >= nSize) {  // truncated and terminated, as since Windows Vista
    std::memcpy(lpFilename, path, nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, path, length);
  lpFilename[length] = 0;
  return length;
}

HMODULE GetModuleHandleA(LPCSTR) {
  static char anchor;
  return reinterpret_cast<HMODULE>(&anchor);
}

DWORD FormatMessageA(DWORD dwFlags, const void*, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize, void*) {
  const char* text = nullptr;
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0)
    for (const MessageText& m : kMessages)
      if (m.code == dwMessageId) text = m.text;
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const DWORD length = static_cast<DWORD>(std::strlen(text));
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    auto* block = static_cast<char*>(standin::Allocate(length + 1));
    if (block == nullptr) {
      SetLastError(ERROR_OUTOFMEMORY);
      return 0;
    }
    std::memcpy(block, text, length + 1);
    *reinterpret_cast<char**>(lpBuffer) = block;
    return length;
  }
  if (nSize <= length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, text, length + 1);
  return length;
}

HLOCAL LocalFree(HLOCAL hMem) {
  standin::Free(hMem);
  return nullptr;
}

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR src, int srcLength, LPWSTR dst, int dstLength) {
  try {
    if (src == nullptr || srcLength == 0 || dstLength < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const int n = srcLength < 0 ? static_cast<int>(std::strlen(src)) + 1 : srcLength;
    std::wstring out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    for (int i = 0; i < n;) out += codePage == CP_UTF8 ? DecodeUtf8(bytes, n, i) : static_cast<wchar_t>(bytes[i++]);
    const int needed = static_cast<int>(out.size());
    if (dstLength == 0) return needed;
    if (dstLength < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(dst, out.data(), needed * sizeof(wchar_t));
    return needed;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return 0;
  }
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  try {
    if (src == nullptr || srcLength == 0 || dstLength < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const int n = srcLength < 0 ? static_cast<int>(std::wcslen(src)) + 1 : srcLength;
    std::string out;
    bool usedDefault = false;
    for (int i = 0; i < n; ++i) {
      const uint32_t c = static_cast<uint32_t>(src[i]);
      if (codePage == CP_UTF8) {
        EncodeUtf8(c, out);
      } else if (c <= 0xFF) {
        out += static_cast<char>(c);
      } else {
        out += defaultChar != nullptr ? *defaultChar : '?';
        usedDefault = true;
      }
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    const int needed = static_cast<int>(out.size());
    if (dstLength == 0) return needed;
    if (dstLength < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(dst, out.data(), needed);
    return needed;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return 0;
  }
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  for (;; ++a, ++b) {
    const int ca = std::tolower(static_cast<unsigned char>(*a));
    const int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int lstrlenA(LPCSTR s) { return s == nullptr ? 0 : static_cast<int>(std::strlen(s)); }
int lstrlenW(LPCWSTR s) { return s == nullptr ? 0 : static_cast<int>(std::wcslen(s)); }

}  // extern "C"
