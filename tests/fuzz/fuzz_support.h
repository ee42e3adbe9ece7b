// Shared pieces of the fuzz targets: a reader that cuts one fuzz input into
// the values a target needs, a check that aborts (so libFuzzer and the corpus
// replay both report it as a finding), and the alarm test.
//
// Input layout, read front to back (tests/fuzz/make_corpus.py writes it):
//   Byte()   one byte (0 once the input is used up)
//   U16()    two bytes, big-endian
//   U32()    four bytes, big-endian
//   Piece(m) a U16 length L, then min(L, m, bytes left) bytes
//   Rest(m)  the remaining bytes, at most m
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/alarm.h"
#include "base/xblob.h"

// Every fuzz target defines this; libFuzzer's driver or the corpus replay calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace orvo::fuzz {

[[noreturn]] inline void CheckFailed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::orvo::fuzz::CheckFailed(__FILE__, __LINE__, #condition))

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), left_(size) {}

  size_t Left() const { return left_; }

  uint8_t Byte() {
    if (left_ == 0) return 0;
    --left_;
    return *data_++;
  }
  uint16_t U16() {
    const uint16_t hi = Byte();
    return static_cast<uint16_t>((hi << 8) | Byte());
  }
  uint32_t U32() {
    const uint32_t hi = U16();
    return (hi << 16) | U16();
  }
  std::vector<uint8_t> Piece(size_t max) { return Take(U16(), max); }
  std::vector<uint8_t> Rest(size_t max) { return Take(left_, max); }

 private:
  std::vector<uint8_t> Take(size_t n, size_t max) {
    if (n > max) n = max;
    if (n > left_) n = left_;
    std::vector<uint8_t> out(data_, data_ + n);
    data_ += n;
    left_ -= n;
    return out;
  }

  const uint8_t* data_;
  size_t left_;
};

// The folder for a target's scratch files: Linux's memory file system where
// there is one, so that files cost no disk writes; else the temporary folder.
inline const std::filesystem::path& ScratchRoot() {
  static const std::filesystem::path root = [] {
#if !defined(_WIN32)
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored)) return std::filesystem::path("/dev/shm");
#endif
    return std::filesystem::temp_directory_path();
  }();
  return root;
}

// An XBlob holding `bytes`, with `extra` spare capacity (the growth rules
// depend on the capacity, so targets vary it).
inline XBlob BlobOf(const std::vector<uint8_t>& bytes, uint32_t extra = 0) {
  XBlob blob(static_cast<uint32_t>(bytes.size()) + extra);
  if (!bytes.empty()) std::memcpy(blob.data, bytes.data(), bytes.size());
  blob.size = static_cast<uint32_t>(bytes.size());
  return blob;
}

inline std::vector<uint8_t> BytesOf(const XBlob& blob) { return std::vector<uint8_t>(blob.data, blob.data + blob.size); }

inline bool SameBytes(const XBlob& blob, const std::vector<uint8_t>& bytes) {
  return blob.size == bytes.size() && (bytes.empty() || std::memcmp(blob.data, bytes.data(), bytes.size()) == 0);
}

// True when the alarm carries `message` and `object` (null: no object name).
inline bool IsAlarm(const XAlarm& alarm, const char* message, const char* object) {
  if (alarm.message == nullptr || std::strcmp(alarm.message, message) != 0) return false;
  if (object == nullptr) return alarm.object == nullptr;
  return alarm.object != nullptr && std::strcmp(alarm.object, object) == 0;
}

}  // namespace orvo::fuzz
