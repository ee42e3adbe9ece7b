// The DLL entry point of orvoblob.dll: the frame's module state with the
// Blob's own object map.
#include "orvoblob/orvo_blob.h"
#include "xatlcom/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return orvo::ModuleDllMain(instance, reason, BlobObjectMap());
}
