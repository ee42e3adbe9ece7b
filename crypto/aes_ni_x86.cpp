// AES with the x86 AES-NI instructions (FIPS-197 rounds in hardware).
//
// AESENC performs ShiftRows, SubBytes, MixColumns and AddRoundKey, AESENCLAST
// the same without MixColumns; AESDEC and AESDECLAST are the rounds of the
// equivalent inverse cipher (FIPS-197 5.3.5), so they take XAES's decryption
// schedule as it is. The schedules are arrays of little-endian column words,
// which on x86 lie in memory in FIPS-197 byte order: a round key is one
// unaligned 16-byte load. Several independent blocks are kept in flight in ECB
// and CBC decryption; CBC encryption is one chain by nature.
//
// Compiled for every x86 target with per-function target attributes and
// called only while aes::HardwareInUse() is true (the processor reports AES-NI
// and nothing hides it); elsewhere the stand-ins at the end are never reached.
#include "crypto/aes_ni.h"

#include "base/wipe.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Helpers are always inlined, also in unoptimised builds, so that everything
// the work puts on the stack lies in the frame of one kernel function, whose
// depth the entry points measure and wipe.
#define ORVO_AESNI __attribute__((target("aes,sse4.1"), always_inline))
#define ORVO_AESNI_NOINLINE __attribute__((target("aes,sse4.1"), noinline))

namespace orvo::aesni {
namespace {

constexpr size_t kLanes = 8;

struct RoundKeys {
  __m128i k[15];
};

// Unrolled for the fixed counts, so that the keys go straight to registers.
template <uint32_t kFixed>
ORVO_AESNI inline void LoadKeys(const uint32_t* schedule, uint32_t rounds, RoundKeys& keys) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
#pragma GCC unroll 15
  for (uint32_t r = 0; r <= nr; ++r) {
    keys.k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(schedule + 4 * r));
  }
}

ORVO_AESNI inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
ORVO_AESNI inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// kFixed is Nr when known at compile time (10, 12, 14: the round loops unroll
// and the keys stay in registers), 0 for any other count taken from `rounds`.
template <uint32_t kFixed>
ORVO_AESNI inline __m128i EncryptOne(const RoundKeys& keys, uint32_t rounds, __m128i b) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
  b = _mm_xor_si128(b, keys.k[0]);
#pragma GCC unroll 14
  for (uint32_t r = 1; r < nr; ++r) b = _mm_aesenc_si128(b, keys.k[r]);
  return _mm_aesenclast_si128(b, keys.k[nr]);
}

template <uint32_t kFixed>
ORVO_AESNI inline __m128i DecryptOne(const RoundKeys& keys, uint32_t rounds, __m128i b) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
  b = _mm_xor_si128(b, keys.k[nr]);
#pragma GCC unroll 14
  for (uint32_t r = nr - 1; r >= 1 && r < nr; --r) b = _mm_aesdec_si128(b, keys.k[r]);
  return _mm_aesdeclast_si128(b, keys.k[0]);
}

template <uint32_t kFixed>
ORVO_AESNI inline void EncryptLanes(const RoundKeys& keys, uint32_t rounds, __m128i* b) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
  for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_xor_si128(b[j], keys.k[0]);
#pragma GCC unroll 14
  for (uint32_t r = 1; r < nr; ++r) {
    const __m128i k = keys.k[r];
#pragma GCC unroll 8
    for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_aesenc_si128(b[j], k);
  }
  for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_aesenclast_si128(b[j], keys.k[nr]);
}

template <uint32_t kFixed>
ORVO_AESNI inline void DecryptLanes(const RoundKeys& keys, uint32_t rounds, __m128i* b) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
  for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_xor_si128(b[j], keys.k[nr]);
#pragma GCC unroll 14
  for (uint32_t r = nr - 1; r >= 1 && r < nr; --r) {
    const __m128i k = keys.k[r];
#pragma GCC unroll 8
    for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_aesdec_si128(b[j], k);
  }
  for (size_t j = 0; j < kLanes; ++j) b[j] = _mm_aesdeclast_si128(b[j], keys.k[0]);
}

template <uint32_t kFixed>
ORVO_AESNI inline void EcbEncrypt(const RoundKeys& keys, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (size_t j = 0; j < kLanes; ++j) b[j] = Load(in + 16 * j);
    EncryptLanes<kFixed>(keys, rounds, b);
    for (size_t j = 0; j < kLanes; ++j) Store(out + 16 * j, b[j]);
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) Store(out, EncryptOne<kFixed>(keys, rounds, Load(in)));
}

template <uint32_t kFixed>
ORVO_AESNI inline void EcbDecrypt(const RoundKeys& keys, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (size_t j = 0; j < kLanes; ++j) b[j] = Load(in + 16 * j);
    DecryptLanes<kFixed>(keys, rounds, b);
    for (size_t j = 0; j < kLanes; ++j) Store(out + 16 * j, b[j]);
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) Store(out, DecryptOne<kFixed>(keys, rounds, Load(in)));
}

template <uint32_t kFixed>
ORVO_AESNI inline void CbcEncrypt(const RoundKeys& keys, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                           uint8_t* iv) {
  const uint32_t nr = kFixed != 0 ? kFixed : rounds;
  __m128i chain = Load(iv);
  if (kFixed != 0 && blocks != 0) {
    // The chain carries only the rounds. The next block's whitened input,
    // C[i] ^ P[i+1] ^ K0, is AESENCLAST of the state before the last round
    // with K[Nr] ^ K0 ^ P[i+1] as its round key (AESENCLAST ends by adding
    // its key): a second AESENCLAST beside the one giving C[i], instead of an
    // XOR after it. Both keys meet the input off the critical path.
    const __m128i lastAndFirst = _mm_xor_si128(keys.k[nr], keys.k[0]);
    __m128i state = _mm_xor_si128(chain, _mm_xor_si128(Load(in), keys.k[0]));
    for (;; in += 16, out += 16) {
#pragma GCC unroll 14
      for (uint32_t r = 1; r < nr; ++r) state = _mm_aesenc_si128(state, keys.k[r]);
      chain = _mm_aesenclast_si128(state, keys.k[nr]);
      Store(out, chain);
      if (--blocks == 0) break;
      state = _mm_aesenclast_si128(state, _mm_xor_si128(lastAndFirst, Load(in + 16)));
    }
    Store(iv, chain);
    return;
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    // The input meets round key 0 off the chain's critical path, which then
    // carries one XOR and the rounds; the empty asm keeps the compiler from
    // reassociating the two XORs back onto the chain.
    __m128i whitened = _mm_xor_si128(Load(in), keys.k[0]);
    __asm__("" : "+x"(whitened));
    chain = _mm_xor_si128(chain, whitened);
#pragma GCC unroll 14
    for (uint32_t r = 1; r < nr; ++r) chain = _mm_aesenc_si128(chain, keys.k[r]);
    chain = _mm_aesenclast_si128(chain, keys.k[nr]);
    Store(out, chain);
  }
  Store(iv, chain);
}

template <uint32_t kFixed>
ORVO_AESNI inline void CbcDecrypt(const RoundKeys& keys, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                           uint8_t* iv) {
  __m128i previous = Load(iv);
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (size_t j = 0; j < kLanes; ++j) b[j] = Load(in + 16 * j);
    DecryptLanes<kFixed>(keys, rounds, b);
    Store(out, _mm_xor_si128(b[0], previous));
    for (size_t j = 1; j < kLanes; ++j) Store(out + 16 * j, _mm_xor_si128(b[j], Load(in + 16 * (j - 1))));
    previous = Load(in + 16 * (kLanes - 1));
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    const __m128i c = Load(in);
    Store(out, _mm_xor_si128(DecryptOne<kFixed>(keys, rounds, c), previous));
    previous = c;
  }
  Store(iv, previous);
}

// The work of the four entry points below, one kernel per round count
// (kFixed) so that the common counts get frames of their own, as small as
// their work allows. The round keys stay in registers where they fit; what
// the compiler spills (round keys, blocks) lies in these frames, and each
// returns its stack pointer so that its entry point wipes exactly the stack
// it used.
template <uint32_t kFixed>
ORVO_AESNI_NOINLINE uintptr_t EncryptECBKeys(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in,
                                             uint8_t* out, size_t blocks) {
  RoundKeys keys;
  LoadKeys<kFixed>(encSchedule, rounds, keys);
  EcbEncrypt<kFixed>(keys, rounds, in, out, blocks);
  return StackPointer();
}

template <uint32_t kFixed>
ORVO_AESNI_NOINLINE uintptr_t DecryptECBKeys(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in,
                                             uint8_t* out, size_t blocks) {
  RoundKeys keys;
  LoadKeys<kFixed>(decSchedule, rounds, keys);
  EcbDecrypt<kFixed>(keys, rounds, in, out, blocks);
  return StackPointer();
}

template <uint32_t kFixed>
ORVO_AESNI_NOINLINE uintptr_t EncryptCBCKeys(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in,
                                             uint8_t* out, size_t blocks, uint8_t* iv) {
  RoundKeys keys;
  LoadKeys<kFixed>(encSchedule, rounds, keys);
  CbcEncrypt<kFixed>(keys, rounds, in, out, blocks, iv);
  return StackPointer();
}

template <uint32_t kFixed>
ORVO_AESNI_NOINLINE uintptr_t DecryptCBCKeys(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in,
                                             uint8_t* out, size_t blocks, uint8_t* iv) {
  RoundKeys keys;
  LoadKeys<kFixed>(decSchedule, rounds, keys);
  CbcDecrypt<kFixed>(keys, rounds, in, out, blocks, iv);
  return StackPointer();
}

}  // namespace

void EncryptECB(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  const uintptr_t top = StackPointer();
  WipeDeadStackDownTo(top, ORVO_BY_ROUNDS(EncryptECBKeys, encSchedule, rounds, in, out, blocks));
}

void DecryptECB(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  const uintptr_t top = StackPointer();
  WipeDeadStackDownTo(top, ORVO_BY_ROUNDS(DecryptECBKeys, decSchedule, rounds, in, out, blocks));
}

void EncryptCBC(const uint32_t* encSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv) {
  const uintptr_t top = StackPointer();
  WipeDeadStackDownTo(top, ORVO_BY_ROUNDS(EncryptCBCKeys, encSchedule, rounds, in, out, blocks, iv));
}

void DecryptCBC(const uint32_t* decSchedule, uint32_t rounds, const uint8_t* in, uint8_t* out, size_t blocks,
                uint8_t* iv) {
  const uintptr_t top = StackPointer();
  WipeDeadStackDownTo(top, ORVO_BY_ROUNDS(DecryptCBCKeys, decSchedule, rounds, in, out, blocks, iv));
}

}  // namespace orvo::aesni

#else  // not x86: no AES-NI; XAES keeps to its tables and never calls these.

#include "base/cpu_features.h"

namespace orvo::aesni {

void EncryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void DecryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void EncryptCBC(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {
  cpu::HardwarePathUnreachable();
}
void DecryptCBC(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {
  cpu::HardwarePathUnreachable();
}

}  // namespace orvo::aesni

#endif
