// MD5 message digest (RFC 1321) over a whole buffer.
#pragma once

#include "base/xblob.h"

// The 16-byte digest: state words A, B, C, D, each least significant byte first.
XBlob MD5Digest(const XBlob& data);
