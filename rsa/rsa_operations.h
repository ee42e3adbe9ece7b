// The RSA operations of XRSAKey (declared in rsa_key.h) and their mask
// generator.
//
// Encrypt: OAEP encoding (PKCS #1 v2, RFC 8017 7.1) with SHA-1, with these
// fixed differences that stored ciphertexts depend on: the mask generator's
// counter advances by 20; the label hash is the key's iv; EM has no leading
// zero byte (size - 1 bytes); the decoder checks neither a leading byte nor
// the separator's value. Data is cut into chunks of k = size - 42 bytes, one
// size-byte block each. Each block's seed is the SHA-1 digest of 20 bytes of
// operating-system entropy; a seed whose encoded block is not below n is
// drawn again, up to PaddingDrawLimit times. A key whose n is too short for
// that to succeed reliably is refused at once with "Invalid key" / "RSA".
//
// Decrypt: a block at or above n is refused (Encrypt never writes one; it
// would be a second spelling of the block below n); m = c^d mod n (computed
// by the Chinese remainder theorem once the key's numbers have been checked
// consistent and its primes tested, which gives the same value), EM = the low
// size - 1 bytes of m, then the decoding above. A short block, a block not
// below n, a label hash other than iv, or no separator: "Unable to decrypt
// data" / "RSA".
//
// Sign: EM = 01, size - 23 bytes FF, 00, SHA-1(data) (the PKCS #1 v1.5 block
// type 1 around the bare digest), signed with p, q, dP, dQ, qInv by Garner's
// formula; the signature is size bytes. Only a key whose CRT numbers agree
// with n and d (p * q = n, dP = d mod (p-1), dQ = d mod (q-1),
// qInv * q = 1 mod p; checked once per key) signs, and where the public half
// is present the signature is verified with e before it is returned; else
// "Invalid key" / "RSA". Verify: 1 when s < n and s^e mod n gives that
// block, else 0; the signature's value counts, so extra leading zero bytes
// are accepted; a wrong signature is never an alarm.
//
// Every operation needs its key half (private: Decrypt, Sign; public:
// Encrypt, Verify), else "Invalid key" / "RSA". Keys whose numbers make the
// result impossible, or the work unbounded, are refused the same way before
// any arithmetic on them: n zero, one or even; size below 43 (Encrypt,
// Decrypt) or 23 (Sign, Verify); n longer than size bytes; size more than
// kSizeSlack bytes beyond n or above kMaxKeyBytes; a public exponent zero or
// longer than kMaxPublicExponentBytes; d zero or longer than size bytes
// (Decrypt, Sign); p, q, dP, dQ or qInv longer than (size + 1) / 2 +
// kPrimeSlack bytes (Decrypt, Sign); for Sign, p or q zero or even, p not
// above q, CRT numbers that fail the check above, and an encoded block not
// below n. So one call's work is bounded by the size alone, whatever the blob.
//
// The operations keep derived values in the key's cache (rsa_cache.h) under
// a lock: one key may serve any number of threads at once.
#pragma once

#include <cstdint>

#include "base/xblob.h"
#include "rsa/rsa_key.h"

namespace orvo {

inline constexpr uint32_t kSizeSlack = 16;
inline constexpr uint32_t kMaxKeyBytes = 4096;  // a 32768-bit modulus
// e < 2^256, the bound of FIPS 186-4 (generated keys use 65537, or the next
// prime above it that suits the key).
inline constexpr uint32_t kMaxPublicExponentBytes = 32;
// How much longer than half the size a prime or CRT number may be: primes of
// a balanced key have half the modulus's length, give or take a byte.
inline constexpr uint32_t kPrimeSlack = 8;

// T = SHA-1(Z || C) for C = 0, 20, 40, ... (4 bytes big-endian) while C <= L;
// the first L bytes of T. The counter steps by 20, not by 1 as in MGF1 of
// PKCS #1 v2: only the first 20 bytes of a mask agree with MGF1.
XBlob MaskGen(const XBlob& z, uint32_t length);

// How many seeds Encrypt may draw for one block under a modulus n in a key of
// `size` bytes, decided from n and size alone, so that the same key always
// gets the same kind of answer. The encoded block is a uniformly random
// string of 8(size-1) bits, so one draw falls below n with chance at least
// 2^-t, t = 8(size-1) - bitlength(n) + 1 (1 when n has more bits). For
// t <= kMaxPaddingDeficit the limit is 28 * 2^t draws: all of them fail with
// chance at most exp(-28) < 2^-40. For larger t the answer is 0: the key is
// refused without drawing.
inline constexpr uint32_t kMaxPaddingDeficit = 12;
uint32_t PaddingDrawLimit(const XBigInt& n, uint32_t size);

}  // namespace orvo
