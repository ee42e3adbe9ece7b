// Encrypt, Decrypt, Sign and Verify of XRSAKey, and the mask generator
// (rsa_operations.h describes the formats).
#include "rsa/rsa_operations.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "base/alarm.h"
#include "base/byte_order.h"
#include "base/constant_time.h"
#include "base/wipe.h"
#include "digest/random.h"
#include "digest/sha1.h"
#include "rsa/primes.h"
#include "rsa/rsa_cache.h"
#include "rsa/rsa_private.h"
#include "rsa/test_hooks.h"

namespace orvo {

namespace {

constexpr uint32_t kHashBytes = 20;

EntropySource g_entropy = nullptr;

[[noreturn]] void InvalidKey() { throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA"); }
[[noreturn]] void UnableToDecrypt() { throw XCryptoAlarm(alarm_text::kUnableToDecrypt, "RSA"); }

// A number's byte length is public: the key blob spells every number at its
// natural length.
uint32_t ByteLength(const XBigInt& x) { return ct::Declassified((x.BitLength() + 7) / 8); }

// Whether x is odd and above 1, computed without a branch on x; the verdict
// is public (a key that fails is refused).
bool IsOddAboveOne(const XBigInt& x) {
  uint64_t above = x.Limb(0) >> 1;
  for (uint32_t i = 1; i < x.Count(); ++i) above |= x.Limb(i);
  return ct::Declassified(ct::MaskOfBit(x.Limb(0)) & ct::IsNonZeroMask(above)) != 0;
}

// Whether a and b hold the same value, without an early exit; the verdict is
// public (it tells only whether the caller changed the key).
bool SameNumber(const XBigInt& a, const XBigInt& b) {
  if (a.Count() != b.Count()) return false;
  uint64_t diff = 0;
  for (uint32_t i = 0; i < a.Count(); ++i) diff |= a.Limb(i) ^ b.Limb(i);
  return ct::Declassified(ct::IsZeroMask(diff)) != 0;
}

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
  return IsOddAboveOne(m) && m.Count() <= 4 * MontgomeryModulus::kMaxWords;
}

using ModulusPtr = std::shared_ptr<const MontgomeryModulus>;

// The Montgomery constants for m, kept in `slot` while m (and the kernel
// chosen for its length) stays the same; null where Montgomery form does not
// apply. The caller holds the cache's lock.
ModulusPtr ModulusFor(ModulusPtr& slot, const XBigInt& m) {
  if (!MontgomeryApplies(m)) return nullptr;
  if (!slot || !SameNumber(slot->Modulus(), m) || slot->Path() != MontPathFor(ct::Declassified(m.BitLength()))) {
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

// A value below n to test a key's CRT path with, derived from n alone.
XBigInt TestValue(const XRSAKey& key) {
  XBlob nBytes(16);
  key.n.ToBytes(nBytes);
  XBigInt x;
  x.FromBytes(MaskGen(nBytes, nBytes.size - 1));
  return x;
}

// The CRT verdicts for the key's present numbers, each reached at most once
// while they stay the same; the caller holds the lock. Consistency
// (CrtNumbersConsistent) is what Sign needs: for the n of a real key (a
// product of two primes) no other p and q multiply to it, so the halves then
// agree with d. Decrypt must give c^d mod n for whatever n a blob holds, which
// the CRT gives when c^d = c^dP (mod p) and c^d = c^dQ (mod q) for every c:
// so for primes p and q (Fermat's little theorem), and for no key in which
// these fail for more than a sliver of the values. Decrypt takes the CRT only
// where, besides consistency, the CRT gives d's result for a test value
// derived from n; both computations run in constant time, and only the
// verdict is public. Otherwise it works with d itself.
bool CrtUsable(const XRSAKey& key, XRSAKey::Cache& cache, bool needAgreement) {
  const XBigInt* numbers[7] = {&key.n, &key.d, &key.p, &key.q, &key.dP, &key.dQ, &key.qInv};
  bool same = cache.crtChecked;
  for (int i = 0; i < 7 && same; ++i) same = SameNumber(cache.crtNumbers[i], *numbers[i]);
  if (!same) {
    cache.crtChecked = false;  // stays so if the check throws part-way
    cache.crtTested = false;
    cache.crtConsistent = CrtNumbersConsistent(key);
    for (int i = 0; i < 7; ++i) cache.crtNumbers[i] = *numbers[i];
    cache.crtChecked = true;
  }
  if (!cache.crtConsistent) return false;
  if (!needAgreement) return true;
  if (!cache.crtTested) {
    const ModulusPtr modP = ModulusFor(cache.modP, key.p);
    const ModulusPtr modQ = ModulusFor(cache.modQ, key.q);
    const ModulusPtr modN = ModulusFor(cache.modN, key.n);
    const XBigInt x = TestValue(key);
    const SecretWords viaCrt = PrivateCrt(key, *modP, *modQ, x);
    const SecretWords direct = PrivateDirect(key, *modN, x);
    cache.crtAgrees = ct::Declassified(EqualWordsMask(viaCrt.data(), direct.data(), viaCrt.size())) != 0;
    cache.crtTested = true;
    WipeExponentiationStack();
  }
  return cache.crtAgrees;
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

// Decrypt and PrivateRaw take the CRT path only for consistent numbers that
// pass the test of CrtUsable; Sign (needAgreement false) for consistent ones.
PrivateParts PrivatePartsOf(const XRSAKey& key, XRSAKey::Cache& cache, bool needAgreement) {
  std::lock_guard<std::mutex> held(cache.lock);
  PrivateParts parts;
  parts.crt = CrtUsable(key, cache, needAgreement);
  if (parts.crt) {
    parts.modP = ModulusFor(cache.modP, key.p);
    parts.modQ = ModulusFor(cache.modQ, key.q);
  } else {
    parts.modN = ModulusFor(cache.modN, key.n);
  }
  return parts;
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

// x^d mod n as WordCount(n) words, for a public x < n and a key that passed
// Decrypt's checks, in constant time (rsa_private.h).
SecretWords PrivatePower(const XRSAKey& key, const PrivateParts& parts, const XBigInt& x) {
  SecretWords result = parts.crt ? PrivateCrt(key, *parts.modP, *parts.modQ, x) : PrivateDirect(key, *parts.modN, x);
  WipeExponentiationStack();
  return result;
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
  // A short block, or a block at or above n, is refused before any work:
  // whether the ciphertext has that shape is public. Encrypt never writes a
  // block at or above n: such a block is another spelling of one below it,
  // refused as PKCS #1 refuses it.
  if (ciphertext.size % size != 0) UnableToDecrypt();
  const uint32_t blocks = ciphertext.size / size;
  std::vector<XBigInt> values(blocks);
  for (uint32_t b = 0; b < blocks; ++b) {
    values[b].FromBytes(BlobOfBytes(ciphertext.data + b * size, size));
    if (values[b].Compare(n) >= 0) UnableToDecrypt();
  }

  // Every block is decoded, and its padding checked with masks, before the
  // one verdict over all of them is taken; until then the DBs wait in
  // `decoded` and the separators' positions in `starts`.
  const uint32_t dbBytes = size - 21;
  const PrivateParts parts = PrivatePartsOf(*this, Cached(), true);
  XBlob decoded(blocks * dbBytes);
  SecretWords starts(blocks);
  uint64_t good = ~uint64_t{0};
  XBlob em(size);
  for (uint32_t b = 0; b < blocks; ++b) {
    const SecretWords m = PrivatePower(*this, parts, values[b]);
    StoreBigEndian(em.data, size - 1, m.data(), m.size());
    em.size = size - 1;

    XBlob maskedDB = BlobOfBytes(em.data + kHashBytes, dbBytes);
    XBlob seed = BlobOfBytes(em.data, kHashBytes);
    XorInto(seed.data, MaskGen(maskedDB, kHashBytes));
    XBlob& db = maskedDB;
    XorInto(db.data, MaskGen(seed, dbBytes));

    // The label hash must be iv; the separator is the first non-zero byte
    // after it, and there must be one.
    uint64_t diff = iv.size == kHashBytes ? 0 : 1;
    for (uint32_t i = 0; i < kHashBytes && i < iv.size; ++i) diff |= db.data[i] ^ iv.data[i];
    uint64_t found = 0, start = 0;
    for (uint32_t i = kHashBytes; i < dbBytes; ++i) {
      const uint64_t nonZero = ct::IsNonZeroMask(db.data[i]);
      start = ct::Select(nonZero & ~found, i, start);
      found |= nonZero;
    }
    good &= ct::IsZeroMask(diff) & found;
    starts[b] = start;
    std::memcpy(decoded.data + b * dbBytes, db.data, dbBytes);
  }
  decoded.size = blocks * dbBytes;
  // Made public: the verdict of the padding check over all blocks (one error
  // for every failure) and, once it passed, where each plaintext starts (its
  // length is part of the result).
  if (ct::Declassified(good) == 0) UnableToDecrypt();
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint32_t start = static_cast<uint32_t>(ct::Declassified(starts[b]));
    out.Append(decoded.data + b * dbBytes + start + 1, dbBytes - start - 1);
  }
  return out;
}

XBlob XRSAKey::SignDigest(const XBlob& digest) const {
  using namespace orvo;
  RequireHalf(*this, kPrivateHalf);
  RequireModulus(*this, 23);
  RequirePrivateNumbers(*this);
  // p odd above 1, q odd and below p; the verdict is public.
  if (!IsOddAboveOne(p) || ct::Declassified(ct::MaskOfBit(q.Limb(0)) & LessNumberMask(q, p)) == 0) InvalidKey();

  XBigInt m;
  m.FromBytes(SignatureBlock(size, digest));
  if (m.Compare(n) >= 0) InvalidKey();  // no signature of this block could verify

  // Only a key whose CRT numbers are those of n and d signs: with one of them
  // damaged, the halves would disagree and the signature would give away a
  // prime factor of n (gcd(s^e - m, n)).
  const PrivateParts parts = PrivatePartsOf(*this, Cached(), false);
  if (!parts.crt) InvalidKey();
  const SecretWords s = PrivatePower(*this, parts, m);
  // With the public exponent at hand, the signature is also verified before
  // it leaves: a fault in the computation itself must not release it either.
  // The check runs on the signature's words in constant time; its verdict is
  // public.
  if ((flags & kPublicHalf) != 0 && PublicExponentFits(e)) {
    const ModulusPtr modN = PublicModulus(*this, Cached());
    SecretWords base(modN->Limbs()), acc(modN->Limbs()), back(s.size());
    modN->ToMontgomeryWords(base.data(), s.data(), s.size());
    modN->PowPublicExponent(acc.data(), base.data(), e);
    modN->FromMontgomeryWords(back.data(), back.size(), acc.data());
    const SecretWords expected = WordsOf(m, s.size());
    if (ct::Declassified(EqualWordsMask(back.data(), expected.data(), s.size())) == 0) InvalidKey();
  }
  XBlob signature(size);
  StoreBigEndian(signature.data, size, s.data(), s.size());
  signature.size = size;
  ct::Declassify(signature.data, size);  // the result
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
  const SecretWords r = PrivatePower(*this, PrivatePartsOf(*this, Cached(), true), x);
  ct::Declassify(r.data(), sizeof(uint64_t) * r.size());  // the result
  return BigIntOf(r.data(), r.size());
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
