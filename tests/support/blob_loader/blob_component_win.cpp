// On Windows the module is orvoblob.dll, loaded with LoadLibrary.
#include "tests/support/blob_loader/blob_component.h"

namespace orvo::test {
namespace {

HMODULE Module() {
  static const HMODULE handle = LoadLibraryA(ORVO_BLOB_MODULE);
  return handle;
}

}  // namespace

void* BlobModuleExport(const char* name) {
  return Module() == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(Module(), name));
}

HMODULE BlobModuleHandle() { return Module(); }

}  // namespace orvo::test
