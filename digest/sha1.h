// SHA-1 message digest (FIPS 180-1) over a whole buffer.
#pragma once

#include "crypto/xblob.h"

// The 20-byte digest: H0 .. H4, each most significant byte first.
XBlob SHA1Digest(const XBlob& data);
