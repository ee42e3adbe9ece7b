// Digests, checksum and seed expansion, with their peers in the same run:
// OpenSSL's MD5 and SHA-1 (ORVO_PEER_OPENSSL) and zlib's crc32 (ORVO_PEER_ZLIB).
//
// Every benchmark reports bytes per second. A peer's row also shows our figure
// from the same run ("ours_MBps", measured just before it), the peer's
// ("peer_MBps") and ours / peer ("ratio"). SHA-1 has two paths of ours: the
// peer's row compares with the SHA-extensions path ("ratio_hw") and with the
// portable code ("ratio_portable"). OpenSSL picks its SHA-1 code from the
// processor; to measure it without the SHA extensions, run with
//   OPENSSL_ia32cap=":~0x20000000" bash bench/run --benchmark_filter=SHA1
// (bit 29 of CPUID leaf 7 EBX masked), and read "ratio_portable".
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
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

// Our figures of this run, by "<name>/<bytes>", in bytes per second.
std::map<std::string, double>& OurFigures() {
  static std::map<std::string, double> figures;
  return figures;
}

std::string Key(const char* name, int64_t bytes) { return std::string(name) + "/" + std::to_string(bytes); }

// CPU time of this thread, as the benchmark library counts it: other work on
// the machine does not move the figures.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs `body` for every iteration and returns the bytes per second it reached.
template <typename Body>
double Measure(benchmark::State& state, int64_t bytes, Body body) {
  const double start = ThreadSeconds();
  for (auto _ : state) body();
  const double seconds = ThreadSeconds() - start;
  state.SetBytesProcessed(state.iterations() * bytes);
  return seconds > 0 ? static_cast<double>(state.iterations()) * static_cast<double>(bytes) / seconds : 0;
}

template <typename Body>
void Ours(benchmark::State& state, const char* name, Body body) {
  const int64_t bytes = state.range(0);
  OurFigures()[Key(name, bytes)] = Measure(state, bytes, body);
}

// A peer's row: its figure, ours of the same name, and the ratio.
template <typename Body>
void Peer(benchmark::State& state, const char* ours, Body body) {
  const int64_t bytes = state.range(0);
  const double peer = Measure(state, bytes, body);
  state.counters["peer_MBps"] = peer / 1e6;
  const auto it = OurFigures().find(Key(ours, bytes));
  if (it != OurFigures().end() && peer > 0) {
    state.counters["ours_MBps"] = it->second / 1e6;
    state.counters["ratio"] = it->second / peer;
  }
}

// A hardware path shown or hidden for one benchmark.
using orvo::cpu::Feature;
using Path = orvo::cpu::ScopedFeatureOverride;

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(1024)->Arg(1 << 20); }

// MD5.

void BM_MD5(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  Ours(state, "MD5", [&] { benchmark::DoNotOptimize(MD5Digest(input)); });
}
BENCHMARK(BM_MD5)->Apply(Sizes);

#ifdef ORVO_PEER_OPENSSL
void BM_MD5_OpenSSL(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  unsigned char digest[MD5_DIGEST_LENGTH];
  Peer(state, "MD5", [&] {
    MD5(input.data, input.size, digest);
    benchmark::DoNotOptimize(digest);
  });
}
BENCHMARK(BM_MD5_OpenSSL)->Apply(Sizes);
#endif

// SHA-1: the portable code, the SHA-extensions path, OpenSSL.

void BM_SHA1_Portable(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kSha, false);
  Ours(state, "SHA1_Portable", [&] { benchmark::DoNotOptimize(SHA1Digest(input)); });
}
BENCHMARK(BM_SHA1_Portable)->Apply(Sizes);

void BM_SHA1_ShaExtensions(benchmark::State& state) {
  if (!orvo::Sha1HardwareAvailable()) {
    state.SkipWithError("no SHA extensions on this processor");
    return;
  }
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kSha, true);
  Ours(state, "SHA1_ShaExtensions", [&] { benchmark::DoNotOptimize(SHA1Digest(input)); });
}
BENCHMARK(BM_SHA1_ShaExtensions)->Apply(Sizes);

#ifdef ORVO_PEER_OPENSSL
void BM_SHA1_OpenSSL(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  unsigned char digest[SHA_DIGEST_LENGTH];
  Peer(state, "SHA1_ShaExtensions", [&] {
    SHA1(input.data, input.size, digest);
    benchmark::DoNotOptimize(digest);
  });
  if (state.counters.count("ratio") != 0) {
    state.counters["ratio_hw"] = state.counters["ratio"];
    state.counters.erase("ratio");
    state.counters.erase("ours_MBps");
  }
  const auto portable = OurFigures().find(Key("SHA1_Portable", state.range(0)));
  if (portable != OurFigures().end()) {
    state.counters["ratio_portable"] = portable->second / (state.counters["peer_MBps"] * 1e6);
  }
  const char* cap = std::getenv("OPENSSL_ia32cap");
  state.SetLabel(cap != nullptr ? std::string("OPENSSL_ia32cap=") + cap : "OpenSSL's own choice of code");
}
BENCHMARK(BM_SHA1_OpenSSL)->Apply(Sizes);
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
BENCHMARK(BM_SHA1_PeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// CRC-32: slicing-by-16, carry-less folding, zlib.

void BM_CRC32_Portable(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kPclmulqdq, false);
  uint32_t reg = 0xFFFFFFFF;
  Ours(state, "CRC32_Portable", [&] { benchmark::DoNotOptimize(CRC32Update(reg, input)); });
}
BENCHMARK(BM_CRC32_Portable)->Apply(Sizes);

void BM_CRC32_Carryless(benchmark::State& state) {
  if (!orvo::Crc32HardwareAvailable()) {
    state.SkipWithError("no carry-less multiplication on this processor");
    return;
  }
  const XBlob input = Input(state.range(0));
  const Path path(Feature::kPclmulqdq, true);
  uint32_t reg = 0xFFFFFFFF;
  Ours(state, "CRC32_Carryless", [&] { benchmark::DoNotOptimize(CRC32Update(reg, input)); });
}
BENCHMARK(BM_CRC32_Carryless)->Apply(Sizes);

#ifdef ORVO_PEER_ZLIB
void BM_CRC32_Zlib(benchmark::State& state) {
  const XBlob input = Input(state.range(0));
  uLong crc = crc32(0L, Z_NULL, 0);
  Peer(state, orvo::Crc32HardwareAvailable() ? "CRC32_Carryless" : "CRC32_Portable", [&] {
    crc = crc32(crc, input.data, input.size);
    benchmark::DoNotOptimize(crc);
  });
  const auto portable = OurFigures().find(Key("CRC32_Portable", state.range(0)));
  if (portable != OurFigures().end()) {
    state.counters["ratio_portable"] = portable->second / (state.counters["peer_MBps"] * 1e6);
  }
}
BENCHMARK(BM_CRC32_Zlib)->Apply(Sizes);
#endif

// ExpandSeed: the key sizes its callers ask for (a 16-byte seed; 16 to 56
// bytes for symmetric keys, 64 and 128 for the primes of 1024- and 2048-bit RSA).
void BM_ExpandSeed(benchmark::State& state) {
  const XBlob seed = Input(16);
  const auto n = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(ExpandSeed(seed, n));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExpandSeed)->Arg(16)->Arg(56)->Arg(128)->Arg(256);

}  // namespace
