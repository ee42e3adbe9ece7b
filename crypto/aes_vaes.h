// VAES block paths for XAES (aes_vaes_x86.cpp): the AES rounds on two (ymm,
// AVX2) or four (zmm, AVX-512F) blocks per instruction. Same schedules and
// contract as the AES-NI paths (aes_ni.h); call the 256-bit functions only
// when the processor has VAES and AVX2, the 512-bit ones only when it also
// has AVX-512F. CBC encryption is one chain and stays with AES-NI.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::vaes256 {

void EncryptECB(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptECB(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
// `iv` is left holding the last ciphertext block.
void DecryptCBC(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv);

}  // namespace orvo::vaes256

namespace orvo::vaes512 {

void EncryptECB(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptECB(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks);
void DecryptCBC(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv);

}  // namespace orvo::vaes512
