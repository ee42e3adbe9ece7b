// Encrypt, Decrypt, Sign and Verify of XRSAKey, and the mask generator
// (rsa_operations.h describes the formats).
#include "rsa/rsa_operations.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/wipe.h"
#include "digest/random.h"
#include "digest/sha1.h"
#include "rsa/primes.h"
#include "rsa/rsa_cache.h"
#include "rsa/test_hooks.h"

namespace orvo {

namespace {

constexpr uint32_t kHashBytes = 20;

EntropySource g_entropy = nullptr;

[[noreturn]] void InvalidKey() { throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA"); }
[[noreturn]] void UnableToDecrypt() { throw XCryptoAlarm(alarm_text::kUnableToDecrypt, "RSA"); }

uint32_t ByteLength(const XBigInt& x) { return (x.BitLength() + 7) / 8; }

bool IsOddAboveOne(const XBigInt& x) { return !x.IsEven() && x.Compare(XBigInt(1)) > 0; }

void RequireHalf(const XRSAKey& key, uint32_t half) {
  if ((key.flags & half) == 0) InvalidKey();
}

// n odd and above 1; size at least minSize, at least n's length and at most
// kSizeSlack bytes beyond it, and at most kMaxKeyBytes.
void RequireModulus(const XRSAKey& key, uint32_t minSize) {
  const uint32_t length = ByteLength(key.n);
  if (!IsOddAboveOne(key.n) || key.size < minSize || key.size < length || key.size - length > kSizeSlack ||
      key.size > kMaxKeyBytes) {
    InvalidKey();
  }
}

void RequireExponent(const XRSAKey& key, const XBigInt& x) {
  if (x.IsZero() || ByteLength(x) > key.size) InvalidKey();
}

// The bound on p, q, dP, dQ and qInv: half the size, rounded up, and
// kPrimeSlack bytes.
uint32_t HalfBound(const XRSAKey& key) { return (key.size + 1) / 2 + kPrimeSlack; }

bool PublicExponentFits(const XBigInt& e) { return !e.IsZero() && ByteLength(e) <= kMaxPublicExponentBytes; }

// The private numbers within their bounds: d non-zero and at most size bytes;
// p, q, dP, dQ and qInv at most HalfBound bytes. Decrypt, Sign and
// PrivateRaw refuse any other key before touching the numbers, so that the
// work of one call is bounded by the key's size alone.
void RequirePrivateNumbers(const XRSAKey& key) {
  RequireExponent(key, key.d);
  const uint32_t half = HalfBound(key);
  for (const XBigInt* x : {&key.p, &key.q, &key.dP, &key.dQ, &key.qInv}) {
    if (ByteLength(*x) > half) InvalidKey();
  }
}

bool MontgomeryApplies(const XBigInt& m) {
  return IsOddAboveOne(m) && m.BitLength() <= 64 * MontgomeryModulus::kMaxWords;
}

using ModulusPtr = std::shared_ptr<const MontgomeryModulus>;

// The Montgomery constants for m, kept in `slot` while m (and the kernel
// chosen for its length) stays the same; null where Montgomery form does not
// apply. The caller holds the cache's lock.
ModulusPtr ModulusFor(ModulusPtr& slot, const XBigInt& m) {
  if (!MontgomeryApplies(m)) return nullptr;
  if (!slot || slot->Modulus().Compare(m) != 0 || slot->Path() != MontPathFor(m.BitLength())) {
    slot = std::make_shared<const MontgomeryModulus>(m);
  }
  return slot;
}

// Clears the stack an exponentiation used below the caller's frame. Where
// 64-bit words live in register pairs (32-bit x86), the modulus constants and
// the kernels spill words of m, a private prime for Decrypt and Sign, to stack
// slots that nothing else overwrites; the kernels' frames reach a few KiB deep.
__attribute__((noinline)) void WipeExponentiationStack() noexcept {
  unsigned char region[16384];
  SecureWipe(region, sizeof region);
}

// base^e mod m, through `mod` (the constants for m) when there are any.
XBigInt PowModWith(const ModulusPtr& mod, const XBigInt& base, const XBigInt& e, const XBigInt& m) {
  if (mod) {
    XBigInt result = mod->Pow(base, e);
    WipeExponentiationStack();
    return result;
  }
  XBigInt result(base);
  return std::move(result.PowMod(e, m));
}

// Whether the CRT numbers are those of n and d: p and q odd, distinct and
// above 1 with p * q = n, d and its reductions dP = d mod (p-1),
// dQ = d mod (q-1) non-zero, and qInv * q = 1 mod p. For the n of a real key
// (a product of two primes) no other p and q multiply to it, so this is what
// Sign needs: the halves then agree with d, and the signature is m^d mod n.
bool CrtConsistent(const XRSAKey& key) {
  if (!IsOddAboveOne(key.p) || !IsOddAboveOne(key.q) || key.p.Compare(key.q) == 0) return false;
  if (key.d.IsZero() || key.dP.IsZero() || key.dQ.IsZero() || key.qInv.Compare(key.p) >= 0) return false;
  XBigInt product(key.p);
  if (product.Multiply(key.q).Compare(key.n) != 0) return false;
  const XBigInt one(1);
  XBigInt pMinus1(key.p);
  pMinus1.Subtract(one);
  XBigInt qMinus1(key.q);
  qMinus1.Subtract(one);
  XBigInt reduced(key.d);
  if (reduced.Modulo(pMinus1).Compare(key.dP) != 0) return false;
  reduced = key.d;
  if (reduced.Modulo(qMinus1).Compare(key.dQ) != 0) return false;
  XBigInt check(key.qInv);
  return check.MulMod(key.q, key.p).Compare(one) == 0;
}

// The CRT verdicts for the key's present numbers, each reached at most once
// while they stay the same; the caller holds the lock. Consistency (above)
// is cheap. Decrypt also needs p and q prime (strong probable primes after
// trial division), because it must give c^d mod n for whatever n a blob
// holds: then c^d = c^dP (mod p) for every c, by Fermat's little theorem
// when p does not divide c and because both sides are 0 when it does;
// likewise modulo q; and the Chinese remainder theorem joins the two.
bool CrtUsable(const XRSAKey& key, XRSAKey::Cache& cache, bool needPrimes) {
  const XBigInt* numbers[7] = {&key.n, &key.d, &key.p, &key.q, &key.dP, &key.dQ, &key.qInv};
  bool same = cache.crtChecked;
  for (int i = 0; i < 7 && same; ++i) same = cache.crtNumbers[i].Compare(*numbers[i]) == 0;
  if (!same) {
    cache.crtChecked = false;  // stays so if the check throws part-way
    cache.primesChecked = false;
    cache.crtConsistent = CrtConsistent(key);
    for (int i = 0; i < 7; ++i) cache.crtNumbers[i] = *numbers[i];
    cache.crtChecked = true;
  }
  if (!cache.crtConsistent) return false;
  if (!needPrimes) return true;
  if (!cache.primesChecked) {
    cache.primesArePrime = IsStrongProbablePrime(key.p) && IsStrongProbablePrime(key.q);
    cache.primesChecked = true;
  }
  return cache.primesArePrime;
}

// The constants for n, for Encrypt, Verify and PublicRaw.
ModulusPtr PublicModulus(const XRSAKey& key, XRSAKey::Cache& cache) {
  std::lock_guard<std::mutex> held(cache.lock);
  return ModulusFor(cache.modN, key.n);
}

// What a private operation works with: the CRT verdict and the constants for
// p and q when it holds, else those for n.
struct PrivateParts {
  bool crt = false;
  ModulusPtr modN, modP, modQ;
};

// Decrypt and PrivateRaw take the CRT path only for consistent numbers whose
// primes pass the test; Sign (needPrimes false) only for consistent ones.
PrivateParts PrivatePartsOf(const XRSAKey& key, XRSAKey::Cache& cache, bool needPrimes) {
  std::lock_guard<std::mutex> held(cache.lock);
  PrivateParts parts;
  parts.crt = CrtUsable(key, cache, needPrimes);
  if (parts.crt) {
    parts.modP = ModulusFor(cache.modP, key.p);
    parts.modQ = ModulusFor(cache.modQ, key.q);
  } else {
    parts.modN = ModulusFor(cache.modN, key.n);
  }
  return parts;
}

// x1^e1 mod m1 and x2^e2 mod m2 (the halves of a private operation by the
// Chinese remainder theorem), together where the kernel can pair them.
void PowModPair(const PrivateParts& parts, const XBigInt& x1, const XBigInt& e1, const XBigInt& m1, XBigInt& r1,
                const XBigInt& x2, const XBigInt& e2, const XBigInt& m2, XBigInt& r2) {
  if (parts.modP && parts.modQ) {
    MontgomeryModulus::PowPair(*parts.modP, x1, e1, r1, *parts.modQ, x2, e2, r2);
    WipeExponentiationStack();
    return;
  }
  r1 = PowModWith(parts.modP, x1, e1, m1);
  r2 = PowModWith(parts.modQ, x2, e2, m2);
}

XBlob BlobOfBytes(const uint8_t* bytes, uint32_t n) {
  XBlob blob(std::max<uint32_t>(n, 16));
  blob.Append(bytes, n);
  return blob;
}

void XorInto(uint8_t* target, const XBlob& mask) {
  for (uint32_t i = 0; i < mask.size; ++i) target[i] ^= mask.data[i];
}

// The block 01 FF .. FF 00 H of size - 1 bytes around the SHA-1 digest H.
XBlob SignatureBlock(uint32_t size, const XBlob& digest) {
  XBlob em(size);
  em.InsertByte(0x01, 0);
  em.size = 1 + (size - 23);
  std::memset(em.data + 1, 0xFF, size - 23);
  em.InsertByte(0x00, em.size);
  em.Append(digest.data, digest.size);
  return em;
}

// (a - b) mod p for a < p and any b: Garner's step.
XBigInt SubtractModP(const XBigInt& a, const XBigInt& b, const XBigInt& p) {
  XBigInt bp(b);
  if (bp.Compare(p) >= 0) bp.Modulo(p);
  XBigInt t(a);
  if (t.Compare(bp) >= 0) return std::move(t.Subtract(bp));
  t.Add(p);
  return std::move(t.Subtract(bp));
}

// c^d mod n for a key that passed Decrypt's checks.
XBigInt PrivatePower(const XRSAKey& key, const PrivateParts& parts, const XBigInt& c) {
  if (!parts.crt) return PowModWith(parts.modN, c, key.d, key.n);
  XBigInt m1, m2;
  PowModPair(parts, c, key.dP, key.p, m1, c, key.dQ, key.q, m2);
  XBigInt h = SubtractModP(m1, m2, key.p);
  h.MulMod(key.qInv, key.p);
  return std::move(h.Multiply(key.q).Add(m2));
}

void RequireDecryptKey(const XRSAKey& key) {
  RequireHalf(key, XRSAKey::kPrivateHalf);
  RequireModulus(key, 43);
  RequirePrivateNumbers(key);
}

void RequirePublicKey(const XRSAKey& key, uint32_t minSize) {
  RequireHalf(key, XRSAKey::kPublicHalf);
  RequireModulus(key, minSize);
  if (!PublicExponentFits(key.e)) InvalidKey();
}

}  // namespace

XBlob MaskGen(const XBlob& z, uint32_t length) {
  // The counter runs while C <= L, so when L is a multiple of 20 the last
  // digest is cut off entirely; it is not computed, the mask is the same.
  XBlob input(z.size + 4);
  input.Append(z.data, z.size);
  input.InsertLong(0);
  XBlob mask(std::max<uint32_t>(length + kHashBytes, 16));
  for (uint64_t counter = 0; counter < length; counter += kHashBytes) {
    store32_be(input.data + z.size, static_cast<uint32_t>(counter));
    const XBlob digest = SHA1Digest(input);
    mask.Append(digest.data, digest.size);
  }
  mask.size = length;
  return mask;
}

uint32_t PaddingDrawLimit(const XBigInt& n, uint32_t size) {
  const uint64_t blockBits = 8 * (uint64_t{size} - 1);
  const uint64_t bits = n.BitLength();
  const uint64_t deficit = bits > blockBits ? 1 : blockBits - bits + 1;
  if (size == 0 || deficit > kMaxPaddingDeficit) return 0;
  return 28u << deficit;  // 28 * 2^t > 40 ln 2 * 2^t
}

#if ORVO_TEST_HOOKS
EntropySource SetPaddingEntropyForTesting(EntropySource source) {
  const EntropySource previous = g_entropy;
  g_entropy = source;
  return previous;
}
#endif

}  // namespace orvo

using orvo::ByteLength;

XBlob XRSAKey::Encrypt(const XBlob& data) const {
  using namespace orvo;
  RequirePublicKey(*this, 43);
  XBlob out(16);
  if (data.size == 0) return out;

  const uint32_t drawLimit = PaddingDrawLimit(n, size);
  if (drawLimit == 0) InvalidKey();  // a block below n is unlikely for any seed
  const uint32_t k = size - 42;
  const uint32_t dbBytes = size - 21;
  // n as size - 1 bytes, to compare each encoded block with (when n is
  // longer, every block is below it).
  const bool everyBlockFits = n.BitLength() > 8 * (size - 1);
  XBlob limit(size);
  if (!everyBlockFits) n.ToBytes(limit, size - 1);
  const EntropySource entropy = g_entropy != nullptr ? g_entropy : SystemEntropy;
  // One request to the entropy source covers the first draw of every block;
  // a block that draws again asks for its own further 20 bytes.
  const uint32_t blocks = (data.size - 1) / k + 1;
  if (uint64_t{blocks} * size > 0xFFFFFFFFu) throw std::length_error("RSA ciphertext would exceed 4 GiB");
  const ModulusPtr modN = PublicModulus(*this, Cached());
  XBlob fresh(blocks * kHashBytes);
  entropy(fresh.data, blocks * kHashBytes);
  fresh.size = blocks * kHashBytes;
  XBlob db(dbBytes);
  XBlob em(size);
  for (uint32_t offset = 0; offset < data.size; offset += k) {
    const uint32_t chunk = std::min(k, data.size - offset);
    // DB = iv, zeros, 01, M.
    std::memset(db.data, 0, dbBytes);
    std::memcpy(db.data, iv.data, std::min<uint32_t>(iv.size, kHashBytes));
    db.data[kHashBytes + k - chunk] = 0x01;
    std::memcpy(db.data + dbBytes - chunk, data.data + offset, chunk);
    db.size = dbBytes;

    bool encoded = false;
    uint8_t* const drawn = fresh.data + (offset / k) * kHashBytes;
    for (uint32_t draw = 0; draw < drawLimit && !encoded; ++draw) {
      if (draw > 0) entropy(drawn, kHashBytes);
      XBlob seed = SHA1Digest(BlobOfBytes(drawn, kHashBytes));

      XBlob maskedDB(db);
      XorInto(maskedDB.data, MaskGen(seed, dbBytes));
      XorInto(seed.data, MaskGen(maskedDB, kHashBytes));
      em.size = 0;
      em.Append(seed.data, kHashBytes);
      em.Append(maskedDB.data, dbBytes);

      if (!everyBlockFits && std::memcmp(em.data, limit.data, size - 1) >= 0) continue;  // would not decrypt
      XBigInt m;
      m.FromBytes(em);
      const XBigInt c = PowModWith(modN, m, e, n);
      XBlob block(size);
      c.ToBytes(block, size);
      out.Append(block.data, block.size);
      encoded = true;
    }
    if (!encoded) InvalidKey();
  }
  return out;
}

XBlob XRSAKey::Decrypt(const XBlob& ciphertext) const {
  using namespace orvo;
  RequireDecryptKey(*this);
  XBlob out(16);
  if (ciphertext.size == 0) return out;

  const uint32_t dbBytes = size - 21;
  const PrivateParts parts = PrivatePartsOf(*this, Cached(), true);
  for (uint32_t offset = 0; offset < ciphertext.size; offset += size) {
    if (ciphertext.size - offset < size) UnableToDecrypt();
    XBigInt c;
    c.FromBytes(BlobOfBytes(ciphertext.data + offset, size));
    // Encrypt never writes a block at or above n: such a block is another
    // spelling of one below it, refused as PKCS #1 refuses it.
    if (c.Compare(n) >= 0) UnableToDecrypt();
    const XBigInt m = PrivatePower(*this, parts, c);
    XBlob em(size);
    m.ToBytes(em, size - 1);

    XBlob maskedDB = BlobOfBytes(em.data + kHashBytes, dbBytes);
    XBlob seed = BlobOfBytes(em.data, kHashBytes);
    XorInto(seed.data, MaskGen(maskedDB, kHashBytes));
    XBlob& db = maskedDB;
    XorInto(db.data, MaskGen(seed, dbBytes));

    if (!BlobOfBytes(db.data, kHashBytes).Equals(iv)) UnableToDecrypt();
    uint32_t j = kHashBytes;
    while (j < dbBytes && db.data[j] == 0) ++j;
    if (j == dbBytes) UnableToDecrypt();
    out.Append(db.data + j + 1, dbBytes - j - 1);
  }
  return out;
}

XBlob XRSAKey::SignDigest(const XBlob& digest) const {
  using namespace orvo;
  RequireHalf(*this, kPrivateHalf);
  RequireModulus(*this, 23);
  RequirePrivateNumbers(*this);
  if (!IsOddAboveOne(p) || q.IsZero() || q.IsEven() || p.Compare(q) <= 0) InvalidKey();

  XBigInt m;
  m.FromBytes(SignatureBlock(size, digest));
  if (m.Compare(n) >= 0) InvalidKey();  // no signature of this block could verify

  // Only a key whose CRT numbers are those of n and d signs: with one of them
  // damaged, the halves would disagree and the signature would give away a
  // prime factor of n (gcd(s^e - m, n)).
  const PrivateParts parts = PrivatePartsOf(*this, Cached(), false);
  if (!parts.crt) InvalidKey();
  XBigInt mq(m);
  XBigInt mp(m);
  XBigInt s1, s2;
  PowModPair(parts, mp.Modulo(p), dP, p, s1, mq.Modulo(q), dQ, q, s2);
  XBigInt t(s1);
  if (s1.Compare(s2) >= 0) {
    t.Subtract(s2);
  } else {
    XBigInt gap(s2);
    gap.Subtract(s1);
    t = p;
    t.Subtract(gap);
  }
  XBigInt s(qInv);
  s.Multiply(t).Modulo(p).Multiply(q).Add(s2);
  // With the public exponent at hand, the signature is also verified before
  // it leaves: a fault in the computation itself must not release it either.
  if ((flags & kPublicHalf) != 0 && PublicExponentFits(e)) {
    if (PowModWith(PublicModulus(*this, Cached()), s, e, n).Compare(m) != 0) InvalidKey();
  }
  XBlob signature(size);
  s.ToBytes(signature, size);
  return signature;
}

int32_t XRSAKey::VerifyDigest(const XBlob& digest, const XBlob& signature) const {
  using namespace orvo;
  RequirePublicKey(*this, 23);
  // The signature's value counts, not its spelling: extra leading zero bytes
  // are accepted (stored signatures may carry them), a value at or above n is
  // not.
  XBigInt s;
  s.FromBytes(signature);
  if (s.Compare(n) >= 0) return 0;
  const XBigInt m = PowModWith(PublicModulus(*this, Cached()), s, e, n);
  XBlob recovered(size);
  m.ToBytes(recovered, size - 1);
  return recovered.Equals(SignatureBlock(size, digest)) ? 1 : 0;
}

XBigInt XRSAKey::PrivateRaw(const XBigInt& x) const {
  using namespace orvo;
  RequireDecryptKey(*this);
  return PrivatePower(*this, PrivatePartsOf(*this, Cached(), true), x);
}

XBigInt XRSAKey::PublicRaw(const XBigInt& x) const {
  using namespace orvo;
  RequirePublicKey(*this, 23);
  return PowModWith(PublicModulus(*this, Cached()), x, e, n);
}

XBlob XRSAKey::Sign(const XBlob& data) const { return SignDigest(SHA1Digest(data)); }

int32_t XRSAKey::Verify(const XBlob& data, const XBlob& signature) const {
  return VerifyDigest(SHA1Digest(data), signature);
}
