// The AES tables (FIPS-197); aes_tables.cpp says how each is derived.
#pragma once

#include <cstdint>

namespace orvo::aes_tables {

extern const uint8_t kSbox[256];     // SubBytes
extern const uint8_t kInvSbox[256];  // InvSubBytes
// SubBytes combined with MixColumns for a byte in row 0, little-endian column
// word; rotate left by 8*r bits for row r.
extern const uint32_t kTe[256];
// InvSubBytes combined with InvMixColumns, likewise.
extern const uint32_t kTd[256];

}  // namespace orvo::aes_tables
