// SHA-1 message digest (FIPS 180-1) over a whole buffer.
#pragma once

#include "base/xblob.h"

// The 20-byte digest: H0 .. H4, each most significant byte first.
XBlob SHA1Digest(const XBlob& data);

namespace orvo {

// Whether the processor offers the x86 SHA extensions (with SSSE3 and SSE4.1).
bool Sha1HardwareAvailable();
// Where the extensions are available SHA1Digest uses them, unless a
// cpu::ScopedFeatureOverride hides them (base/test_hooks.h): tests and
// benchmarks do so to run the portable code. Both paths give the same digests.

}  // namespace orvo
