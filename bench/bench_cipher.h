// Helpers for the block-cipher benchmarks: inputs, the four engine operations
// and the engine loop, measured as a scripting object's call does its work
// (a fresh result buffer per call, freed afterwards).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/xblob.h"
#include "crypto/block_cipher.h"

namespace orvo::bench {

// 64 bytes (a short message) and 1 MiB (bulk).
inline const std::vector<size_t> kSizes = {64, size_t{1} << 20};

enum class Op { kEcbEncrypt, kEcbDecrypt, kCbcEncrypt, kCbcDecrypt };
inline const std::vector<Op> kOps = {Op::kEcbEncrypt, Op::kEcbDecrypt, Op::kCbcEncrypt, Op::kCbcDecrypt};

inline const char* OpName(Op op) {
  switch (op) {
    case Op::kEcbEncrypt: return "ecb-encrypt";
    case Op::kEcbDecrypt: return "ecb-decrypt";
    case Op::kCbcEncrypt: return "cbc-encrypt";
    case Op::kCbcDecrypt: return "cbc-decrypt";
  }
  return "?";
}
inline bool IsCbc(Op op) { return op == Op::kCbcEncrypt || op == Op::kCbcDecrypt; }
inline bool IsEncrypt(Op op) { return op == Op::kEcbEncrypt || op == Op::kCbcEncrypt; }

// "<cipher>/<implementation>/<operation>/<bytes>"
inline std::string BenchName(const std::string& cipher, const std::string& impl, Op op, size_t n) {
  return cipher + "/" + impl + "/" + OpName(op) + "/" + std::to_string(n);
}

inline std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + (i >> 8));
  return v;
}

inline XBlob PatternBlob(size_t n) {
  const std::vector<uint8_t> bytes = Pattern(n);
  XBlob blob(16);
  blob.Append(bytes.data(), static_cast<uint32_t>(n));
  return blob;
}

// The engine's Encrypt or Decrypt over n bytes per iteration, in the cipher's
// mode after Setup; the CBC chain runs on from call to call.
inline void RunEngine(benchmark::State& state, XBlockCipher& cipher, Op op, size_t n) {
  cipher.Setup(IsCbc(op) ? XBlockCipher::kModeCBC : XBlockCipher::kModeECB, 0);
  const XBlob input = PatternBlob(n);
  for (auto _ : state) {
    XBlob out = IsEncrypt(op) ? cipher.Encrypt(input) : cipher.Decrypt(input);
    benchmark::DoNotOptimize(out.data);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

// The streaming calls on n bytes per iteration (n a multiple of the block
// size), into a buffer allocated once as the peers' is: EncryptBlocks or
// DecryptBlocks, what the tool and the C library's update calls run on.
inline void RunStream(benchmark::State& state, XBlockCipher& cipher, Op op, size_t n) {
  cipher.Setup(IsCbc(op) ? XBlockCipher::kModeCBC : XBlockCipher::kModeECB, 0);
  const std::vector<uint8_t> input = Pattern(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    IsEncrypt(op) ? cipher.EncryptBlocks(input.data(), out.data(), n) : cipher.DecryptBlocks(input.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

// Sets bytes processed for a peer loop of n bytes per iteration.
inline void SetPeerBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

}  // namespace orvo::bench
