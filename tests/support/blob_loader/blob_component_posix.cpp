// Natively the module is a shared library opened with dlopen; its four
// exports are its only global symbols, so its module state stays its own.
#include <dlfcn.h>

#include "tests/support/blob_loader/blob_component.h"

namespace orvo::test {
namespace {

void* Module() {
  static void* const handle = dlopen(ORVO_BLOB_MODULE, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

}  // namespace

void* BlobModuleExport(const char* name) { return Module() == nullptr ? nullptr : dlsym(Module(), name); }

// The stand-in names the running program for every module handle.
HMODULE BlobModuleHandle() { return nullptr; }

}  // namespace orvo::test
