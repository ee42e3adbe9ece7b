// AES with the VAES instructions: VAESENC and its kin run the AES rounds of
// AES-NI (aes_ni_x86.cpp) on every 128-bit lane of a ymm or zmm register, so
// one instruction advances two or four independent blocks. ECB in both
// directions and CBC decryption keep many vectors in flight; each round key is
// broadcast to all lanes once per call. No tables, no data-dependent branches
// or addresses: the time depends only on the length.
//
// Compiled for every x86 target with per-function target attributes (the rest
// of the build keeps its baseline) and called only after the processor
// reports the features. The compiler ends each function that used ymm or zmm
// registers with VZEROUPPER, so SSE code after it pays no transition penalty.
#include "crypto/aes_vaes.h"

#include "base/wipe.h"
#include "crypto/aes_ni.h"

#if defined(__x86_64__) || defined(__i386__)

// GCC 12's AVX-512 intrinsics pass an "undefined" vector built from itself
// as the unused merge source of broadcasts and alignments, which its own
// -Wuninitialized and -Wmaybe-uninitialized then report; it is never read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

namespace orvo {

namespace vaes256 {
namespace {

#define ORVO_VAES __attribute__((target("aes,vaes,avx2"), always_inline)) inline
#define ORVO_VAES_NOINLINE __attribute__((target("aes,vaes,avx2"), noinline))

using V = __m256i;
constexpr size_t kBlocks = 2;
// 16 ymm registers: the round keys of AES-128 and four vectors.
constexpr size_t kLanes = 4;

ORVO_VAES V Bcast(const uint32_t* p) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
ORVO_VAES V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
ORVO_VAES void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
// m is 1 here.
ORVO_VAES V LoadPart(const uint8_t* p, size_t) {
  return _mm256_zextsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
ORVO_VAES void StorePart(uint8_t* p, V v, size_t) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
}
ORVO_VAES V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
ORVO_VAES V Enc(V b, V k) { return _mm256_aesenc_epi128(b, k); }
ORVO_VAES V EncLast(V b, V k) { return _mm256_aesenclast_epi128(b, k); }
ORVO_VAES V Dec(V b, V k) { return _mm256_aesdec_epi128(b, k); }
ORVO_VAES V DecLast(V b, V k) { return _mm256_aesdeclast_epi128(b, k); }
ORVO_VAES V Previous(V v, __m128i last) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(last), _mm256_castsi256_si128(v), 1);
}

}  // namespace

#include "crypto/aes_vaes_kernels.inc"

#undef ORVO_VAES
#undef ORVO_VAES_NOINLINE

}  // namespace vaes256

namespace vaes512 {
namespace {

#define ORVO_VAES __attribute__((target("aes,vaes,avx512f"), always_inline)) inline
#define ORVO_VAES_NOINLINE __attribute__((target("aes,vaes,avx512f"), noinline))

using V = __m512i;
constexpr size_t kBlocks = 4;
// 32 zmm registers: up to 15 round keys and eight vectors (32 blocks).
constexpr size_t kLanes = 8;

ORVO_VAES V Bcast(const uint32_t* p) {
  return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
ORVO_VAES V Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
ORVO_VAES void Store(uint8_t* p, V v) { _mm512_storeu_si512(p, v); }
// The first m blocks (four 32-bit elements each); masked-off elements are
// neither read nor written, so nothing past the buffers is touched.
ORVO_VAES __mmask16 PartMask(size_t m) { return static_cast<__mmask16>((1u << (4 * m)) - 1); }
ORVO_VAES V LoadPart(const uint8_t* p, size_t m) { return _mm512_maskz_loadu_epi32(PartMask(m), p); }
ORVO_VAES void StorePart(uint8_t* p, V v, size_t m) { _mm512_mask_storeu_epi32(p, PartMask(m), v); }
ORVO_VAES V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
ORVO_VAES V Enc(V b, V k) { return _mm512_aesenc_epi128(b, k); }
ORVO_VAES V EncLast(V b, V k) { return _mm512_aesenclast_epi128(b, k); }
ORVO_VAES V Dec(V b, V k) { return _mm512_aesdec_epi128(b, k); }
ORVO_VAES V DecLast(V b, V k) { return _mm512_aesdeclast_epi128(b, k); }
// (v : last-in-every-lane) shifted by six 64-bit words: last, v0, v1, v2.
ORVO_VAES V Previous(V v, __m128i last) { return _mm512_alignr_epi64(v, _mm512_broadcast_i32x4(last), 6); }

}  // namespace

#include "crypto/aes_vaes_kernels.inc"

#undef ORVO_VAES
#undef ORVO_VAES_NOINLINE

}  // namespace vaes512

}  // namespace orvo

#pragma GCC diagnostic pop

#else  // not x86: no VAES; XAES never calls these.

#include "base/cpu_features.h"

namespace orvo {
namespace vaes256 {
void EncryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void DecryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void DecryptCBC(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) { cpu::HardwarePathUnreachable(); }
}  // namespace vaes256
namespace vaes512 {
void EncryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void DecryptECB(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t) { cpu::HardwarePathUnreachable(); }
void DecryptCBC(const uint32_t*, uint32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) { cpu::HardwarePathUnreachable(); }
}  // namespace vaes512
}  // namespace orvo

#endif
