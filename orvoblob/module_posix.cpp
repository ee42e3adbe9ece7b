// The native module (liborvoblob.so): the loader's constructor and destructor
// of the library stand for process attach and detach.
#include "orvoblob/orvo_blob.h"
#include "xatlcom/module.h"

namespace {

__attribute__((constructor)) void Attach() { orvo::ModuleDllMain(nullptr, DLL_PROCESS_ATTACH, BlobObjectMap()); }
__attribute__((destructor)) void Detach() { orvo::ModuleDllMain(nullptr, DLL_PROCESS_DETACH, BlobObjectMap()); }

}  // namespace
