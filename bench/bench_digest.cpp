// Digests, checksum and seed expansion, with their peers in the same run:
// OpenSSL's MD5 and SHA-1 (ORVO_PEER_OPENSSL) and zlib's crc32 (ORVO_PEER_ZLIB).
// Every row reports bytes per second; bench/run sets ours against the best
// peer. Rows: MD5/{orvo,openssl}/digest, SHA1/{orvo,orvo-portable,orvo-shani,
// openssl}/digest, CRC32/{orvo,orvo-portable,orvo-clmul,zlib}/update, each at
// 64 B, 1 KiB and 1 MiB; ExpandSeed/orvo/expand at the key sizes its callers
// ask for; SHA1/orvo/peak-memory (what a 64 MiB digest holds beyond its input).
// `orvo` is the path this processor gets; `orvo-<path>` forces one.
// OpenSSL picks its SHA-1 code from the processor; to measure it without the
// SHA extensions, run with
//   OPENSSL_ia32cap=":~0x20000000" bash bench/run --benchmark_filter=SHA1
// (bit 29 of CPUID leaf 7 EBX masked), and compare with orvo-portable.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/test_hooks.h"
#include "base/xblob.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/seed_expansion.h"
#include "digest/sha1.h"

#ifdef ORVO_PEER_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/sha.h>
#endif
#ifdef ORVO_PEER_ZLIB
#include <zlib.h>
#endif

namespace {

XBlob Input(int64_t n) {
  XBlob blob(static_cast<uint32_t>(n));
  blob.size = static_cast<uint32_t>(n);
  for (uint32_t i = 0; i < blob.size; ++i) blob.data[i] = static_cast<uint8_t>(i * 131 + 7);
  return blob;
}

template <typename Body>
void Measure(benchmark::State& state, Body body) {
  for (auto _ : state) body();
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// A hardware path shown or hidden for one benchmark.
using orvo::cpu::Feature;
using Path = orvo::cpu::ScopedFeatureOverride;

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(1024)->Arg(1 << 20); }

// MD5.

void BM_MD5(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  Measure(state, [&] { benchmark::DoNotOptimize(MD5Digest(input)); });
}
BENCHMARK(BM_MD5)->Name("MD5/orvo/digest")->Apply(Sizes);

#ifdef ORVO_PEER_OPENSSL
void BM_MD5_OpenSSL(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  unsigned char digest[MD5_DIGEST_LENGTH];
  Measure(state, [&] {
    MD5(input.data, input.size, digest);
    benchmark::DoNotOptimize(digest);
  });
}
BENCHMARK(BM_MD5_OpenSSL)->Name("MD5/openssl/digest")->Apply(Sizes);
#endif

// SHA-1: the path this processor gets, the portable code, the SHA-extensions
// path, OpenSSL.

void BM_SHA1(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  Measure(state, [&] { benchmark::DoNotOptimize(SHA1Digest(input)); });
}
BENCHMARK(BM_SHA1)->Name("SHA1/orvo/digest")->Apply(Sizes);

void BM_SHA1_Portable(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kSha, false);
  Measure(state, [&] { benchmark::DoNotOptimize(SHA1Digest(input)); });
}
BENCHMARK(BM_SHA1_Portable)->Name("SHA1/orvo-portable/digest")->Apply(Sizes);

void BM_SHA1_ShaExtensions(benchmark::State& state) {
  if (!orvo::Sha1HardwareAvailable()) {
    state.SkipWithError("no SHA extensions on this processor");
    return;
  }
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kSha, true);
  Measure(state, [&] { benchmark::DoNotOptimize(SHA1Digest(input)); });
}
BENCHMARK(BM_SHA1_ShaExtensions)->Name("SHA1/orvo-shani/digest")->Apply(Sizes);

#ifdef ORVO_PEER_OPENSSL
void BM_SHA1_OpenSSL(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  unsigned char digest[SHA_DIGEST_LENGTH];
  Measure(state, [&] {
    SHA1(input.data, input.size, digest);
    benchmark::DoNotOptimize(digest);
  });
  const char* cap = std::getenv("OPENSSL_ia32cap");
  state.SetLabel(cap != nullptr ? std::string("OPENSSL_ia32cap=") + cap : "OpenSSL's own choice of code");
}
BENCHMARK(BM_SHA1_OpenSSL)->Name("SHA1/openssl/digest")->Apply(Sizes);
#endif

// Peak memory of SHA1Digest over a 64 MiB input: a child process fills the
// input and, in the second run, digests it; the difference of the two peaks
// ("extra_KiB") is what the digest holds beyond the input (a second copy of it
// would show as 65536).
long ChildPeakKiB(bool digest) {
  const pid_t child = fork();
  if (child == 0) {
    const XBlob input = Input(64 << 20);
    if (digest) benchmark::DoNotOptimize(SHA1Digest(input));
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  return usage.ru_maxrss;
}

void BM_SHA1_PeakMemory(benchmark::State& state) {
  long inputOnly = 0, withDigest = 0;
  for (auto _ : state) {
    inputOnly = ChildPeakKiB(false);
    withDigest = ChildPeakKiB(true);
  }
  state.counters["input_KiB"] = static_cast<double>(inputOnly);
  state.counters["extra_KiB"] = static_cast<double>(withDigest - inputOnly);
}
BENCHMARK(BM_SHA1_PeakMemory)->Name("SHA1/orvo/peak-memory")->Iterations(1)->Unit(benchmark::kMillisecond);

// CRC-32: the path this processor gets, slicing-by-16, carry-less folding, zlib.

void BM_CRC32(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  uint32_t reg = 0xFFFFFFFF;
  Measure(state, [&] { benchmark::DoNotOptimize(CRC32Update(reg, input)); });
}
BENCHMARK(BM_CRC32)->Name("CRC32/orvo/update")->Apply(Sizes);

void BM_CRC32_Portable(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kPclmulqdq, false);
  uint32_t reg = 0xFFFFFFFF;
  Measure(state, [&] { benchmark::DoNotOptimize(CRC32Update(reg, input)); });
}
BENCHMARK(BM_CRC32_Portable)->Name("CRC32/orvo-portable/update")->Apply(Sizes);

void BM_CRC32_Carryless(benchmark::State& state) {
  if (!orvo::Crc32HardwareAvailable()) {
    state.SkipWithError("no carry-less multiplication on this processor");
    return;
  }
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kPclmulqdq, true);
  uint32_t reg = 0xFFFFFFFF;
  Measure(state, [&] { benchmark::DoNotOptimize(CRC32Update(reg, input)); });
}
BENCHMARK(BM_CRC32_Carryless)->Name("CRC32/orvo-clmul/update")->Apply(Sizes);

#ifdef ORVO_PEER_ZLIB
void BM_CRC32_Zlib(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  uLong crc = crc32(0L, Z_NULL, 0);
  Measure(state, [&] {
    crc = crc32(crc, input.data, input.size);
    benchmark::DoNotOptimize(crc);
  });
}
BENCHMARK(BM_CRC32_Zlib)->Name("CRC32/zlib/update")->Apply(Sizes);
#endif

// ExpandSeed: the key sizes its callers ask for (a 16-byte seed; 16 to 56
// bytes for symmetric keys, 64 and 128 for the primes of 1024- and 2048-bit RSA).
void BM_ExpandSeed(benchmark::State& state) {
  const XBlob seed = Input(16);
  const auto n = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(ExpandSeed(seed, n));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExpandSeed)->Name("ExpandSeed/orvo/expand")->Arg(16)->Arg(56)->Arg(128)->Arg(256);

}  // namespace
