// CRC-32 (ISO-HDLC), one table look-up per byte.
#include "digest/crc32.h"

namespace {

// The standard table of the reflected polynomial 0xEDB88320: entry i is the
// register after eight shift-and-conditional-xor steps starting from i.
struct Crc32Table {
  uint32_t entry[256];
  constexpr Crc32Table() : entry() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
      entry[i] = c;
    }
  }
};
constexpr Crc32Table kTable;

}  // namespace

uint32_t CRC32Update(uint32_t& reg, const XBlob& data) {
  uint32_t c = reg;
  for (uint32_t i = 0; i < data.size; ++i) c = kTable.entry[(c ^ data.data[i]) & 0xff] ^ (c >> 8);
  reg = c;
  return ~c;
}
