// The private-key arithmetic of Decrypt and Sign in constant time: no branch
// and no memory address depends on d, p, q, dP, dQ, qInv or on the values
// computed from them, only on their lengths (limb counts, which the key blob
// states, and the bit lengths of n, p and q). Numbers are held as 64-bit words,
// least significant first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rsa/bigint.h"
#include "rsa/montgomery.h"
#include "rsa/rsa_key.h"

namespace orvo {

// The 64-bit words x's limbs fill (a public length).
inline size_t WordCount(const XBigInt& x) { return (16 * size_t{x.Count()} + 63) / 64; }

// Whether the CRT numbers are those of n and d: p and q odd, distinct and
// above 1 with p * q = n; d, dP and dQ non-zero with dP = d mod (p-1) and
// dQ = d mod (q-1); qInv < p with qInv * q = 1 mod p. Every step runs in
// constant time; only the verdict is made public.
bool CrtNumbersConsistent(const XRSAKey& key);

// x^d mod n as WordCount(n) words, for a public x < n, by the Chinese
// remainder theorem on the constants for p and q (Garner's formula:
// m2 + q ((m1 - m2) qInv mod p)), for a key whose numbers are consistent.
SecretWords PrivateCrt(const XRSAKey& key, const MontgomeryModulus& modP, const MontgomeryModulus& modQ,
                       const XBigInt& x);
// x^d mod n as WordCount(n) words, for a public x < n, with d itself.
SecretWords PrivateDirect(const XRSAKey& key, const MontgomeryModulus& modN, const XBigInt& x);

// All ones when a < b, else zero.
uint64_t LessNumberMask(const XBigInt& a, const XBigInt& b);

// All ones when the n words of a and b are equal, else zero.
uint64_t EqualWordsMask(const uint64_t* a, const uint64_t* b, size_t n);

// The low `length` bytes of the words' value, big-endian (zeros above them).
void StoreBigEndian(uint8_t* out, size_t length, const uint64_t* words, size_t count);

}  // namespace orvo
