// Fuzz target: the RSA key blob loaders on arbitrary bytes, then every
// operation (Encrypt, Decrypt, Sign, Verify) on whatever key they loaded.
//
// Input: Byte plan (bit 0: the private blob first; bit 1: load both blobs;
// bit 2: SetIV), Piece public blob, Piece private blob, Piece label, Piece
// signature, Rest data; no piece has a limit of its own.
// The padding's entropy comes from a counter, so every run is reproducible.
//
// Checks: loaders and operations raise only their documented alarms; the
// operations leave the key's blobs unchanged; a loaded key's blobs load again
// into the same blobs; ciphertexts and signatures have their documented
// lengths; a signature Sign returns verifies with the key whenever its
// public half is present with an exponent Verify takes; and for a key whose
// numbers are a genuine RSA key (n = p*q with p and q prime,
// e*d = 1 mod (p-1)(q-1), dP, dQ and qInv their CRT values) Decrypt opens
// what Encrypt sealed and Verify accepts what Sign signed.
//
// Every operation runs on every key that loads: the library bounds each
// number by the key's size and refuses the rest at once, so no key a 4 KiB
// input can carry costs more than its size allows. Only Encrypt is left out
// for moduli far enough below their block to make it draw seeds thousands
// of times (rsa_work.h).
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

#include "rsa/bigint.h"
#include "rsa/primes.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_operations.h"
#include "rsa/test_hooks.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/rsa_work.h"

namespace {

using orvo::fuzz::BlobOf;
using orvo::fuzz::BytesOf;
using orvo::fuzz::IsAlarm;
using orvo::fuzz::SameBytes;

uint32_t g_counter = 0;

void CounterEntropy(uint8_t* out, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(g_counter++ * 167u + 13u);
}

bool IsLoaderAlarm(const XAlarm& alarm) {
  return IsAlarm(alarm, alarm_text::kDataCorrupted, "RSA") || IsAlarm(alarm, alarm_text::kDataCorrupted, "XBlob") ||
         IsAlarm(alarm, alarm_text::kInvalidKey, "RSA");
}

bool IsOperationAlarm(const XAlarm& alarm) {
  return IsAlarm(alarm, alarm_text::kInvalidKey, "RSA") || IsAlarm(alarm, alarm_text::kUnableToDecrypt, "RSA");
}

void Load(XRSAKey& key, const XBlob& blob, bool privateHalf) {
  const uint32_t flagsBefore = key.flags;
  try {
    if (privateHalf) {
      key.SetPrivateBlob(blob);
    } else {
      key.SetPublicBlob(blob);
    }
    FUZZ_CHECK(key.flags == (flagsBefore | (privateHalf ? XRSAKey::kPrivateHalf : XRSAKey::kPublicHalf)));
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsLoaderAlarm(alarm));
    FUZZ_CHECK(key.flags == flagsBefore);
  }
}

uint32_t ByteLength(const XBigInt& x) { return (x.BitLength() + 7) / 8; }

// A key whose numbers make RSA work, within the bounds the operations set on
// them (rsa_operations.h): then every operation must round-trip.
bool Genuine(const XRSAKey& key) {
  if ((key.flags & 3) != 3 || key.p.IsEven() || key.q.IsEven() || key.e.IsZero()) return false;
  const uint32_t half = (key.size + 1) / 2 + orvo::kPrimeSlack;
  if (ByteLength(key.e) > orvo::kMaxPublicExponentBytes || ByteLength(key.d) > key.size) return false;
  for (const XBigInt* x : {&key.p, &key.q, &key.dP, &key.dQ, &key.qInv}) {
    if (ByteLength(*x) > half) return false;
  }
  const XBigInt one(1);
  if (key.p.Compare(one) <= 0 || key.q.Compare(one) <= 0 || key.p.Compare(key.q) == 0) return false;
  XBigInt product(key.p);
  if (product.Multiply(key.q).Compare(key.n) != 0) return false;
  if (!orvo::IsStrongProbablePrime(key.p) || !orvo::IsStrongProbablePrime(key.q)) return false;
  XBigInt pMinus1(key.p);
  pMinus1.Subtract(one);
  XBigInt qMinus1(key.q);
  qMinus1.Subtract(one);
  XBigInt phi(pMinus1);
  phi.Multiply(qMinus1);
  XBigInt ed(key.e);
  if (ed.MulMod(key.d, phi).Compare(one) != 0) return false;
  XBigInt dP(key.d);
  XBigInt dQ(key.d);
  XBigInt qqInv(key.q);
  return dP.Modulo(pMinus1).Compare(key.dP) == 0 && dQ.Modulo(qMinus1).Compare(key.dQ) == 0 &&
         key.qInv.Compare(key.p) < 0 && qqInv.MulMod(key.qInv, key.p).Compare(one) == 0;
}

struct Blobs {
  XBlob pub{16};
  XBlob priv{16};
};

Blobs BlobsOf(const XRSAKey& key) {
  Blobs b;
  key.GetPublicBlob(b.pub);
  key.GetPrivateBlob(b.priv);
  return b;
}

// The blobs a key writes load into a fresh key that writes them again.
void CheckRewrite(const XRSAKey& key) {
  const Blobs written = BlobsOf(key);
  XRSAKey again;
  again.SetPrivateBlob(written.priv);
  again.SetPublicBlob(written.pub);
  const Blobs rewritten = BlobsOf(again);
  FUZZ_CHECK(rewritten.pub.Equals(written.pub));
  FUZZ_CHECK(rewritten.priv.Equals(written.priv));
}

// Genuine's verdict per key (its two blobs), remembered: mutations mostly keep
// the key and change the data, and the primality tests cost more than the
// operations under test. Bounded; cleared when full.
bool GenuineRemembered(const XRSAKey& key) {
  static std::map<std::vector<uint8_t>, bool> verdicts;
  const Blobs blobs = BlobsOf(key);
  std::vector<uint8_t> id = BytesOf(blobs.pub);
  const std::vector<uint8_t> priv = BytesOf(blobs.priv);
  id.push_back(static_cast<uint8_t>(key.flags));
  id.insert(id.end(), priv.begin(), priv.end());
  const auto known = verdicts.find(id);
  if (known != verdicts.end()) return known->second;
  if (verdicts.size() >= 4096) verdicts.clear();
  const bool genuine = Genuine(key);
  verdicts.emplace(std::move(id), genuine);
  return genuine;
}

void RunOperations(const XRSAKey& key, const XBlob& data, const XBlob& signature) {
  const bool genuine = GenuineRemembered(key);
  // Work stays bounded by the key: at most three blocks each way.
  const uint32_t k = key.size > 42 ? key.size - 42 : 1;
  const XBlob message = BlobOf(std::vector<uint8_t>(data.data, data.data + std::min<uint32_t>(data.size, 3 * k)));

  bool sealed = false;
  XBlob ciphertext(16);
  if (orvo::fuzz::FewPaddingDraws(key)) {
    try {
      ciphertext = key.Encrypt(message);
      sealed = true;
      FUZZ_CHECK(ciphertext.size == key.size * ((message.size + k - 1) / k));
    } catch (const XAlarm& alarm) {
      FUZZ_CHECK(IsOperationAlarm(alarm));
    }
  }
  try {
    const XBlob opened = key.Decrypt(ciphertext);
    if (genuine && sealed) FUZZ_CHECK(opened.Equals(message));
    FUZZ_CHECK(opened.size <= ciphertext.size);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsOperationAlarm(alarm));
    FUZZ_CHECK(!(genuine && sealed));
  }
  // The data itself as ciphertext, cut to three blocks.
  const uint32_t ctBytes = key.size > 0 ? std::min<uint32_t>(data.size, 3 * key.size) : 0;
  try {
    const XBlob opened = key.Decrypt(BlobOf(std::vector<uint8_t>(data.data, data.data + ctBytes)));
    FUZZ_CHECK(opened.size <= ctBytes);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsOperationAlarm(alarm));
  }

  bool signedOk = false;
  XBlob own(16);
  try {
    own = key.Sign(data);
    signedOk = true;
    FUZZ_CHECK(own.size == key.size);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, "RSA"));
  }
  const XBlob* const candidates[] = {&own, &signature};
  for (const XBlob* s : candidates) {
    try {
      const int32_t verdict = key.Verify(data, *s);
      FUZZ_CHECK(verdict == 0 || verdict == 1);
      // Sign releases nothing that does not verify: for every key, genuine or
      // not, a signature it returned verifies under the key's public half.
      if (signedOk && s == &own) FUZZ_CHECK(verdict == 1);
    } catch (const XAlarm& alarm) {
      FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, "RSA"));
      FUZZ_CHECK(!(genuine && signedOk) && !(signedOk && s == &own && (key.flags & XRSAKey::kPublicHalf) != 0 &&
                                             ByteLength(key.e) <= orvo::kMaxPublicExponentBytes));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  g_counter = 0;
  orvo::SetPaddingEntropyForTesting(CounterEntropy);
  orvo::fuzz::Input in(bytes, size);
  const uint8_t plan = in.Byte();
  const XBlob pub = BlobOf(in.Piece(SIZE_MAX));
  const XBlob priv = BlobOf(in.Piece(SIZE_MAX));
  const XBlob label = BlobOf(in.Piece(SIZE_MAX));
  const XBlob signature = BlobOf(in.Piece(SIZE_MAX));
  const XBlob data = BlobOf(in.Rest(SIZE_MAX));

  XRSAKey key;
  const bool privateFirst = (plan & 1) != 0;
  Load(key, privateFirst ? priv : pub, privateFirst);
  if ((plan & 2) != 0) Load(key, privateFirst ? pub : priv, !privateFirst);
  if ((plan & 4) != 0) key.SetIV(label);

  const Blobs before = BlobsOf(key);
  const std::vector<uint8_t> ivBefore = BytesOf(key.iv);
  const uint32_t flagsBefore = key.flags;
  RunOperations(key, data, signature);
  const Blobs after = BlobsOf(key);
  FUZZ_CHECK(after.pub.Equals(before.pub) && after.priv.Equals(before.priv));
  FUZZ_CHECK(SameBytes(key.iv, ivBefore) && key.flags == flagsBefore);
  CheckRewrite(key);
  return 0;
}
