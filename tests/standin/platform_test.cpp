// The platform calls the COM frame relies on, as they behave on Windows: the
// registry's rules, per-thread error information, CLSID text, code pages,
// system message texts, the task allocator shared with XBlob buffers, and
// class objects found by CoCreateInstance.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "base/blob_allocator.h"
#include "xatlcom/platform.h"

namespace {

constexpr CLSID kTestClsid = {0x1CA35769, 0xD171, 0x4B99, {0x80, 0x5B, 0x0F, 0x28, 0x7F, 0x3A, 0x47, 0x7F}};

class RegistryTest : public ::testing::Test {
 protected:
  static constexpr const char* kRoot = "OrvoPlatformTest";
  void TearDown() override {
    // Deepest first: a key with subkeys cannot be deleted.
    for (const char* path : {"OrvoPlatformTest\\A\\B\\C", "OrvoPlatformTest\\A\\B", "OrvoPlatformTest\\A",
                             "OrvoPlatformTest\\Second", "OrvoPlatformTest"})
      RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
  }
  static HKEY Create(const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, disposition));
    return key;
  }
};

TEST_F(RegistryTest, KeysAreCreatedOpenedAndDeletedAsOnWindows) {
  DWORD disposition = 0;
  RegCloseKey(Create("OrvoPlatformTest\\A\\B\\C", &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  RegCloseKey(Create("orvoplatformtest\\a", &disposition));  // names ignore case
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);

  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CLASSES_ROOT, "OrvoPlatformTest\\Missing", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(HKEY_CLASSES_ROOT, "\\OrvoPlatformTest", 0, nullptr, 0,
                                                KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, "OrvoPlatformTest\\A"));  // has subkeys
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "OrvoPlatformTest\\A\\B\\C"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CLASSES_ROOT, "OrvoPlatformTest\\A\\B\\C"));
}

TEST_F(RegistryTest, SubkeysAreEnumeratedByIndex) {
  RegCloseKey(Create("OrvoPlatformTest\\Second"));
  RegCloseKey(Create("OrvoPlatformTest\\A"));
  HKEY root = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kRoot, 0, KEY_READ | KEY_WRITE, &root));
  char name[256];
  DWORD length = sizeof name;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::string("A"), name);
  EXPECT_EQ(1u, length);
  length = sizeof name;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(root, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::string("Second"), name);
  length = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(root, 2, name, &length, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(root);
}

TEST_F(RegistryTest, TextValuesKeepTheirTerminatingZero) {
  HKEY key = Create(kRoot);
  const char text[] = "Apartment";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                          sizeof text));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
  char data[32];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "threadingmodel", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(sizeof text, size);
  EXPECT_STREQ(text, data);
  size = 3;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_EQ(sizeof text, size);
  size = sizeof data;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_STREQ("x", data);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size));
  RegCloseKey(key);
}

TEST(ErrorInfoTest, ErrorInformationBelongsToOneThreadAndIsTakenOnce) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(S_OK, CreateErrorInfo(&create));
  create->SetDescription(const_cast<LPOLESTR>(L"text"));
  IErrorInfo* info = nullptr;
  ASSERT_EQ(S_OK, create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
  create->Release();
  ASSERT_EQ(S_OK, SetErrorInfo(0, info));
  info->Release();

  HRESULT elsewhere = S_OK;
  std::thread other([&] {
    IErrorInfo* none = nullptr;
    elsewhere = GetErrorInfo(0, &none);
  });
  other.join();
  EXPECT_EQ(S_FALSE, elsewhere);

  IErrorInfo* mine = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &mine));
  BSTR text = nullptr;
  EXPECT_EQ(S_OK, mine->GetDescription(&text));
  EXPECT_EQ(std::wstring(L"text"), std::wstring(text));
  SysFreeString(text);
  mine->Release();
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &mine));
}

TEST(ComTest, ClsidTextIsTheRegistryForm) {
  LPOLESTR text = nullptr;
  ASSERT_EQ(S_OK, StringFromCLSID(kTestClsid, &text));
  EXPECT_EQ(std::wstring(L"{1CA35769-D171-4B99-805B-0F287F3A477F}"), std::wstring(text));
  CLSID back = GUID_NULL;
  EXPECT_EQ(S_OK, CLSIDFromString(text, &back));
  EXPECT_TRUE(IsEqualCLSID(kTestClsid, back));
  CoTaskMemFree(text);
  LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(kTestClsid, &progId));
}

TEST(ComTest, XBlobBlocksAndTheTaskAllocatorShareOneHeap) {
  // A Blob component grows and frees blocks this module allocated, and back.
  auto* block = static_cast<char*>(orvo::BlobAlloc(16));
  std::memcpy(block, "0123456789abcdef", 16);
  block = static_cast<char*>(CoTaskMemRealloc(block, 64));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0, std::memcmp(block, "0123456789abcdef", 16));
  CoTaskMemFree(block);
  orvo::BlobFree(CoTaskMemAlloc(32));
}

TEST(KernelTest, TextsConvertInTheAnsiCodePage) {
  const char latin[] = "Caf\xE9";  // e acute in every Western ANSI code page
  wchar_t wide[8] = {};
  ASSERT_EQ(5, MultiByteToWideChar(CP_ACP, 0, latin, -1, wide, 8));
  EXPECT_EQ(std::wstring(L"Caf\u00E9"), std::wstring(wide));
  EXPECT_EQ(5, MultiByteToWideChar(CP_ACP, 0, latin, -1, nullptr, 0));
  char back[8] = {};
  ASSERT_EQ(5, WideCharToMultiByte(CP_ACP, 0, wide, -1, back, sizeof back, nullptr, nullptr));
  EXPECT_STREQ(latin, back);
  EXPECT_EQ(0, lstrcmpiA("Encrypt", "eNCRYPT"));
  EXPECT_GT(0, lstrcmpiA("Encrypt", "Encrypts"));
  EXPECT_NE(0, lstrcmpiA("KeyGen", "Key"));
  EXPECT_EQ(4, lstrlenA("Mode"));
}

// Wine's lstrlenW catches the fault of reading a null pointer with a structured
// exception handler, as Windows does.
TEST(KernelTest, NullWideTextHasLengthZero) { EXPECT_EQ(0, lstrlenW(nullptr)); }

TEST(KernelTest, SystemTextsExistForTheCodesTheFrameReports) {
  for (const HRESULT code : {E_FAIL, E_INVALIDARG, E_OUTOFMEMORY}) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_FROM_SYSTEM,
                                   nullptr, static_cast<DWORD>(code), LOCALE_USER_DEFAULT,
                                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(nullptr, text) << std::hex << code;
    EXPECT_EQ(std::strlen(text), n);
    EXPECT_EQ("\r\n", std::string(text + n - 2));  // the system's line break is part of the text
    LocalFree(text);
  }
  char* none = nullptr;
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_FROM_SYSTEM,
                               nullptr, 0xA0071234u, LOCALE_USER_DEFAULT, reinterpret_cast<LPSTR>(&none), 0, nullptr));
}

TEST(KernelTest, ModulePathIsTruncatedToTheBuffer) {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 4u);
  EXPECT_EQ(std::strlen(path), n);
  char small[4];
  EXPECT_EQ(4u, GetModuleFileNameA(nullptr, small, sizeof small));  // the buffer's size: truncated
}

TEST(KernelTest, InterlockedCountersAndCriticalSections) {
  LONG count = 0;
  CRITICAL_SECTION lock;
  InitializeCriticalSection(&lock);
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      InterlockedIncrement(&count);
      EnterCriticalSection(&lock);
      EnterCriticalSection(&lock);  // the owner may enter again
      LeaveCriticalSection(&lock);
      LeaveCriticalSection(&lock);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(20000, count);
  EXPECT_EQ(19999, InterlockedDecrement(&count));
  DeleteCriticalSection(&lock);
}

}  // namespace
