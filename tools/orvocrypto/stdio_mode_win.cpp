#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/orvocrypto/stdio_mode.h"

namespace orvo::cli {

void SetBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace orvo::cli
