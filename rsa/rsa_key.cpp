// XRSAKey: construction, the label hash and key generation from two seeds.
#include "rsa/rsa_key.h"

#include <utility>

#include "digest/seed_expansion.h"
#include "digest/sha1.h"
#include "rsa/primes.h"
#include "rsa/rsa_cache.h"

XRSAKey::XRSAKey() : size(0), iv(16), flags(0), cache_(std::make_unique<Cache>()) {
  XBlob zeros(16);
  zeros.InsertLong(0);
  SetIV(zeros);
}

XRSAKey::~XRSAKey() = default;

void XRSAKey::SetIV(const XBlob& bytes) { iv = SHA1Digest(bytes); }

namespace {

XBigInt PrimeFromSeed(const XBlob& seed, uint32_t bytes) {
  XBigInt candidate;
  candidate.FromBytes(ExpandSeed(seed, bytes));
  return orvo::NextPrime(candidate);
}

}  // namespace

void XRSAKey::GenerateKey(const XBlob& firstSeed, const XBlob& secondSeed, uint32_t requestedSize) {
  size = requestedSize <= 64 ? 64 : requestedSize <= 128 ? 128 : 256;
  p = PrimeFromSeed(firstSeed, size / 2);
  q = PrimeFromSeed(secondSeed, size / 2);
  const int order = p.Compare(q);
  if (order < 0) {
    std::swap(p, q);
  } else if (order == 0) {
    XBigInt next(p);
    p = orvo::NextPrime(next.Add(XBigInt(1)));
  }

  n = p;
  n.Multiply(q);
  XBigInt pMinus1(p);
  pMinus1.Subtract(XBigInt(1));
  XBigInt qMinus1(q);
  qMinus1.Subtract(XBigInt(1));
  XBigInt phi(pMinus1);
  phi.Multiply(qMinus1);

  XBlob exponentBytes(16);
  exponentBytes.FromHex("10001");
  e.FromBytes(exponentBytes);
  for (;;) {
    XBigInt g(e);
    if (g.Gcd(phi).Compare(XBigInt(1)) == 0) break;
    XBigInt next(e);
    e = orvo::NextPrime(next.Add(XBigInt(1)));
  }

  d = e;
  d.InverseMod(phi);
  dP = d;
  dP.Modulo(pMinus1);
  dQ = d;
  dQ.Modulo(qMinus1);
  qInv = q;
  qInv.InverseMod(p);
  flags = kPrivateHalf | kPublicHalf;
}
