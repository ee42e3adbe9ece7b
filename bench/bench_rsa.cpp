// RSA benchmarks with peers in the same run: key generation from fixed seed
// sets (the same prime search written with GMP), and Encrypt, Decrypt, Sign
// and Verify per block against OpenSSL's private (CRT) and public operations.
// BM_RsaPeerRatios, run last, reports ours / peer for each pair.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "digest/seed_expansion.h"
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

// Thread CPU time in seconds: the machine is shared, and CPU time is what
// Google Benchmark's own per-iteration figures use as well.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Figures for the ratio report: key generation medians (CPU ms) and operation
// rates (per CPU second), by name.
std::map<std::string, double>& Figures() {
  static std::map<std::string, double> figures;
  return figures;
}

XBlob BlobOfText(const std::string& text) {
  XBlob blob(16);
  blob.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  return blob;
}

XBlob SeedFor(int i, int which) { return BlobOfText("bench seed " + std::to_string(i) + "/" + std::to_string(which)); }

int SeedCount(uint32_t size) { return size == 256 ? 11 : 21; }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Runs `generate(i)` once per seed pair of the set; reports the median.
template <typename F>
void KeyGenBenchmark(benchmark::State& state, const std::string& name, F generate) {
  const uint32_t size = static_cast<uint32_t>(state.range(0));
  std::vector<double> ms;
  int i = 0;
  for (auto _ : state) {
    const double start = CpuSeconds();
    generate(i++ % SeedCount(size), size);
    ms.push_back(1000 * (CpuSeconds() - start));
  }
  const double median = Median(ms);
  state.counters["median_ms"] = median;
  Figures()[name + std::to_string(8 * size)] = median;
}

void BM_RsaKeyGen(benchmark::State& state) {
  KeyGenBenchmark(state, "keygen", [](int i, uint32_t size) {
    XRSAKey key;
    key.GenerateKey(SeedFor(i, 1), SeedFor(i, 2), size);
    benchmark::DoNotOptimize(key.n.Count());
  });
}
BENCHMARK(BM_RsaKeyGen)->Arg(64)->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsaKeyGen)->Arg(128)->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsaKeyGen)->Arg(256)->Iterations(11)->Unit(benchmark::kMillisecond);

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

void BM_RsaKeyGen_GMP(benchmark::State& state) { KeyGenBenchmark(state, "gmp_keygen", GmpGenerateKey); }
BENCHMARK(BM_RsaKeyGen_GMP)->Arg(64)->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsaKeyGen_GMP)->Arg(128)->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsaKeyGen_GMP)->Arg(256)->Iterations(11)->Unit(benchmark::kMillisecond);
#endif

// One key per size, generated once.
const XRSAKey& BenchKey(uint32_t size) {
  static std::map<uint32_t, XRSAKey*> keys;
  XRSAKey*& key = keys[size];
  if (key == nullptr) {
    static std::vector<std::unique_ptr<XRSAKey>> owned;
    owned.push_back(std::make_unique<XRSAKey>());
    key = owned.back().get();
    key->GenerateKey(BlobOfText("operations/1"), BlobOfText("operations/2"), size);
  }
  return *key;
}

// Runs `op` per iteration; records the rate under name + bits.
template <typename F>
void RateBenchmark(benchmark::State& state, const std::string& name, F op) {
  const double start = CpuSeconds();
  for (auto _ : state) op();
  const double seconds = CpuSeconds() - start;
  state.SetItemsProcessed(state.iterations());
  Figures()[name + std::to_string(state.range(0))] = seconds > 0 ? state.iterations() / seconds : 0;
}

void BM_RsaEncrypt(benchmark::State& state) {
  const XRSAKey& key = BenchKey(static_cast<uint32_t>(state.range(0) / 8));
  const XBlob data = BlobOfText(std::string(key.size - 42, 'm'));  // one full block
  RateBenchmark(state, "encrypt", [&] { benchmark::DoNotOptimize(key.Encrypt(data).size); });
}

void BM_RsaDecrypt(benchmark::State& state) {
  const XRSAKey& key = BenchKey(static_cast<uint32_t>(state.range(0) / 8));
  const XBlob sealed = key.Encrypt(BlobOfText(std::string(key.size - 42, 'm')));
  RateBenchmark(state, "decrypt", [&] { benchmark::DoNotOptimize(key.Decrypt(sealed).size); });
}

void BM_RsaSign(benchmark::State& state) {
  const XRSAKey& key = BenchKey(static_cast<uint32_t>(state.range(0) / 8));
  const XBlob data = BlobOfText("a message to sign");
  RateBenchmark(state, "sign", [&] { benchmark::DoNotOptimize(key.Sign(data).size); });
}

void BM_RsaVerify(benchmark::State& state) {
  const XRSAKey& key = BenchKey(static_cast<uint32_t>(state.range(0) / 8));
  const XBlob data = BlobOfText("a message to sign");
  const XBlob signature = key.Sign(data);
  RateBenchmark(state, "verify", [&] { benchmark::DoNotOptimize(key.Verify(data, signature)); });
}

BENCHMARK(BM_RsaEncrypt)->Arg(512)->Arg(1024)->Arg(2048);
BENCHMARK(BM_RsaDecrypt)->Arg(512)->Arg(1024)->Arg(2048);
BENCHMARK(BM_RsaSign)->Arg(512)->Arg(1024)->Arg(2048);
BENCHMARK(BM_RsaVerify)->Arg(512)->Arg(1024)->Arg(2048);

#if defined(ORVO_PEER_OPENSSL)
// OpenSSL's raw private operation (CRT, with its default blinding) and public
// operation on one block, keys of the same sizes generated by OpenSSL.
EVP_PKEY* OpensslKey(int bits) {
  static std::map<int, EVP_PKEY*> keys;
  EVP_PKEY*& key = keys[bits];
  if (key == nullptr) key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits));
  return key;
}

void OpensslRaw(benchmark::State& state, bool privateOp) {
  const int bits = static_cast<int>(state.range(0));
  EVP_PKEY* key = OpensslKey(bits);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  if (privateOp) {
    EVP_PKEY_decrypt_init(ctx);
  } else {
    EVP_PKEY_encrypt_init(ctx);
  }
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
  std::vector<unsigned char> in(bits / 8, 0x5A), out(bits / 8);
  in[0] = 0x01;  // below n
  RateBenchmark(state, privateOp ? "openssl_private" : "openssl_public", [&] {
    size_t outLength = out.size();
    const int ok = privateOp ? EVP_PKEY_decrypt(ctx, out.data(), &outLength, in.data(), in.size())
                             : EVP_PKEY_encrypt(ctx, out.data(), &outLength, in.data(), in.size());
    benchmark::DoNotOptimize(ok);
  });
  EVP_PKEY_CTX_free(ctx);
}

void BM_RsaPrivate_OpenSSL(benchmark::State& state) { OpensslRaw(state, true); }
void BM_RsaPublic_OpenSSL(benchmark::State& state) { OpensslRaw(state, false); }
BENCHMARK(BM_RsaPrivate_OpenSSL)->Arg(512)->Arg(1024)->Arg(2048);
BENCHMARK(BM_RsaPublic_OpenSSL)->Arg(512)->Arg(1024)->Arg(2048);
#endif

// ours / peer: above 1 means faster for rates, and for key generation the
// ratio is our median time over GMP's (at most 1.0 is the goal).
void BM_RsaPeerRatios(benchmark::State& state) {
  for (auto _ : state) {
  }
  auto& f = Figures();
  const auto ratio = [&](const std::string& ours, const std::string& peer) {
    return f.count(ours) && f.count(peer) && f[peer] > 0 ? f[ours] / f[peer] : 0.0;
  };
  for (const int bits : {512, 1024, 2048}) {
    const std::string b = std::to_string(bits);
    state.counters["keygen_time_vs_gmp_" + b] = ratio("keygen" + b, "gmp_keygen" + b);
    state.counters["decrypt_vs_openssl_crt_" + b] = ratio("decrypt" + b, "openssl_private" + b);
    state.counters["sign_vs_openssl_crt_" + b] = ratio("sign" + b, "openssl_private" + b);
    state.counters["encrypt_vs_openssl_pub_" + b] = ratio("encrypt" + b, "openssl_public" + b);
    state.counters["verify_vs_openssl_pub_" + b] = ratio("verify" + b, "openssl_public" + b);
  }
  for (const auto& [name, value] : f) std::fprintf(stderr, "rsa figure %-24s %12.3f\n", name.c_str(), value);
}
BENCHMARK(BM_RsaPeerRatios)->Iterations(1);

}  // namespace
