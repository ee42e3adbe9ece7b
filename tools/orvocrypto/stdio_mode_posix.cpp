#include "tools/orvocrypto/stdio_mode.h"

namespace orvo::cli {

void SetBinaryStdio() {}

}  // namespace orvo::cli
