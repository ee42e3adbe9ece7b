// The SHA-1 compression function (FIPS 180-1, 7), in portable code and with
// the x86 SHA extensions. Internal to digest/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::sha1 {

// Runs `blocks` 64-byte blocks starting at `p` through the compression
// function, updating h[0..4].
void CompressPortable(uint32_t h[5], const uint8_t* p, size_t blocks);
// The same with the SHA extensions; call only where Sha1HardwareAvailable().
void CompressShaNi(uint32_t h[5], const uint8_t* p, size_t blocks);

}  // namespace orvo::sha1
