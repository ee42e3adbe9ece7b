// The Blowfish core behind XBlowfish: the initial tables (blowfish_tables.cpp),
// the self-tests and key set-up, and the block functions (blowfish_core.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/blowfish.h"

namespace orvo::blowfish {

// The initial P-array P1..P18 and S-boxes S1..S4 (blowfish_tables.cpp).
extern const uint32_t kInitialP[18];
extern const uint32_t kInitialS[4][256];

// The full key set-up of the Blowfish paper with the two self-tests over the
// initial tables `p` and `s` (kInitialP and kInitialS in every real use; tests
// pass damaged copies). The self-tests run step by step beside the key
// schedule, on a private copy; `out` is written only when both pass;
// otherwise the set-up throws as described in blowfish.h (the integrity
// alarm first) and leaves `out` as it was. `length` is 1 to kMaxKeyBytes.
void KeySetup(const uint8_t* key, uint32_t length, const uint32_t (&p)[18], const uint32_t (&s)[4][256],
              State& out);

// One block with the P-array `p` (state.p encrypts, state.pReversed decrypts);
// `in` and `out` may be the same block. Halves are big-endian.
void CryptBlock(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out);
// Runs of whole blocks, several in flight where the mode allows (ECB in either
// direction by the P-array passed); CBC chains from `iv` and leaves the last
// ciphertext block in it. `in` and `out` are distinct buffers that do not overlap.
void CryptECB(const State& state, const uint32_t* p, const uint8_t* in, uint8_t* out, size_t blocks);
void EncryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);
void DecryptCBC(const State& state, const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv);

}  // namespace orvo::blowfish
