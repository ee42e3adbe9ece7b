// RSA benchmarks, rows RSA<bits>/<impl>/<operation>: key generation from
// fixed seed sets against the same prime search written with GMP; the bare
// private (CRT) and public exponentiations against OpenSSL's unpadded ones,
// also on each Montgomery kernel forced through the CPU-feature override
// (orvo-portable, orvo-mulx, orvo-ifma, where this processor has them); and
// Encrypt, Decrypt, Sign and Verify of one block against OpenSSL's OAEP
// (SHA-1) and PKCS #1 v1.5 (SHA-1) operations; and Sign without the public
// half (no check of the signature with e) and on a new key each time (the
// once-per-key check of the CRT numbers included).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/test_hooks.h"
#include "digest/seed_expansion.h"
#include "digest/sha1.h"
#include "rsa/montgomery_kernels.h"
#include "rsa/primes.h"
#include "rsa/rsa_key.h"

#if defined(ORVO_PEER_GMP)
#include <gmp.h>
#endif
#if defined(ORVO_PEER_OPENSSL)
#include <openssl/evp.h>
#include <openssl/rsa.h>
#endif

namespace {

constexpr int kBits[] = {512, 1024, 2048};

XBlob BlobOfText(const std::string& text) {
  XBlob blob(16);
  blob.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  return blob;
}

XBlob SeedFor(int i, int which) { return BlobOfText("bench seed " + std::to_string(i) + "/" + std::to_string(which)); }

int SeedCount(uint32_t size) { return size == 256 ? 11 : 21; }

// One iteration generates a key from every seed pair of the set.
template <typename F>
void KeyGenBenchmark(benchmark::State& state, uint32_t size, F generate) {
  for (auto _ : state) {
    for (int i = 0; i < SeedCount(size); ++i) generate(i, size);
  }
}

void OrvoGenerateKey(int i, uint32_t size) {
  XRSAKey key;
  key.GenerateKey(SeedFor(i, 1), SeedFor(i, 2), size);
  benchmark::DoNotOptimize(key.n.Count());
}

#if defined(ORVO_PEER_GMP)
// The same search in GMP: trial division of every candidate by the 2304
// table primes, then the Fermat test to base 2 with mpz_powm.
void GmpNextPrime(mpz_t c) {
  if (mpz_even_p(c)) mpz_add_ui(c, c, 1);
  mpz_t e, y, two;
  mpz_inits(e, y, two, nullptr);
  mpz_set_ui(two, 2);
  for (;; mpz_add_ui(c, c, 2)) {
    bool divisible = false;
    for (uint32_t k = 0; k < kSmallPrimeCount && !divisible; ++k) divisible = mpz_fdiv_ui(c, kSmallPrimes[k]) == 0;
    if (divisible) continue;
    mpz_sub_ui(e, c, 1);
    mpz_powm(y, two, e, c);
    if (mpz_cmp_ui(y, 1) == 0) break;
  }
  mpz_clears(e, y, two, nullptr);
}

void GmpPrimeFromSeed(mpz_t p, const XBlob& seed, uint32_t bytes) {
  const XBlob expanded = ExpandSeed(seed, bytes);
  mpz_import(p, expanded.size, 1, 1, 1, 0, expanded.data);
  GmpNextPrime(p);
}

void GmpGenerateKey(int i, uint32_t size) {
  mpz_t p, q, n, phi, pm1, qm1, e, g, d, dp, dq, qinv;
  mpz_inits(p, q, n, phi, pm1, qm1, e, g, d, dp, dq, qinv, nullptr);
  GmpPrimeFromSeed(p, SeedFor(i, 1), size / 2);
  GmpPrimeFromSeed(q, SeedFor(i, 2), size / 2);
  if (mpz_cmp(p, q) < 0) {
    mpz_swap(p, q);
  } else if (mpz_cmp(p, q) == 0) {
    mpz_add_ui(p, p, 1);
    GmpNextPrime(p);
  }
  mpz_mul(n, p, q);
  mpz_sub_ui(pm1, p, 1);
  mpz_sub_ui(qm1, q, 1);
  mpz_mul(phi, pm1, qm1);
  mpz_set_ui(e, 65537);
  for (mpz_gcd(g, e, phi); mpz_cmp_ui(g, 1) != 0; mpz_gcd(g, e, phi)) {
    mpz_add_ui(e, e, 1);
    GmpNextPrime(e);
  }
  mpz_invert(d, e, phi);
  mpz_mod(dp, d, pm1);
  mpz_mod(dq, d, qm1);
  mpz_invert(qinv, q, p);
  benchmark::DoNotOptimize(mpz_size(n));
  mpz_clears(p, q, n, phi, pm1, qm1, e, g, d, dp, dq, qinv, nullptr);
}

#endif

// One key per size, generated once.
const XRSAKey& BenchKey(int bits) {
  static std::map<int, std::unique_ptr<XRSAKey>> keys;
  std::unique_ptr<XRSAKey>& key = keys[bits];
  if (!key) {
    key = std::make_unique<XRSAKey>();
    key->GenerateKey(BlobOfText("operations/1"), BlobOfText("operations/2"), static_cast<uint32_t>(bits / 8));
  }
  return *key;
}

// A value below n: 01 5A 5A ... of size - 1 bytes.
XBigInt RawInput(const XRSAKey& key) {
  XBigInt x;
  x.FromBytes(BlobOfText("\x01" + std::string(key.size - 2, 'Z')));
  return x;
}

// Hides the features that would take a faster kernel than `path`.
struct ForcedPath {
  explicit ForcedPath(orvo::MontPath path) {
    using orvo::cpu::Feature;
    if (path != orvo::MontPath::kIfma) hidden.push_back(std::make_unique<orvo::cpu::ScopedFeatureOverride>(Feature::kAvx512Ifma));
    if (path == orvo::MontPath::kPortable) {
      hidden.push_back(std::make_unique<orvo::cpu::ScopedFeatureOverride>(Feature::kBmi2));
      hidden.push_back(std::make_unique<orvo::cpu::ScopedFeatureOverride>(Feature::kAdx));
    }
  }
  ~ForcedPath() {
    while (!hidden.empty()) hidden.pop_back();  // overrides undo in reverse
  }
  ForcedPath(const ForcedPath&) = delete;
  ForcedPath& operator=(const ForcedPath&) = delete;
  std::vector<std::unique_ptr<orvo::cpu::ScopedFeatureOverride>> hidden;
};

void OrvoRaw(benchmark::State& state, int bits, bool privateOp, const orvo::MontPath* path) {
  std::unique_ptr<ForcedPath> forced(path != nullptr ? new ForcedPath(*path) : nullptr);
  const XRSAKey& key = BenchKey(bits);
  const XBigInt x = RawInput(key);
  for (auto _ : state) {
    const XBigInt y = privateOp ? key.PrivateRaw(x) : key.PublicRaw(x);
    benchmark::DoNotOptimize(y.Count());
  }
}

// Whether forcing `path` runs it for both primes of the key of this size.
bool PathRuns(orvo::MontPath path, int bits) {
  ForcedPath forced(path);
  const XRSAKey& key = BenchKey(bits);
  return orvo::MontPathFor(key.p.BitLength()) == path && orvo::MontPathFor(key.q.BitLength()) == path;
}

// Sign's checks, apart: "sign" (both halves) checks the CRT numbers once
// and verifies every signature with e; "sign-private-half" has no e to verify
// with; "sign-new-key" loads the private blob into a new key each time, so
// the once-per-key check (and the Montgomery constants) count every time.
void OrvoSignChecks(benchmark::State& state, int bits, const std::string& op) {
  const XRSAKey& key = BenchKey(bits);
  const XBlob data = BlobOfText("signed data");
  XBlob privateBlob(16);
  key.GetPrivateBlob(privateBlob);
  XRSAKey privateOnly;
  privateOnly.SetPrivateBlob(privateBlob);
  for (auto _ : state) {
    if (op == "sign-private-half") benchmark::DoNotOptimize(privateOnly.Sign(data).size);
    if (op == "sign-new-key") {
      XRSAKey fresh;
      fresh.SetPrivateBlob(privateBlob);
      benchmark::DoNotOptimize(fresh.Sign(data).size);
    }
  }
}

void OrvoFull(benchmark::State& state, int bits, const std::string& op) {
  const XRSAKey& key = BenchKey(bits);
  const XBlob data = BlobOfText(std::string(key.size - 42, 'm'));  // one full block
  const XBlob sealed = key.Encrypt(data);
  const XBlob signature = key.Sign(data);
  for (auto _ : state) {
    if (op == "encrypt") benchmark::DoNotOptimize(key.Encrypt(data).size);
    if (op == "decrypt") benchmark::DoNotOptimize(key.Decrypt(sealed).size);
    if (op == "sign") benchmark::DoNotOptimize(key.Sign(data).size);
    if (op == "verify") benchmark::DoNotOptimize(key.Verify(data, signature));
  }
}

#if defined(ORVO_PEER_OPENSSL)
// Keys of the same sizes generated by OpenSSL; its private operation uses
// CRT with its default blinding.
EVP_PKEY* OpensslKey(int bits) {
  static std::map<int, EVP_PKEY*> keys;
  EVP_PKEY*& key = keys[bits];
  if (key == nullptr) key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits));
  return key;
}

void OpensslOp(benchmark::State& state, int bits, const std::string& op) {
  EVP_PKEY* key = OpensslKey(bits);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  const bool raw = op == "private-raw" || op == "public-raw";
  const bool privateSide = op == "private-raw" || op == "decrypt" || op == "sign";
  std::vector<unsigned char> in(bits / 8, 0x5A), out(bits / 8), sealed(bits / 8), digest(20, 0x3C);
  in[0] = 0x01;  // below n
  size_t inLength = in.size(), sealedLength = sealed.size();
  if (op == "sign" || op == "verify") {
    EVP_PKEY_sign_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha1());
    EVP_PKEY_sign(ctx, sealed.data(), &sealedLength, digest.data(), digest.size());
    if (op == "verify") EVP_PKEY_verify_init(ctx);
  } else {
    const int padding = raw ? RSA_NO_PADDING : RSA_PKCS1_OAEP_PADDING;
    if (!raw) inLength = static_cast<size_t>(bits / 8 - 42);
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, padding);
    EVP_PKEY_encrypt(ctx, sealed.data(), &sealedLength, in.data(), inLength);
    if (privateSide) EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, padding);
  }
  if (op == "verify") {
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha1());
  }
  for (auto _ : state) {
    size_t outLength = out.size();
    int ok = 0;
    if (op == "private-raw") ok = EVP_PKEY_decrypt(ctx, out.data(), &outLength, in.data(), in.size());
    if (op == "public-raw") ok = EVP_PKEY_encrypt(ctx, out.data(), &outLength, in.data(), in.size());
    if (op == "encrypt") ok = EVP_PKEY_encrypt(ctx, out.data(), &outLength, in.data(), inLength);
    if (op == "decrypt") ok = EVP_PKEY_decrypt(ctx, out.data(), &outLength, sealed.data(), sealedLength);
    if (op == "sign") ok = EVP_PKEY_sign(ctx, out.data(), &outLength, digest.data(), digest.size());
    if (op == "verify") ok = EVP_PKEY_verify(ctx, sealed.data(), sealedLength, digest.data(), digest.size());
    benchmark::DoNotOptimize(ok);
  }
  EVP_PKEY_CTX_free(ctx);
}
#endif

// Registers the rows, ours and the peer's next to each other.
const bool kRegistered = [] {
  const auto add = [](const std::string& name, std::function<void(benchmark::State&)> fn) {
    return benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State& state) { fn(state); });
  };
  for (const int bits : kBits) {
    const std::string family = "RSA" + std::to_string(bits);
    const uint32_t size = static_cast<uint32_t>(bits / 8);
    add(family + "/orvo/keygen", [size](benchmark::State& s) { KeyGenBenchmark(s, size, OrvoGenerateKey); })
        ->Unit(benchmark::kMillisecond);
#if defined(ORVO_PEER_GMP)
    add(family + "/gmp/keygen", [size](benchmark::State& s) { KeyGenBenchmark(s, size, GmpGenerateKey); })
        ->Unit(benchmark::kMillisecond);
#endif
    for (const bool privateOp : {true, false}) {
      const std::string op = privateOp ? "private-raw" : "public-raw";
      add(family + "/orvo/" + op, [=](benchmark::State& s) { OrvoRaw(s, bits, privateOp, nullptr); });
#if defined(ORVO_PEER_OPENSSL)
      add(family + "/openssl/" + op, [=](benchmark::State& s) { OpensslOp(s, bits, op); });
#endif
      static const std::pair<orvo::MontPath, const char*> kPaths[] = {
          {orvo::MontPath::kPortable, "orvo-portable"}, {orvo::MontPath::kMulx, "orvo-mulx"}, {orvo::MontPath::kIfma, "orvo-ifma"}};
      for (const auto& [path, impl] : kPaths) {
        if (!PathRuns(path, bits)) continue;
        const orvo::MontPath forced = path;
        add(family + "/" + impl + "/" + op, [=](benchmark::State& s) { OrvoRaw(s, bits, privateOp, &forced); });
      }
    }
    for (const char* op : {"encrypt", "decrypt", "sign", "verify"}) {
      const std::string name = op;
      add(family + "/orvo/" + name, [=](benchmark::State& s) { OrvoFull(s, bits, name); });
#if defined(ORVO_PEER_OPENSSL)
      add(family + "/openssl/" + name, [=](benchmark::State& s) { OpensslOp(s, bits, name); });
#endif
    }
    for (const char* op : {"sign-private-half", "sign-new-key"}) {
      const std::string name = op;
      add(family + "/orvo/" + name, [=](benchmark::State& s) { OrvoSignChecks(s, bits, name); });
    }
  }
  return true;
}();

}  // namespace
