// Twofish-128 and Blowfish (16-byte key) through the engine in ECB and CBC at
// 64 B and 1 MiB, one block through EncryptBlock/DecryptBlock, and key set-ups
// per second, with the peers that offer the cipher in the same run: libgcrypt,
// Crypto++ and Nettle, and OpenSSL for Blowfish.
//
// Names: <cipher>/<implementation>/<operation>[/<bytes>]. Throughput is in
// bytes_per_second, key set-ups in items_per_second. A peer's row also shows
// our figure from the same run ("ours", measured just before it, MB/s or key
// set-ups per second), the peer's ("peer") and ours / peer ("ratio").
// Our key set-up is SetKey of a key blob (with Blowfish's two self-tests).
// Rows "orvo-portable" force the shifts and masks for the S-box indices
// where the processor offers BEXTR (BMI1), for information.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/cpu_features.h"
#include "base/test_hooks.h"
#include "bench/bench_cipher.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"

#ifdef ORVO_PEER_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#endif
#ifdef ORVO_PEER_GCRYPT
#include <gcrypt.h>
#endif
#ifdef ORVO_PEER_CRYPTOPP
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/twofish.h>
#endif
#ifdef ORVO_PEER_NETTLE
#include <nettle/blowfish.h>
#include <nettle/cbc.h>
#include <nettle/twofish.h>
#endif

namespace {

using orvo::bench::BenchName;
using orvo::bench::IsCbc;
using orvo::bench::IsEncrypt;
using orvo::bench::Op;

const uint8_t kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                          0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs `body` for every iteration and returns the units per second it reached.
template <typename Body>
double Measure(benchmark::State& state, int64_t unitsPerIteration, Body body) {
  const double start = ThreadSeconds();
  for (auto _ : state) body();
  const double seconds = ThreadSeconds() - start;
  return seconds > 0 ? static_cast<double>(state.iterations()) * static_cast<double>(unitsPerIteration) / seconds : 0;
}

// Our figures of this run by row (cipher, operation, bytes), for the peers' ratios.
std::map<std::string, double>& OurFigures() {
  static std::map<std::string, double> figures;
  return figures;
}

void Report(benchmark::State& state, const std::string& row, double figure, bool ours, double scale) {
  if (ours) {
    OurFigures()[row] = figure;
    return;
  }
  state.counters["peer"] = figure / scale;
  const auto it = OurFigures().find(row);
  if (it != OurFigures().end() && figure > 0) {
    state.counters["ours"] = it->second / scale;
    state.counters["ratio"] = it->second / figure;
  }
}

// One peer of one cipher: a bulk operation over n bytes (CBC continuing its
// chain from call to call) and a key set-up.
struct Peer {
  using Bulk = std::function<void(Op op, const uint8_t* in, uint8_t* out, size_t n)>;
  std::string name;
  Bulk bulk;
  std::function<void()> keySetup;
};

template <typename Cipher>
void OursEngine(benchmark::State& state, std::string cipher, XBlob keyBlob, Op op, size_t n, bool portable) {
  std::optional<orvo::cpu::ScopedFeatureOverride> path;  // a forced-portable row hides BMI1
  if (portable) path.emplace(orvo::cpu::Feature::kBmi1);
  Cipher c;
  c.SetKey(keyBlob);
  c.Setup(IsCbc(op) ? XBlockCipher::kModeCBC : XBlockCipher::kModeECB, 0);
  const XBlob input = orvo::bench::PatternBlob(n);
  const double figure = Measure(state, static_cast<int64_t>(n), [&] {
    XBlob out = IsEncrypt(op) ? c.Encrypt(input) : c.Decrypt(input);
    benchmark::DoNotOptimize(out.data);
    benchmark::ClobberMemory();
  });
  orvo::bench::SetPeerBytes(state, n);
  if (!portable) Report(state, BenchName(cipher, "*", op, n), figure, true, 1e6);
}

void PeerBulk(benchmark::State& state, std::string cipher, Peer peer, Op op, size_t n) {
  const std::vector<uint8_t> in = orvo::bench::Pattern(n);
  std::vector<uint8_t> out(n);
  const double figure = Measure(state, static_cast<int64_t>(n), [&] {
    peer.bulk(op, in.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  });
  orvo::bench::SetPeerBytes(state, n);
  Report(state, BenchName(cipher, "*", op, n), figure, false, 1e6);
}

template <typename Cipher>
void OursKeySetup(benchmark::State& state, std::string cipher, XBlob keyBlob, bool portable) {
  std::optional<orvo::cpu::ScopedFeatureOverride> path;  // a forced-portable row hides BMI1
  if (portable) path.emplace(orvo::cpu::Feature::kBmi1);
  Cipher c;
  const double figure = Measure(state, 1, [&] {
    c.SetKey(keyBlob);
    benchmark::ClobberMemory();
  });
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  if (!portable) Report(state, cipher + "/key-setup", figure, true, 1);
}

void PeerKeySetup(benchmark::State& state, std::string cipher, Peer peer) {
  const double figure = Measure(state, 1, [&] {
    peer.keySetup();
    benchmark::ClobberMemory();
  });
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  Report(state, cipher + "/key-setup", figure, false, 1);
}

// One block at a time through the virtual block operations, no engine.
template <typename Cipher>
void OursBlock(benchmark::State& state, XBlob keyBlob, bool decrypt) {
  Cipher c;
  c.SetKey(keyBlob);
  const uint32_t bs = c.BlockSize();
  uint8_t a[16] = {1, 2, 3};
  uint8_t b[16];
  for (auto _ : state) {
    if (decrypt) {
      c.DecryptBlock(a, b);
      c.DecryptBlock(b, a);
    } else {
      c.EncryptBlock(a, b);
      c.EncryptBlock(b, a);
    }
  }
  benchmark::DoNotOptimize(a);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * bs);
}

XBlob KeyBlob(uint32_t count) {
  XBlob blob(16);
  blob.InsertLong(count);
  blob.Append(kKey, sizeof kKey);
  return blob;
}

#ifdef ORVO_PEER_GCRYPT
Peer Gcrypt(int algorithm, size_t blockSize) {
  static const bool initialised = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)initialised;
  auto open = [algorithm, blockSize](int mode) {
    gcry_cipher_hd_t h = nullptr;
    gcry_cipher_open(&h, algorithm, mode, 0);
    gcry_cipher_setkey(h, kKey, sizeof kKey);
    if (mode == GCRY_CIPHER_MODE_CBC) {
      const std::vector<uint8_t> iv(blockSize, 0);
      gcry_cipher_setiv(h, iv.data(), blockSize);
    }
    return std::shared_ptr<gcry_cipher_handle>(h, gcry_cipher_close);
  };
  auto ecb = open(GCRY_CIPHER_MODE_ECB);
  auto cbcEnc = open(GCRY_CIPHER_MODE_CBC);
  auto cbcDec = open(GCRY_CIPHER_MODE_CBC);
  auto keyed = open(GCRY_CIPHER_MODE_ECB);
  Peer peer;
  peer.name = "gcrypt";
  peer.bulk = [ecb, cbcEnc, cbcDec](Op op, const uint8_t* in, uint8_t* out, size_t n) {
    switch (op) {
      case Op::kEcbEncrypt: gcry_cipher_encrypt(ecb.get(), out, n, in, n); break;
      case Op::kEcbDecrypt: gcry_cipher_decrypt(ecb.get(), out, n, in, n); break;
      case Op::kCbcEncrypt: gcry_cipher_encrypt(cbcEnc.get(), out, n, in, n); break;
      case Op::kCbcDecrypt: gcry_cipher_decrypt(cbcDec.get(), out, n, in, n); break;
    }
  };
  peer.keySetup = [keyed] { gcry_cipher_setkey(keyed.get(), kKey, sizeof kKey); };
  return peer;
}
#endif

#ifdef ORVO_PEER_CRYPTOPP
template <typename BlockCipher>
Peer Cryptopp() {
  using namespace ::CryptoPP;
  const std::vector<uint8_t> iv(BlockCipher::BLOCKSIZE, 0);
  auto ecbEnc = std::make_shared<typename ECB_Mode<BlockCipher>::Encryption>(kKey, sizeof kKey);
  auto ecbDec = std::make_shared<typename ECB_Mode<BlockCipher>::Decryption>(kKey, sizeof kKey);
  auto cbcEnc = std::make_shared<typename CBC_Mode<BlockCipher>::Encryption>(kKey, sizeof kKey, iv.data());
  auto cbcDec = std::make_shared<typename CBC_Mode<BlockCipher>::Decryption>(kKey, sizeof kKey, iv.data());
  auto keyed = std::make_shared<typename BlockCipher::Encryption>();
  Peer peer;
  peer.name = "cryptopp";
  peer.bulk = [ecbEnc, ecbDec, cbcEnc, cbcDec](Op op, const uint8_t* in, uint8_t* out, size_t n) {
    switch (op) {
      case Op::kEcbEncrypt: ecbEnc->ProcessData(out, in, n); break;
      case Op::kEcbDecrypt: ecbDec->ProcessData(out, in, n); break;
      case Op::kCbcEncrypt: cbcEnc->ProcessData(out, in, n); break;
      case Op::kCbcDecrypt: cbcDec->ProcessData(out, in, n); break;
    }
  };
  peer.keySetup = [keyed] { keyed->SetKey(kKey, sizeof kKey); };
  return peer;
}
#endif

#ifdef ORVO_PEER_NETTLE
template <typename Ctx>
Peer Nettle(void (*setKey)(Ctx*, const uint8_t*), nettle_cipher_func* encrypt, nettle_cipher_func* decrypt,
            size_t blockSize) {
  auto ctx = std::make_shared<Ctx>();
  auto keyed = std::make_shared<Ctx>();
  setKey(ctx.get(), kKey);
  auto encIv = std::make_shared<std::vector<uint8_t>>(blockSize, 0);
  auto decIv = std::make_shared<std::vector<uint8_t>>(blockSize, 0);
  Peer peer;
  peer.name = "nettle";
  peer.bulk = [=](Op op, const uint8_t* in, uint8_t* out, size_t n) {
    switch (op) {
      case Op::kEcbEncrypt: encrypt(ctx.get(), n, out, in); break;
      case Op::kEcbDecrypt: decrypt(ctx.get(), n, out, in); break;
      case Op::kCbcEncrypt: cbc_encrypt(ctx.get(), encrypt, blockSize, encIv->data(), n, out, in); break;
      case Op::kCbcDecrypt: cbc_decrypt(ctx.get(), decrypt, blockSize, decIv->data(), n, out, in); break;
    }
  };
  peer.keySetup = [keyed, setKey] { setKey(keyed.get(), kKey); };
  return peer;
}

void NettleTwofishKey(twofish_ctx* ctx, const uint8_t* key) { twofish128_set_key(ctx, key); }
void NettleBlowfishKey(blowfish_ctx* ctx, const uint8_t* key) { blowfish128_set_key(ctx, key); }
#endif

#ifdef ORVO_PEER_OPENSSL
// The low-level BF_* interface: OpenSSL 3 offers Blowfish through EVP only
// with the legacy provider loaded.
Peer OpensslBlowfish() {
  auto key = std::make_shared<BF_KEY>();
  auto keyed = std::make_shared<BF_KEY>();
  BF_set_key(key.get(), sizeof kKey, kKey);
  auto encIv = std::make_shared<std::vector<uint8_t>>(8, 0);
  auto decIv = std::make_shared<std::vector<uint8_t>>(8, 0);
  Peer peer;
  peer.name = "openssl";
  peer.bulk = [key, encIv, decIv](Op op, const uint8_t* in, uint8_t* out, size_t n) {
    switch (op) {
      case Op::kEcbEncrypt:
        for (size_t at = 0; at < n; at += 8) BF_ecb_encrypt(in + at, out + at, key.get(), BF_ENCRYPT);
        break;
      case Op::kEcbDecrypt:
        for (size_t at = 0; at < n; at += 8) BF_ecb_encrypt(in + at, out + at, key.get(), BF_DECRYPT);
        break;
      case Op::kCbcEncrypt:
        BF_cbc_encrypt(in, out, static_cast<long>(n), key.get(), encIv->data(), BF_ENCRYPT);
        break;
      case Op::kCbcDecrypt:
        BF_cbc_encrypt(in, out, static_cast<long>(n), key.get(), decIv->data(), BF_DECRYPT);
        break;
    }
  };
  peer.keySetup = [keyed] { BF_set_key(keyed.get(), sizeof kKey, kKey); };
  return peer;
}
#endif

template <typename Cipher>
void RegisterCipher(const std::string& cipher, const XBlob& keyBlob, const std::vector<Peer>& peers) {
  benchmark::RegisterBenchmark((cipher + "/orvo/EncryptBlock").c_str(), OursBlock<Cipher>, keyBlob, false);
  benchmark::RegisterBenchmark((cipher + "/orvo/DecryptBlock").c_str(), OursBlock<Cipher>, keyBlob, true);
  for (const Op op : orvo::bench::kOps) {
    for (const size_t n : orvo::bench::kSizes) {
      benchmark::RegisterBenchmark(BenchName(cipher, "orvo", op, n).c_str(), OursEngine<Cipher>, cipher, keyBlob, op, n,
                                   false);
      if (orvo::cpu::Detected().bmi1 && n >= 1024) {
        benchmark::RegisterBenchmark(BenchName(cipher, "orvo-portable", op, n).c_str(), OursEngine<Cipher>, cipher,
                                     keyBlob, op, n, true);
      }
      for (const Peer& peer : peers) {
        benchmark::RegisterBenchmark(BenchName(cipher, peer.name, op, n).c_str(), PeerBulk, cipher, peer, op, n);
      }
    }
  }
  benchmark::RegisterBenchmark((cipher + "/orvo/key-setup").c_str(), OursKeySetup<Cipher>, cipher, keyBlob, false);
  if (orvo::cpu::Detected().bmi1) {
    benchmark::RegisterBenchmark((cipher + "/orvo-portable/key-setup").c_str(), OursKeySetup<Cipher>, cipher, keyBlob,
                                 true);
  }
  for (const Peer& peer : peers) {
    benchmark::RegisterBenchmark((cipher + "/" + peer.name + "/key-setup").c_str(), PeerKeySetup, cipher, peer);
  }
}

const bool kRegistered = [] {
  std::vector<Peer> twofish;
  std::vector<Peer> blowfish;
#ifdef ORVO_PEER_GCRYPT
  twofish.push_back(Gcrypt(GCRY_CIPHER_TWOFISH128, 16));
  blowfish.push_back(Gcrypt(GCRY_CIPHER_BLOWFISH, 8));
#endif
#ifdef ORVO_PEER_CRYPTOPP
  twofish.push_back(Cryptopp<::CryptoPP::Twofish>());
  blowfish.push_back(Cryptopp<::CryptoPP::Blowfish>());
#endif
#ifdef ORVO_PEER_NETTLE
  twofish.push_back(Nettle<twofish_ctx>(NettleTwofishKey, reinterpret_cast<nettle_cipher_func*>(twofish_encrypt),
                                        reinterpret_cast<nettle_cipher_func*>(twofish_decrypt), 16));
  blowfish.push_back(Nettle<blowfish_ctx>(NettleBlowfishKey, reinterpret_cast<nettle_cipher_func*>(blowfish_encrypt),
                                          reinterpret_cast<nettle_cipher_func*>(blowfish_decrypt), 8));
#endif
#ifdef ORVO_PEER_OPENSSL
  blowfish.push_back(OpensslBlowfish());
#endif
  RegisterCipher<XTwofish>("Twofish128", KeyBlob(2), twofish);
  RegisterCipher<XBlowfish>("Blowfish", KeyBlob(16), blowfish);
  return true;
}();

}  // namespace
