// CRC-32 (ISO-HDLC). The values are those of the one-table loop, one look-up
// per byte (register = T[(register ^ byte) & 0xFF] ^ (register >> 8)). The
// portable code takes sixteen bytes at a time with sixteen derived tables
// ("slicing-by-16"), on three stretches of a long input at once; where the
// processor has carry-less multiplication, long inputs are folded with it
// first (crc32_pclmul_x86.cpp).
#include "digest/crc32.h"

#include "base/byte_order.h"
#include "base/cpu_features.h"
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

// One round of slicing-by-16: the register after the 16 bytes at p.
inline uint32_t Round16(uint32_t c, const uint8_t* p) {
  const auto& t = kTables.t;
  const uint32_t a = load32_le(p) ^ c;
  const uint32_t b = load32_le(p + 4);
  const uint32_t d = load32_le(p + 8);
  const uint32_t e = load32_le(p + 12);
  return t[15][a & 0xff] ^ t[14][(a >> 8) & 0xff] ^ t[13][(a >> 16) & 0xff] ^ t[12][a >> 24] ^
         t[11][b & 0xff] ^ t[10][(b >> 8) & 0xff] ^ t[9][(b >> 16) & 0xff] ^ t[8][b >> 24] ^
         t[7][d & 0xff] ^ t[6][(d >> 8) & 0xff] ^ t[5][(d >> 16) & 0xff] ^ t[4][d >> 24] ^
         t[3][e & 0xff] ^ t[2][(e >> 8) & 0xff] ^ t[1][(e >> 16) & 0xff] ^ t[0][e >> 24];
}

uint32_t Slice16(uint32_t c, const uint8_t* p, size_t n) {
  for (; n >= 16; n -= 16, p += 16) c = Round16(c, p);
  for (; n != 0; --n, ++p) c = kTables.t[0][(c ^ *p) & 0xff] ^ (c >> 8);
  return c;
}

// Polynomials modulo P in the register's bit order (bit 31 holds x^0, bit 0
// holds x^31; shifting right multiplies by x).
uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int i = 0; i < 32; ++i, a <<= 1) {
    if ((a & 0x80000000u) != 0) product ^= b;
    b = (b & 1) != 0 ? (b >> 1) ^ 0xedb88320u : b >> 1;
  }
  return product;
}

// x^(8n) mod P: what a register is multiplied by when n bytes follow it.
uint32_t ShiftForBytes(size_t n) {
  uint32_t result = 0x80000000u;  // x^0
  uint32_t power = 0x00800000u;   // x^8
  for (; n != 0; n >>= 1, power = MultiplyModP(power, power)) {
    if ((n & 1) != 0) result = MultiplyModP(result, power);
  }
  return result;
}

// Three stretches of a long input run side by side, so that the look-ups of
// one wait for no other. The register is linear: the register over A || B is
// the register over A shifted by |B| bytes, XOR the register over B from 0.
constexpr size_t kLaneMinimum = 3 * 512;

uint32_t Slice16Lanes(uint32_t c, const uint8_t* p, size_t n) {
  if (n < kLaneMinimum) return Slice16(c, p, n);
  const size_t lane = n / 3 / 16 * 16;
  const uint8_t* p1 = p + lane;
  const uint8_t* p2 = p + 2 * lane;
  uint32_t c0 = c, c1 = 0, c2 = 0;
  for (size_t done = 0; done < lane; done += 16) {
    c0 = Round16(c0, p + done);
    c1 = Round16(c1, p1 + done);
    c2 = Round16(c2, p2 + done);
  }
  const uint32_t shift = ShiftForBytes(lane);
  c = MultiplyModP(MultiplyModP(c0, shift) ^ c1, shift) ^ c2;
  return Slice16(c, p + 3 * lane, n - 3 * lane);
}

bool CarrylessMultiplicationIn(const cpu::Features& f) { return f.pclmulqdq && f.sse41; }

}  // namespace

bool Crc32HardwareAvailable() { return CarrylessMultiplicationIn(cpu::Detected()); }

const char* Crc32PathInUse() { return CarrylessMultiplicationIn(cpu::Usable()) ? "pclmul" : "table"; }

}  // namespace orvo

uint32_t CRC32Update(uint32_t& reg, const XBlob& data) { return CRC32Update(reg, data.data, data.size); }

uint32_t CRC32Update(uint32_t& reg, const uint8_t* bytes, size_t n) {
  const uint8_t* p = bytes;
  uint32_t c = reg;
  if (n >= orvo::crc32::kFoldMinimum && orvo::CarrylessMultiplicationIn(orvo::cpu::Usable())) {
    uint8_t folded[16];
    const size_t taken = orvo::crc32::FoldPclmul(c, p, n, folded);
    c = orvo::Slice16(0, folded, sizeof folded);
    p += taken;
    n -= taken;
  }
  c = orvo::Slice16Lanes(c, p, n);
  reg = c;
  return ~c;
}
