// Deterministic seed expansion behind every key generation.
#pragma once

#include <cstdint>

#include "base/xblob.h"

// n bytes of B, where B grows by MD5(seed || B) || SHA-1(seed || B) per pass
// until it holds at least n bytes. The same seed always gives the same bytes.
XBlob ExpandSeed(const XBlob& seed, uint32_t n);
