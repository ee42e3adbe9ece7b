// Module and class objects: the lock count through every creation and release
// path, the cached class objects, interface maps and aggregation.
#include <gtest/gtest.h>

#include "tests/support/outer_unknown.h"
#include "tests/xatl/com_test_support.h"

namespace {

using namespace orvotest;

using Outer = orvo::test::OuterUnknown;

class ModuleTest : public ModuleFixture {
 protected:
  IClassFactory* Factory(REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }
};

TEST_F(ModuleTest, UnloadIsAllowedOnlyWithNothingAlive) {
  EXPECT_EQ(S_OK, DllCanUnloadNow());
  IClassFactory* factory = Factory(CLSID_SampleCalc);
  EXPECT_EQ(1, orvo::ModuleLockCount());  // a class object held from outside
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  IDispatch* object = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(2, orvo::ModuleLockCount());
  factory->Release();
  EXPECT_EQ(1, orvo::ModuleLockCount());  // the object still lives
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  EXPECT_EQ(0u, object->Release());
  EXPECT_EQ(S_OK, DllCanUnloadNow());

  factory = Factory(CLSID_SampleCalc);
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory->Release();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  factory = Factory(CLSID_SampleCalc);
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ModuleTest, OneClassObjectPerClassIsCachedUntilDetach) {
  IClassFactory* first = Factory(CLSID_SampleCalc);
  IUnknown* second = nullptr;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_SampleCalc, IID_IUnknown, reinterpret_cast<void**>(&second)));
  EXPECT_EQ(static_cast<IUnknown*>(first), second);
  EXPECT_EQ(1, orvo::ModuleLockCount());  // two outside references, one lock
  IClassFactory* other = Factory(CLSID_SampleOther);
  EXPECT_NE(static_cast<IUnknown*>(other), second);
  EXPECT_EQ(2, orvo::ModuleLockCount());
  EXPECT_EQ(2u, second->Release());
  EXPECT_EQ(1u, first->Release());  // only the cache's reference is left
  EXPECT_EQ(1u, other->Release());
  EXPECT_EQ(S_OK, DllCanUnloadNow());
  EXPECT_EQ(first, Factory(CLSID_SampleCalc));  // still cached
  first->Release();
  EXPECT_NE(nullptr, SampleObjectMap()[0].classObject);
}

TEST_F(ModuleTest, ClassObjectRequestsThatFail) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_SampleBad, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_SampleCalc, IID_IClassFactory, nullptr));
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_SampleCalc, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(0, orvo::ModuleLockCount());
}

TEST_F(ModuleTest, InterfaceMapsAnswerTheirInterfacesOnly) {
  IClassFactory* factory = Factory(CLSID_SampleCalc);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  void* dispatch = nullptr;
  void* sample = nullptr;
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(S_OK, unknown->QueryInterface(IID_IDispatch, &dispatch));
  EXPECT_EQ(S_OK, unknown->QueryInterface(IID_ISample, &sample));
  EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_ISampleOther, &other));
  EXPECT_EQ(nullptr, other);
  EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IDispatch, nullptr));
  EXPECT_EQ(static_cast<void*>(unknown), dispatch);  // the dual interface at the start of the object
  EXPECT_EQ(dispatch, sample);
  IUnknown* factoryUnknown = nullptr;
  EXPECT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&factoryUnknown)));
  EXPECT_EQ(static_cast<IUnknown*>(factory), factoryUnknown);
  EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IDispatch, &other));
  factoryUnknown->Release();
  EXPECT_EQ(2u, static_cast<IUnknown*>(sample)->Release());
  EXPECT_EQ(1u, static_cast<IUnknown*>(dispatch)->Release());
  EXPECT_EQ(0u, unknown->Release());
  factory->Release();
}

TEST_F(ModuleTest, FailedCreationLeavesNothingBehind) {
  IClassFactory* factory = Factory(CLSID_SampleOther);
  const int destroyed = SampleOther::destroyed;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_ISample, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(destroyed + 1, SampleOther::destroyed);
  Outer outer;
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IDispatch, nullptr));
  // The aggregated form's own failure: an inner interface it lacks.
  EXPECT_EQ(E_NOINTERFACE, orvo::CreateInstance<SampleOther>(&outer, IID_ISample, &out));
  EXPECT_EQ(destroyed + 2, SampleOther::destroyed);
  EXPECT_EQ(1, orvo::ModuleLockCount());  // only the factory held here
  EXPECT_EQ(1u, outer.refs);
  factory->Release();
}

TEST_F(ModuleTest, AggregatedObjectsForwardToTheOuterUnknown) {
  IClassFactory* factory = Factory(CLSID_SampleCalc);
  Outer outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
  factory->Release();
  EXPECT_EQ(1, orvo::ModuleLockCount());
  EXPECT_EQ(1u, outer.refs);  // the contained object holds no reference to it

  IDispatch* dispatch = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  EXPECT_NE(static_cast<IUnknown*>(dispatch), inner);
  EXPECT_EQ(2u, outer.refs);  // the AddRef went to the outer object
  EXPECT_EQ(3u, dispatch->AddRef());
  EXPECT_EQ(2u, dispatch->Release());
  void* viaOuter = nullptr;
  EXPECT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, &viaOuter));
  EXPECT_EQ(static_cast<void*>(&outer), viaOuter);  // identity is the outer object's
  EXPECT_EQ(1, outer.queries);
  outer.Release();
  dispatch->Release();
  EXPECT_EQ(1u, outer.refs);

  IUnknown* innerAgain = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)));
  EXPECT_EQ(inner, innerAgain);
  EXPECT_EQ(1u, inner->Release());
  EXPECT_EQ(1, orvo::ModuleLockCount());

  // Dispatch through the aggregated object works on the contained object.
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  Outcome out;
  Call(dispatch, kTwice, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {I4(21)}, false, true, out);
  EXPECT_EQ(42, V_I4(&out.result));
  dispatch->Release();
  EXPECT_EQ(0u, inner->Release());
  EXPECT_EQ(0, orvo::ModuleLockCount());
  EXPECT_EQ(1u, outer.refs);
}

// Objects that make objects (a result Blob) find the class through
// CoCreateInstance; here the class object is announced to COM in process.
TEST_F(ModuleTest, RegisteredClassObjectsServeCoCreateInstance) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  IDispatch* object = nullptr;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_SampleOther, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                                  reinterpret_cast<void**>(&object)));
  IUnknown* factory = nullptr;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_SampleOther, IID_IUnknown, reinterpret_cast<void**>(&factory)));
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_SampleOther, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie));
  factory->Release();
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleOther, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&object)));
  Outcome out;
  Call(object, kOnEndPage, DISPATCH_METHOD, {}, false, true, out);
  EXPECT_EQ(S_OK, out.hr);
  EXPECT_EQ(0u, object->Release());
  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
  EXPECT_EQ(0, orvo::ModuleLockCount());
  CoUninitialize();
}

TEST_F(ModuleTest, ProcessDetachReleasesTheCachedClassObjects) {
  Factory(CLSID_SampleCalc)->Release();
  Factory(CLSID_SampleOther)->Release();
  orvo::ObjectMapEntry* map = SampleObjectMap();
  EXPECT_NE(nullptr, map[0].classObject);
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
  EXPECT_EQ(nullptr, map[0].classObject);
  EXPECT_EQ(nullptr, map[1].classObject);
  EXPECT_EQ(0, orvo::ModuleLockCount());
  orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, map);  // for the fixture's detach
  EXPECT_EQ(TRUE, orvo::ModuleDllMain(GetModuleHandleA(nullptr), DLL_THREAD_ATTACH, map));
}

}  // namespace
