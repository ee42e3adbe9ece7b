// CRC-32 (ISO-HDLC: reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/xblob.h"

// Runs the table-driven CRC over `data` with the caller's register, which keeps
// the uncomplemented value so that further data can extend it; returns the
// register's complement. Starting from 0xFFFFFFFF gives the standard CRC-32.
uint32_t CRC32Update(uint32_t& reg, const XBlob& data);
// The same over n bytes at `bytes`, for data fed piece by piece: any split of
// the input gives the register of the whole.
uint32_t CRC32Update(uint32_t& reg, const uint8_t* bytes, size_t n);

namespace orvo {

// Whether the processor offers carry-less multiplication (PCLMULQDQ with SSE4.1).
bool Crc32HardwareAvailable();
// Where it is available CRC32Update folds long inputs with it, unless a
// cpu::ScopedFeatureOverride hides it (base/test_hooks.h): tests and
// benchmarks do so to run the portable slicing-by-16 code. Both give exactly
// the values of the one-table loop.
// The path CRC32Update takes now for long inputs, as `orvocrypto --version`
// names it: pclmul or table.
const char* Crc32PathInUse();

}  // namespace orvo
