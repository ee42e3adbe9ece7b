// CRC-32 (ISO-HDLC). The values are those of the one-table loop, one look-up
// per byte (register = T[(register ^ byte) & 0xFF] ^ (register >> 8)); it runs
// sixteen bytes at a time with sixteen derived tables ("slicing-by-16"), and
// long inputs are folded with carry-less multiplication where the processor has
// it (crc32_pclmul_x86.cpp).
#include "digest/crc32.h"

#include <atomic>

#include "crypto/byte_order.h"
#include "crypto/cpu_features.h"
#include "digest/crc32_fold.h"

namespace orvo {

namespace {

// T[0] is the standard table of the reflected polynomial 0xEDB88320: entry i is
// the register after eight shift-and-conditional-xor steps starting from i
// (entry 1 is 0x77073096). T[k][i] is the register after i followed by k zero
// bytes: T[k][i] = T[0][T[k-1][i] & 0xFF] ^ (T[k-1][i] >> 8).
struct Crc32Tables {
  uint32_t t[16][256];
  constexpr Crc32Tables() : t() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (int k = 1; k < 16; ++k) {
      for (uint32_t i = 0; i < 256; ++i) t[k][i] = t[0][t[k - 1][i] & 0xff] ^ (t[k - 1][i] >> 8);
    }
  }
};
constexpr Crc32Tables kTables;

std::atomic<bool> g_hardwareEnabled{true};

uint32_t Slice16(uint32_t c, const uint8_t* p, size_t n) {
  const auto& t = kTables.t;
  for (; n >= 16; n -= 16, p += 16) {
    const uint32_t a = load32_le(p) ^ c;
    const uint32_t b = load32_le(p + 4);
    const uint32_t d = load32_le(p + 8);
    const uint32_t e = load32_le(p + 12);
    c = t[15][a & 0xff] ^ t[14][(a >> 8) & 0xff] ^ t[13][(a >> 16) & 0xff] ^ t[12][a >> 24] ^
        t[11][b & 0xff] ^ t[10][(b >> 8) & 0xff] ^ t[9][(b >> 16) & 0xff] ^ t[8][b >> 24] ^
        t[7][d & 0xff] ^ t[6][(d >> 8) & 0xff] ^ t[5][(d >> 16) & 0xff] ^ t[4][d >> 24] ^
        t[3][e & 0xff] ^ t[2][(e >> 8) & 0xff] ^ t[1][(e >> 16) & 0xff] ^ t[0][e >> 24];
  }
  for (; n != 0; --n, ++p) c = t[0][(c ^ *p) & 0xff] ^ (c >> 8);
  return c;
}

}  // namespace

bool Crc32HardwareAvailable() {
  const cpu::Features& f = cpu::Detected();
  return f.pclmulqdq && f.sse41;
}

bool SetCrc32HardwareEnabled(bool enabled) { return g_hardwareEnabled.exchange(enabled); }

}  // namespace orvo

uint32_t CRC32Update(uint32_t& reg, const XBlob& data) {
  const uint8_t* p = data.data;
  size_t n = data.size;
  uint32_t c = reg;
  if (n >= orvo::crc32::kFoldMinimum && orvo::g_hardwareEnabled.load(std::memory_order_relaxed) &&
      orvo::Crc32HardwareAvailable()) {
    uint8_t folded[16];
    const size_t taken = orvo::crc32::FoldPclmul(c, p, n, folded);
    c = orvo::Slice16(0, folded, sizeof folded);
    p += taken;
    n -= taken;
  }
  c = orvo::Slice16(c, p, n);
  reg = c;
  return ~c;
}
