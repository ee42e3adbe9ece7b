// Self-registration: the keys written under HKEY_CLASSES_ROOT, repeated and
// empty (un)registration, removal of subkeys others added, and a class that
// cannot be registered.
#include <gtest/gtest.h>

#include <string>

#include "tests/xatl/com_test_support.h"

namespace {

using namespace orvotest;

std::string ClsidText(REFCLSID clsid) {
  LPOLESTR wide = nullptr;
  EXPECT_EQ(S_OK, StringFromCLSID(clsid, &wide));
  std::string out;
  for (LPOLESTR p = wide; *p != 0; ++p) out += static_cast<char>(*p);
  CoTaskMemFree(wide);
  return out;
}

bool KeyExists(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A REG_SZ value with its terminating zero, or "<missing>".
std::string Value(const std::string& path, const char* name = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  char data[600];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ || size == 0 || data[size - 1] != 0) return "<missing>";
  return std::string(data, size - 1);
}

void CreateKey(const std::string& path) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
}

class RegistrationTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    DllUnregisterServer();
  }
  void TearDown() override {
    DllUnregisterServer();
    ModuleFixture::TearDown();
  }
  void ExpectRegistered(REFCLSID clsid, const std::string& progId, const std::string& independent) {
    const std::string clsidKey = "CLSID\\" + ClsidText(clsid);
    EXPECT_EQ("Description", Value(progId));
    EXPECT_EQ(ClsidText(clsid), Value(progId + "\\CLSID"));
    EXPECT_EQ("Description", Value(independent));
    EXPECT_EQ(ClsidText(clsid), Value(independent + "\\CLSID"));
    EXPECT_EQ("Description", Value(clsidKey));
    EXPECT_EQ(progId, Value(clsidKey + "\\ProgID"));
    EXPECT_EQ(independent, Value(clsidKey + "\\VersionIndependentProgID"));
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(orvo::ModuleInstance(), path, sizeof path);
    EXPECT_EQ(std::string(path, n), Value(clsidKey + "\\InprocServer32"));
    EXPECT_EQ("Apartment", Value(clsidKey + "\\InprocServer32", "ThreadingModel"));
  }
  void ExpectUnregistered(REFCLSID clsid, const std::string& progId, const std::string& independent) {
    EXPECT_FALSE(KeyExists(progId));
    EXPECT_FALSE(KeyExists(independent));
    EXPECT_FALSE(KeyExists("CLSID\\" + ClsidText(clsid)));
  }
};

TEST_F(RegistrationTest, RegistersEveryClassOfTheMap) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  ExpectRegistered(CLSID_SampleCalc, "Orvo.SampleCalc.1", "Orvo.SampleCalc");
  ExpectRegistered(CLSID_SampleOther, "Orvo.SampleOther.1", "Orvo.SampleOther");
  LPOLESTR progId = nullptr;
  ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_SampleCalc, &progId));
  EXPECT_EQ(std::wstring(L"Orvo.SampleCalc.1"), std::wstring(progId));
  CoTaskMemFree(progId);
  CLSID found = GUID_NULL;
  EXPECT_EQ(S_OK, CLSIDFromProgID(L"Orvo.SampleOther", &found));
  EXPECT_TRUE(IsEqualCLSID(CLSID_SampleOther, found));
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesTheSameEntries) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  ASSERT_EQ(S_OK, DllRegisterServer());
  ExpectRegistered(CLSID_SampleCalc, "Orvo.SampleCalc.1", "Orvo.SampleCalc");
  ExpectRegistered(CLSID_SampleOther, "Orvo.SampleOther.1", "Orvo.SampleOther");
}

TEST_F(RegistrationTest, UnregisteringRemovesEverythingAndNeverFails) {
  EXPECT_EQ(S_OK, DllUnregisterServer());  // nothing registered
  ASSERT_EQ(S_OK, DllRegisterServer());
  EXPECT_EQ(S_OK, DllUnregisterServer());
  ExpectUnregistered(CLSID_SampleCalc, "Orvo.SampleCalc.1", "Orvo.SampleCalc");
  ExpectUnregistered(CLSID_SampleOther, "Orvo.SampleOther.1", "Orvo.SampleOther");
  EXPECT_TRUE(KeyExists("CLSID"));
  EXPECT_EQ(S_OK, DllUnregisterServer());  // twice
}

TEST_F(RegistrationTest, SubkeysOthersAddedAreRemovedAtAnyDepth) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  const std::string clsidKey = "CLSID\\" + ClsidText(CLSID_SampleCalc);
  CreateKey(clsidKey + "\\InprocServer32\\Extra\\Deeper\\Deepest");
  CreateKey(clsidKey + "\\Implemented Categories\\{00000000-0000-0000-0000-000000000000}");
  CreateKey("Orvo.SampleCalc.1\\Shell\\Open\\Command");
  CreateKey("Orvo.SampleCalc\\CurVer");
  EXPECT_EQ(S_OK, DllUnregisterServer());
  ExpectUnregistered(CLSID_SampleCalc, "Orvo.SampleCalc.1", "Orvo.SampleCalc");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, orvo::DeleteKeyRecursive(HKEY_CLASSES_ROOT, "Orvo.SampleCalc.1"));
}

TEST_F(RegistrationTest, AClassThatCannotBeRegisteredStopsTheRest) {
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, SampleObjectMapWithBadFirst());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME), DllRegisterServer());
  ExpectUnregistered(CLSID_SampleBad, "Orvo.SampleBad.1", "Orvo.SampleBad");
  ExpectUnregistered(CLSID_SampleCalc, "Orvo.SampleCalc.1", "Orvo.SampleCalc");
  ExpectUnregistered(CLSID_SampleOther, "Orvo.SampleOther.1", "Orvo.SampleOther");
  EXPECT_EQ(S_OK, DllUnregisterServer());
}

}  // namespace
