// Entropy on Linux: getrandom(2).
#include <sys/random.h>

#include <cerrno>
#include <system_error>

#include "digest/random.h"

namespace orvo {

void SystemEntropy(uint8_t* out, uint32_t n) {
  while (n != 0) {
    const ssize_t got = getrandom(out, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    out += got;
    n -= static_cast<uint32_t>(got);
  }
}

}  // namespace orvo
