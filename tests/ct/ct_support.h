// Shared by the constant-time checking programs: hexadecimal text, the key
// blobs of tests/data/rsa/rsa_keys.vec, and a failure counter. These programs
// run under valgrind's memcheck (scripts/test ct), where every branch or
// memory address that depends on a byte marked with orvo::ct::Classify is an
// error; their own checks of the results make sure the work was really done.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/constant_time.h"
#include "base/xblob.h"

namespace orvo::ct_check {

inline int g_failures = 0;

inline void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++g_failures;
  }
}

inline XBlob BlobOfHex(const std::string& hex) {
  XBlob blob(static_cast<uint32_t>(hex.size() / 2 + 16));
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const uint8_t byte = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
    blob.Append(&byte, 1);
  }
  return blob;
}

inline XBlob BlobOfText(const char* text) {
  XBlob blob(16);
  blob.Append(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::string(text).size()));
  return blob;
}

struct KeyBlobs {
  XBlob pub{16};
  XBlob priv{16};
};

// The first key of each requested size (64, 128 or 256 bytes) in the file.
inline KeyBlobs KeyOfSize(const std::string& path, uint32_t requested) {
  std::ifstream in(path);
  std::string line;
  bool wanted = false;
  KeyBlobs blobs;
  while (std::getline(in, line)) {
    const auto value = [&](const char* name) -> std::string {
      const std::string prefix = std::string(name) + " = ";
      return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
    };
    if (!value("Requested").empty()) wanted = std::stoul(value("Requested")) == requested;
    if (wanted && !value("Public").empty()) blobs.pub = BlobOfHex(value("Public"));
    if (wanted && !value("Private").empty()) {
      blobs.priv = BlobOfHex(value("Private"));
      return blobs;
    }
  }
  std::fprintf(stderr, "no key of %u bytes in %s\n", requested, path.c_str());
  std::exit(2);
}

}  // namespace orvo::ct_check
