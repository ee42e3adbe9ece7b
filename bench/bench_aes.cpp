// AES-128 through the engine on every block path, and key set-ups, with the
// peer libraries found at build time in the same run.
//
// Names: AES128/<implementation>/<operation>/<bytes>. `orvo` is what XAES
// chooses on this processor; orvo-table, orvo-ni, orvo-vaes256 and
// orvo-vaes512 force one path (CBC encryption, one chain, runs on AES-NI on
// the VAES paths). Peers run in their own default configuration (AES-NI or
// VAES where they detect it), less what ORVOCRYPTO_HIDE_CPU_FEATURES hides
// from ours: libgcrypt is told so here (GCRYCTL_DISABLE_HWF), OpenSSL by
// OPENSSL_ia32cap from bench/run, and Nettle 3.8 and Crypto++ have no VAES or
// AVX-512 code to hide.
//
// What a row includes: ours are the library's calls, XBlockCipher::Encrypt or
// Decrypt of an XBlob, each call allocating its result (the capacity a
// scripting object's result gets), enciphering, and freeing and wiping the
// result before the next; CBC chains on from call to call. orvo-stream runs
// the streaming calls (EncryptBlocks, DecryptBlocks) on the product's own
// choice of path, into a buffer allocated once, as the peers do. Peers encipher
// into a buffer allocated once with a context set up once: OpenSSL's
// EVP_CipherUpdate with padding off, Nettle's and libgcrypt's bulk calls,
// Crypto++'s ProcessData.
#include <benchmark/benchmark.h>

#include <cstring>
#include <utility>
#include <vector>

#include "bench/bench_cipher.h"
#include "base/cpu_features.h"
#include "crypto/aes.h"

#ifdef ORVO_PEER_OPENSSL
#include <openssl/evp.h>
#endif
#ifdef ORVO_PEER_NETTLE
#include <nettle/aes.h>
#include <nettle/cbc.h>
#endif
#ifdef ORVO_PEER_GCRYPT
#include <gcrypt.h>
#endif
#ifdef ORVO_PEER_CRYPTOPP
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#endif

namespace {

using orvo::bench::BenchName;
using orvo::bench::IsCbc;
using orvo::bench::IsEncrypt;
using orvo::bench::Op;

const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                          0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

XBlob KeyBlob() {
  XBlob blob(16);
  blob.InsertLong(10);
  blob.Append(kKey, 16);
  return blob;
}

using orvo::aes::Engine;

// The paths with the implementation names of their rows; `orvo` (not forced)
// is the product's own choice.
struct OrvoPath {
  const char* impl;
  bool forced;
  Engine engine;
};
const OrvoPath kOrvoPaths[] = {
    {"orvo", false, Engine::kTable},
    {"orvo-table", true, Engine::kTable},
    {"orvo-ni", true, Engine::kAesNi},
    {"orvo-vaes256", true, Engine::kVaes256},
    {"orvo-vaes512", true, Engine::kVaes512},
};

void OrvoEngine(benchmark::State& state, OrvoPath path, Op op, size_t n) {
  if (path.forced && !orvo::aes::EngineAvailable(path.engine)) {
    state.SkipWithError("this processor lacks the instructions of this path");
    return;
  }
  if (path.forced) {
    XAES aes(path.engine);
    aes.SetKey(KeyBlob());
    orvo::bench::RunEngine(state, aes, op, n);
  } else {
    XAES aes;
    aes.SetKey(KeyBlob());
    orvo::bench::RunEngine(state, aes, op, n);
  }
}

void OrvoStream(benchmark::State& state, Op op, size_t n) {
  XAES aes;
  aes.SetKey(KeyBlob());
  orvo::bench::RunStream(state, aes, op, n);
}

void OrvoKeySetup(benchmark::State& state) {
  const XBlob blob = KeyBlob();
  XAES aes;
  for (auto _ : state) {
    aes.SetKey(blob);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

#ifdef ORVO_PEER_OPENSSL
void OpenSSL(benchmark::State& state, Op op, size_t n) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const uint8_t iv[16] = {};
  EVP_CipherInit_ex(ctx, IsCbc(op) ? EVP_aes_128_cbc() : EVP_aes_128_ecb(), nullptr, kKey, iv, IsEncrypt(op) ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  const std::vector<uint8_t> in = orvo::bench::Pattern(n);
  std::vector<uint8_t> out(n + 16);
  for (auto _ : state) {
    int len = 0;
    EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  orvo::bench::SetPeerBytes(state, n);
  EVP_CIPHER_CTX_free(ctx);
}

void OpenSSLKeySetup(benchmark::State& state) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr);
  for (auto _ : state) {
    EVP_EncryptInit_ex(ctx, nullptr, nullptr, kKey, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  EVP_CIPHER_CTX_free(ctx);
}
#endif

#ifdef ORVO_PEER_NETTLE
void Nettle(benchmark::State& state, Op op, size_t n) {
  aes128_ctx enc, dec;
  aes128_set_encrypt_key(&enc, kKey);
  aes128_set_decrypt_key(&dec, kKey);
  uint8_t iv[16] = {};
  const std::vector<uint8_t> in = orvo::bench::Pattern(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    switch (op) {
      case Op::kEcbEncrypt: aes128_encrypt(&enc, n, out.data(), in.data()); break;
      case Op::kEcbDecrypt: aes128_decrypt(&dec, n, out.data(), in.data()); break;
      case Op::kCbcEncrypt: cbc_aes128_encrypt(&enc, iv, n, out.data(), in.data()); break;
      case Op::kCbcDecrypt:
        cbc_decrypt(&dec, reinterpret_cast<nettle_cipher_func*>(aes128_decrypt), 16, iv, n, out.data(), in.data());
        break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  orvo::bench::SetPeerBytes(state, n);
}

void NettleKeySetup(benchmark::State& state) {
  aes128_ctx enc, dec;
  for (auto _ : state) {
    aes128_set_encrypt_key(&enc, kKey);
    aes128_set_decrypt_key(&dec, kKey);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
#endif

#ifdef ORVO_PEER_GCRYPT
// libgcrypt leaves alone the features ours cannot use, by its names for them
// (names a version does not know are refused, and ignored here). Called
// before anything initialises libgcrypt, as GCRYCTL_DISABLE_HWF must be.
void HideFromGcryptWhatOursLacks() {
  const orvo::cpu::Features& f = orvo::cpu::Detected();
  const std::pair<bool, const char*> kHidden[] = {
      {f.aesni, "intel-aesni"},   {f.vaes, "intel-vaes-vpclmul"}, {f.avx2, "intel-avx2"},
      {f.avx512f, "intel-avx512"}, {f.sha, "intel-shaext"},        {f.pclmulqdq, "intel-pclmul"},
      {f.ssse3, "intel-ssse3"},   {f.sse41, "intel-sse4.1"},       {f.bmi2, "intel-bmi2"},
  };
  for (const auto& [shown, name] : kHidden) {
    if (!shown) gcry_control(GCRYCTL_DISABLE_HWF, name, nullptr);
  }
}

void Gcrypt(benchmark::State& state, Op op, size_t n) {
  gcry_check_version(nullptr);
  gcry_cipher_hd_t h;
  gcry_cipher_open(&h, GCRY_CIPHER_AES128, IsCbc(op) ? GCRY_CIPHER_MODE_CBC : GCRY_CIPHER_MODE_ECB, 0);
  gcry_cipher_setkey(h, kKey, 16);
  const std::vector<uint8_t> in = orvo::bench::Pattern(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    if (IsEncrypt(op)) {
      gcry_cipher_encrypt(h, out.data(), n, in.data(), n);
    } else {
      gcry_cipher_decrypt(h, out.data(), n, in.data(), n);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  orvo::bench::SetPeerBytes(state, n);
  gcry_cipher_close(h);
}

void GcryptKeySetup(benchmark::State& state) {
  gcry_check_version(nullptr);
  gcry_cipher_hd_t h;
  gcry_cipher_open(&h, GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_ECB, 0);
  for (auto _ : state) {
    gcry_cipher_setkey(h, kKey, 16);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  gcry_cipher_close(h);
}
#endif

#ifdef ORVO_PEER_CRYPTOPP
template <typename Mode>
void CryptoppRun(benchmark::State& state, Mode& mode, size_t n) {
  const std::vector<uint8_t> in = orvo::bench::Pattern(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    mode.ProcessData(out.data(), in.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  orvo::bench::SetPeerBytes(state, n);
}

void Cryptopp(benchmark::State& state, Op op, size_t n) {
  const uint8_t iv[16] = {};
  switch (op) {
    case Op::kEcbEncrypt: {
      CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption m(kKey, 16);
      CryptoppRun(state, m, n);
      break;
    }
    case Op::kEcbDecrypt: {
      CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption m(kKey, 16);
      CryptoppRun(state, m, n);
      break;
    }
    case Op::kCbcEncrypt: {
      CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption m(kKey, 16, iv);
      CryptoppRun(state, m, n);
      break;
    }
    case Op::kCbcDecrypt: {
      CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption m(kKey, 16, iv);
      CryptoppRun(state, m, n);
      break;
    }
  }
}

void CryptoppKeySetup(benchmark::State& state) {
  CryptoPP::AES::Encryption enc;
  CryptoPP::AES::Decryption dec;
  for (auto _ : state) {
    enc.SetKey(kKey, 16);
    dec.SetKey(kKey, 16);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
#endif

const bool kRegistered = [] {
#ifdef ORVO_PEER_GCRYPT
  HideFromGcryptWhatOursLacks();
#endif
  for (const Op op : orvo::bench::kOps) {
    for (const size_t n : orvo::bench::kSizes) {
      for (const OrvoPath& path : kOrvoPaths) {
        benchmark::RegisterBenchmark(BenchName("AES128", path.impl, op, n).c_str(), OrvoEngine, path, op, n);
      }
      benchmark::RegisterBenchmark(BenchName("AES128", "orvo-stream", op, n).c_str(), OrvoStream, op, n);
#ifdef ORVO_PEER_OPENSSL
      benchmark::RegisterBenchmark(BenchName("AES128", "openssl", op, n).c_str(), OpenSSL, op, n);
#endif
#ifdef ORVO_PEER_NETTLE
      benchmark::RegisterBenchmark(BenchName("AES128", "nettle", op, n).c_str(), Nettle, op, n);
#endif
#ifdef ORVO_PEER_GCRYPT
      benchmark::RegisterBenchmark(BenchName("AES128", "gcrypt", op, n).c_str(), Gcrypt, op, n);
#endif
#ifdef ORVO_PEER_CRYPTOPP
      benchmark::RegisterBenchmark(BenchName("AES128", "cryptopp", op, n).c_str(), Cryptopp, op, n);
#endif
    }
  }
  // Key set-up: our SetKey builds both schedules, so the peers set both keys
  // where they keep them apart.
  benchmark::RegisterBenchmark("AES128/orvo/key-setup", OrvoKeySetup);
#ifdef ORVO_PEER_OPENSSL
  benchmark::RegisterBenchmark("AES128/openssl/key-setup", OpenSSLKeySetup);
#endif
#ifdef ORVO_PEER_NETTLE
  benchmark::RegisterBenchmark("AES128/nettle/key-setup", NettleKeySetup);
#endif
#ifdef ORVO_PEER_GCRYPT
  benchmark::RegisterBenchmark("AES128/gcrypt/key-setup", GcryptKeySetup);
#endif
#ifdef ORVO_PEER_CRYPTOPP
  benchmark::RegisterBenchmark("AES128/cryptopp/key-setup", CryptoppKeySetup);
#endif
  return true;
}();

}  // namespace
