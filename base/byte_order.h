// Explicit byte order: load and store 32-bit words big- or little-endian.
#pragma once

#include <cstdint>

namespace orvo {

inline uint32_t load32_be(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint32_t load32_le(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[0]};
}
inline void store32_be(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void store32_le(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t rotl32(uint32_t x, unsigned n) { return (x << n) | (x >> ((32 - n) & 31)); }
inline uint32_t rotr32(uint32_t x, unsigned n) { return (x >> n) | (x << ((32 - n) & 31)); }

}  // namespace orvo
