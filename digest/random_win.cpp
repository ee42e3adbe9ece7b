// Entropy on Windows: RtlGenRandom (advapi32's SystemFunction036).
#include <windows.h>

#include <stdexcept>

#include "digest/random.h"

extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

namespace orvo {

void SystemEntropy(uint8_t* out, uint32_t n) {
  if (!SystemFunction036(out, n)) throw std::runtime_error("RtlGenRandom failed");
}

}  // namespace orvo
