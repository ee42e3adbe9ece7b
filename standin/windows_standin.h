// The native stand-in for the Windows interfaces the COM frame uses: COM and
// OLE Automation types and calls, the kernel32 pieces and an in-memory
// registry. Only what the frame and its tests call is here, with the Windows
// names, values and contracts, so that the frame compiles unchanged against
// <windows.h> or this header (xatl/inc/xatlcom/platform.h chooses).
//
// Stand-in choices, where Windows leaves room:
// - WCHAR/OLECHAR is wchar_t (32 bits on Linux); BSTR lengths count characters.
// - The ANSI code page (CP_ACP) is ISO 8859-1; CP_UTF8 is also understood.
// - CoTaskMemAlloc/Realloc/Free are malloc/realloc/free (standin/heap.h), the heap the native
//   XBlob allocator (base/blob_allocator_posix.cpp) uses, so a block either
//   side allocates the other may grow or free, as with the COM task allocator.
// - CoCreateInstance finds classes only in the in-process class table that
//   CoRegisterClassObject fills; no module is ever loaded.
// - The process has one module: GetModuleFileNameA names the running program
//   for every module handle.
// - The layer is a shared library, so that every in-process server module and
//   the program share one class table, registry and per-thread error object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

// ---------------------------------------------------------------- base types
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using CHAR = char;
using WCHAR = wchar_t;
using OLECHAR = wchar_t;
using FLOAT = float;
using DOUBLE = double;
using DATE = double;
using HRESULT = int32_t;
using SCODE = int32_t;
using LCID = DWORD;
using DISPID = LONG;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using LPVOID = void*;
using PVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using LPBOOL = BOOL*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using HLOCAL = void*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using HANDLE = void*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDAPI extern "C" HRESULT
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// ---------------------------------------------------------------- HRESULTs
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define STANDIN_HR(x) static_cast<HRESULT>(static_cast<uint32_t>(x))

#define S_OK STANDIN_HR(0)
#define S_FALSE STANDIN_HR(1)
#define E_NOTIMPL STANDIN_HR(0x80004001u)
#define E_NOINTERFACE STANDIN_HR(0x80004002u)
#define E_POINTER STANDIN_HR(0x80004003u)
#define E_FAIL STANDIN_HR(0x80004005u)
#define E_UNEXPECTED STANDIN_HR(0x8000FFFFu)
#define E_ACCESSDENIED STANDIN_HR(0x80070005u)
#define E_OUTOFMEMORY STANDIN_HR(0x8007000Eu)
#define E_INVALIDARG STANDIN_HR(0x80070057u)
#define CLASS_E_NOAGGREGATION STANDIN_HR(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE STANDIN_HR(0x80040111u)
#define REGDB_E_CLASSNOTREG STANDIN_HR(0x80040154u)
#define REGDB_E_READREGDB STANDIN_HR(0x80040150u)
#define CO_E_CLASSSTRING STANDIN_HR(0x800401F3u)
#define DISP_E_UNKNOWNINTERFACE STANDIN_HR(0x80020001u)
#define DISP_E_MEMBERNOTFOUND STANDIN_HR(0x80020003u)
#define DISP_E_PARAMNOTFOUND STANDIN_HR(0x80020004u)
#define DISP_E_TYPEMISMATCH STANDIN_HR(0x80020005u)
#define DISP_E_UNKNOWNNAME STANDIN_HR(0x80020006u)
#define DISP_E_NONAMEDARGS STANDIN_HR(0x80020007u)
#define DISP_E_BADVARTYPE STANDIN_HR(0x80020008u)
#define DISP_E_EXCEPTION STANDIN_HR(0x80020009u)
#define DISP_E_OVERFLOW STANDIN_HR(0x8002000Au)
#define DISP_E_BADINDEX STANDIN_HR(0x8002000Bu)
#define DISP_E_BADPARAMCOUNT STANDIN_HR(0x8002000Eu)
#define DISP_E_PARAMNOTOPTIONAL STANDIN_HR(0x8002000Fu)
#define DISP_E_ARRAYISLOCKED STANDIN_HR(0x8002000Du)

inline HRESULT HRESULT_FROM_WIN32(unsigned long x) {
  return static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)
                                      : STANDIN_HR((x & 0x0000FFFFu) | 0x80070000u);
}

// Win32 error codes.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_KEY_DELETED 1018L

// ---------------------------------------------------------------- GUIDs
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPCLSID = CLSID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// The standard identifiers (their published values).
inline constexpr IID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// ---------------------------------------------------------------- VARIANT
enum VARENUM : VARTYPE {
  VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6, VT_DATE = 7,
  VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13,
  VT_DECIMAL = 14, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21,
  VT_INT = 22, VT_UINT = 23, VT_VOID = 24, VT_HRESULT = 25,
  VT_ARRAY = 0x2000, VT_BYREF = 0x4000, VT_TYPEMASK = 0x0FFF
};
#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    ULONG ulVal;
    USHORT uiVal;
    INT intVal;
    UINT uintVal;
    CHAR cVal;
    LONG* plVal;
    SHORT* piVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    SAFEARRAY* parray;
    SAFEARRAY** pparray;
    BYTE* pbVal;
    PVOID byref;
    struct {
      PVOID pvRecord;
      PVOID pRecInfo;
    } record;  // gives the union the size of the Windows one
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (V_VT(v) & VT_BYREF)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_UI4(v) ((v)->ulVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_ERROR(v) ((v)->scode)
#define V_BSTR(v) ((v)->bstrVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)
#define V_I4REF(v) ((v)->plVal)
#define V_UI1(v) ((v)->bVal)
#define V_ISARRAY(v) (V_VT(v) & VT_ARRAY)
#define V_ARRAY(v) ((v)->parray)
#define V_ARRAYREF(v) ((v)->pparray)

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_VALUE 0
#define DISPID_UNKNOWN (-1)
#define DISPID_PROPERTYPUT (-3)
#define LOCALE_USER_DEFAULT 0x400
#define LOCALE_SYSTEM_DEFAULT 0x800

// ---------------------------------------------------------------- interfaces
// Interfaces are released, never deleted through: their destructors are
// protected, as the COM contract has it.
struct ITypeInfo;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};

// ---------------------------------------------------------------- calls
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17
#define REGCLS_MULTIPLEUSE 1
#define COINIT_APARTMENTTHREADED 0x2

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define CP_ACP 0
#define CP_UTF8 65001

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

// Registry.
#define HKEY_CLASSES_ROOT reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u))
#define HKEY_CURRENT_USER reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u))
#define HKEY_LOCAL_MACHINE reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define REG_NONE 0
#define REG_SZ 1
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

struct SECURITY_ATTRIBUTES;
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// The stand-in's lock lives inside the structure, so that making one never
// allocates and never fails, as on Windows.
struct CRITICAL_SECTION {
  alignas(std::max_align_t) unsigned char impl[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {
// OLE Automation.
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
void VariantInit(VARIANTARG* pvarg);
HRESULT VariantClear(VARIANTARG* pvarg);
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// COM.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
LPVOID CoTaskMemAlloc(size_t cb);
LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb);
void CoTaskMemFree(LPVOID pv);
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// The exports of an in-process server, as objbase.h and olectl.h declare them.
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();

// kernel32.
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
DWORD FormatMessageA(DWORD dwFlags, const void* lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, void* arguments);
HLOCAL LocalFree(HLOCAL hMem);
int MultiByteToWideChar(UINT codePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT codePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
int lstrlenA(LPCSTR lpString);
int lstrlenW(LPCWSTR lpString);

// advapi32: a registry held in memory for the life of the process.
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LSTATUS RegCloseKey(HKEY hKey);

// Tests only: the allocation hook. Every block of the task allocator, every
// BSTR, SAFEARRAY and message buffer, and natively every XBlob block
// (base/blob_allocator_posix.cpp) first asks `fail`, which answers nonzero
// to make that allocation fail as if memory had run out; `counted` then hears
// +1 for each block made and -1 for each block freed. Null hooks: no test.
void StandinSetAllocationHooksForTesting(int (*fail)(), void (*counted)(int delta));
// What the allocators call: nonzero when the hook fails this allocation; the
// count of a block made (+1) or freed (-1).
int StandinTestAllocationFails();
void StandinTestAllocationCounted(int delta);
}

#include "standin/safearray.h"
