#include "crypto/wipe.h"

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept {
  volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
  while (n-- != 0) *b++ = 0;
}

}  // namespace orvo
