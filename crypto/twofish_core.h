// The Twofish core behind XTwofish: the paper's fixed tables (twofish_tables.cpp),
// the key schedule and the block functions (twofish_core.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/twofish.h"

namespace orvo::twofish {

// The fixed tables of the paper (twofish_tables.cpp).
// q0 and q1: the fixed 8-bit permutations (paper 4.3.5).
extern const uint8_t kQ0[256];
extern const uint8_t kQ1[256];
struct ColumnTables {
  uint32_t col[4][256];
};
// kMdsQ.col[j][x]: MDS column j (paper 4.3.2, over GF(2^8) mod 0x169) times the
// byte that the last q permutation of byte position j gives for x (q1, q0, q1,
// q0 for j = 0..3), as a little-endian word.
extern const ColumnTables kMdsQ;
// kRs.col[c][x]: column c of the Reed-Solomon matrix RS (paper 4.3, over
// GF(2^8) mod 0x14D) times x, as a little-endian word; S_i is the exclusive-or
// of kRs.col[c][m(8i+c)] over c = 0..7.
struct RsTables {
  uint32_t col[8][256];
};
extern const RsTables kRs;

// The Twofish key schedule (paper 4.3) of k 64-bit words (k = 2, 3 or 4) at `key`.
void ExpandKey(const uint8_t* key, uint32_t k, Schedule& out);

// One block; `in` and `out` may be the same block.
void EncryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out);
void DecryptBlock(const Schedule& schedule, const uint8_t* in, uint8_t* out);
// Runs of whole blocks, several in flight; CBC chains from `iv` and leaves the
// last ciphertext block in it. `in` and `out` may be the same buffer.
void EncryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptECB(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks);
void EncryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);
void DecryptCBC(const Schedule& schedule, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);

}  // namespace orvo::twofish
