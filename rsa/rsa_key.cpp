// XRSAKey: construction, the label hash and key generation from two seeds.
#include "rsa/rsa_key.h"

#include <atomic>
#include <utility>

#include "digest/seed_expansion.h"
#include "digest/sha1.h"
#include "rsa/primes.h"
#include "rsa/rsa_cache.h"
#include "rsa/test_hooks.h"

XRSAKey::XRSAKey() : size(0), iv(16), flags(0), cache_(std::make_unique<Cache>()) {
  XBlob zeros(16);
  zeros.InsertLong(0);
  SetIV(zeros);
}

XRSAKey::~XRSAKey() = default;

void XRSAKey::SetIV(const XBlob& bytes) { iv = SHA1Digest(bytes); }

namespace {

std::atomic<orvo::PrimeSearch> g_primeSearch{nullptr};  // null: orvo::NextPrime

XBigInt SearchPrime(const XBigInt& from) {
  const orvo::PrimeSearch search = g_primeSearch.load(std::memory_order_relaxed);
  return search != nullptr ? search(from) : orvo::NextPrime(from);
}

XBigInt PrimeFromSeed(const XBlob& seed, uint32_t bytes) {
  XBigInt candidate;
  candidate.FromBytes(ExpandSeed(seed, bytes));
  return SearchPrime(candidate);
}

}  // namespace

#if ORVO_TEST_HOOKS
namespace orvo {

PrimeSearch SetPrimeSearchForTesting(PrimeSearch search) { return g_primeSearch.exchange(search); }

}  // namespace orvo
#endif

void XRSAKey::GenerateKey(const XBlob& firstSeed, const XBlob& secondSeed, uint32_t requestedSize) {
  // The new key is built aside and installed only once it is whole: anything
  // thrown on the way (memory running out, an alarm) leaves the earlier key.
  const uint32_t newSize = requestedSize <= 64 ? 64 : requestedSize <= 128 ? 128 : 256;
  XBigInt newP = PrimeFromSeed(firstSeed, newSize / 2);
  XBigInt newQ = PrimeFromSeed(secondSeed, newSize / 2);
  const int order = newP.Compare(newQ);
  if (order < 0) {
    std::swap(newP, newQ);
  } else if (order == 0) {
    XBigInt next(newP);
    newP = SearchPrime(next.Add(XBigInt(1)));
  }

  XBigInt newN(newP);
  newN.Multiply(newQ);
  XBigInt pMinus1(newP);
  pMinus1.Subtract(XBigInt(1));
  XBigInt qMinus1(newQ);
  qMinus1.Subtract(XBigInt(1));
  XBigInt phi(pMinus1);
  phi.Multiply(qMinus1);

  XBlob exponentBytes(16);
  exponentBytes.FromHex("10001");
  XBigInt newE;
  newE.FromBytes(exponentBytes);
  for (;;) {
    XBigInt g(newE);
    if (g.Gcd(phi).Compare(XBigInt(1)) == 0) break;
    XBigInt next(newE);
    newE = SearchPrime(next.Add(XBigInt(1)));
  }

  XBigInt newD(newE);
  newD.InverseMod(phi);
  XBigInt newDP(newD);
  newDP.Modulo(pMinus1);
  XBigInt newDQ(newD);
  newDQ.Modulo(qMinus1);
  XBigInt newQInv(newQ);
  newQInv.InverseMod(newP);

  // Nothing below throws: XBigInt's move assignment is noexcept.
  p = std::move(newP);
  q = std::move(newQ);
  n = std::move(newN);
  e = std::move(newE);
  d = std::move(newD);
  dP = std::move(newDP);
  dQ = std::move(newDQ);
  qInv = std::move(newQInv);
  size = newSize;
  flags = kPrivateHalf | kPublicHalf;
}
