// AES-NI block paths for XAES (aes_ni_x86.cpp). Round keys are XAES's
// schedules: 16 bytes per round key in FIPS-197 order, Nr + 1 of them. Call
// only where aes::EngineAvailable(aes::Engine::kAesNi). `in` and `out` do not
// overlap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::aesni {

void EncryptECB(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptECB(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
// `iv` is left holding the last ciphertext block.
void EncryptCBC(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv);
void DecryptCBC(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv);

}  // namespace orvo::aesni

// F<Nr>(schedule, nr, ...) for the standard round counts 10, 12 and 14
// (kernels that unroll their rounds and keep the keys in registers),
// F<0>(schedule, nr, ...) for any other. The count chosen on is the one passed
// to F; `nr` is read more than once, so pass a plain variable.
#define ORVO_BY_ROUNDS(F, schedule, nr, ...)                                                          \
  ((nr) == 10   ? F<10>(schedule, nr, __VA_ARGS__)                                                     \
   : (nr) == 12 ? F<12>(schedule, nr, __VA_ARGS__)                                                     \
   : (nr) == 14 ? F<14>(schedule, nr, __VA_ARGS__)                                                     \
                : F<0>(schedule, nr, __VA_ARGS__))
