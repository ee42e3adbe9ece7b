// A sample in-process server: the sample classes behind the frame's exports,
// built the way the product's DLLs are.
#include "tests/xatl/sample_classes.h"
#include "xatlcom/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return orvo::ModuleDllMain(instance, reason, SampleObjectMap());
}
