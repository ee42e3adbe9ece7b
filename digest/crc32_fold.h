// CRC-32 folding with carry-less multiplication. Internal to digest/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::crc32 {

// The smallest input that FoldPclmul takes.
inline constexpr size_t kFoldMinimum = 64;

// Folds the first bytes of p[0..n) (n >= kFoldMinimum; a multiple of 16 bytes
// is taken) into 16 bytes `folded` such that the CRC register run from 0 over
// `folded` equals the register run from `reg` over the bytes taken. Returns
// the number of bytes taken. Call only where Crc32HardwareAvailable().
size_t FoldPclmul(uint32_t reg, const uint8_t* p, size_t n, uint8_t folded[16]);

}  // namespace orvo::crc32
