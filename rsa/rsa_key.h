// XRSAKey: one RSA key pair, or either half of one, generated deterministically
// from two seeds or loaded from key blobs, with the operations of PKCS #1
// style encryption and signing (rsa_operations.cpp).
//
// Key blobs (all numbers big-endian, each number a field: 4-byte big-endian
// length, then its bytes at natural length, the single byte 00 for zero):
//   public:  size (4 bytes), n, e
//   private: size (4 bytes), n, d, p, q, dP, dQ, qInv
#pragma once

#include <cstdint>
#include <memory>

#include "base/xblob.h"
#include "rsa/bigint.h"

class XRSAKey {
 public:
  static constexpr uint32_t kPrivateHalf = 1;  // bit 0 of flags
  static constexpr uint32_t kPublicHalf = 2;   // bit 1 of flags

  // No half present, every number 0, size 0, iv = SHA-1 of 00 00 00 00.
  XRSAKey();
  XRSAKey(const XRSAKey&) = delete;
  XRSAKey& operator=(const XRSAKey&) = delete;
  ~XRSAKey();

  // iv = SHA-1 of the bytes: the label hash that Encrypt and Decrypt use.
  void SetIV(const XBlob& bytes);

  // Replaces every number and size; flags = 3. size is 64 for requests up to
  // 64, 128 up to 128 and 256 above (unsigned). p = NextPrime of the first
  // seed expanded to size/2 bytes, q likewise from the second; the larger
  // becomes p, and equal primes give p = NextPrime(p + 1). e = 65537, or the
  // next prime while it shares a factor with (p-1)(q-1); d = e^-1 mod
  // (p-1)(q-1); dP, dQ, qInv the CRT numbers. The same seeds always give the
  // same key; neither prime is forced to full length. The new key is built
  // aside: when anything is thrown part-way, the earlier key stays whole.
  void GenerateKey(const XBlob& firstSeed, const XBlob& secondSeed, uint32_t requestedSize);

  // Writers: replace `out` by the blob of whatever the numbers hold.
  void GetPublicBlob(XBlob& out) const;
  void GetPrivateBlob(XBlob& out) const;
  // Loaders. A blob under 5 bytes: "Data is corrupted" / "RSA"; a field past
  // the end: "Data is corrupted" / "XBlob" (numbers read before it stay
  // replaced, flags unchanged). When the other half is present, size and n
  // must equal its own (n compared as bytes at natural length), else
  // "Invalid key" / "RSA" and nothing changes. The numbers are not otherwise
  // checked here; the operations refuse impossible ones.
  void SetPublicBlob(const XBlob& blob);
  void SetPrivateBlob(const XBlob& blob);

  // The operations (rsa_operations.h describes them). None changes the key's
  // numbers; they keep derived values (Montgomery constants, the CRT check)
  // in a cache that follows the numbers and is guarded by a lock of its own,
  // so any number of threads may run these const members on one key at once.
  // Changing the key (the loaders, GenerateKey, SetIV, assigning a number)
  // still needs the key to itself, as for any object.
  XBlob Encrypt(const XBlob& data) const;
  XBlob Decrypt(const XBlob& ciphertext) const;
  XBlob Sign(const XBlob& data) const;
  int32_t Verify(const XBlob& data, const XBlob& signature) const;
  // Sign and Verify for a SHA-1 digest computed by the caller (for data fed
  // piece by piece): Sign(data) is SignDigest(SHA1Digest(data)).
  XBlob SignDigest(const XBlob& digest) const;
  int32_t VerifyDigest(const XBlob& digest, const XBlob& signature) const;
  // The bare exponentiations, for x < n: x^d mod n as Decrypt computes it (by
  // the Chinese remainder theorem where the key allows), and x^e mod n as
  // Encrypt and Verify do. They refuse the keys that Decrypt and Verify
  // refuse, with the same alarm.
  XBigInt PrivateRaw(const XBigInt& x) const;
  XBigInt PublicRaw(const XBigInt& x) const;

  XBigInt p;     // the larger prime
  XBigInt q;     // the smaller prime
  XBigInt n;     // modulus p * q
  XBigInt e;     // public exponent
  XBigInt d;     // private exponent, e^-1 mod (p-1)(q-1)
  XBigInt dP;    // d mod (p-1)
  XBigInt dQ;    // d mod (q-1)
  XBigInt qInv;  // q^-1 mod p
  uint32_t size;  // modulus size in bytes
  XBlob iv;       // 20-byte label hash
  uint32_t flags;

  struct Cache;  // rsa_cache.h

 private:
  Cache& Cached() const { return *cache_; }
  std::unique_ptr<Cache> cache_;
};
