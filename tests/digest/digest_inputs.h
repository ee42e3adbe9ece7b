// Inputs shared by the digest tests; their expected digests live in
// tests/data/digest/*.vec.
#pragma once

#include <cstdint>
#include <string>

#include "base/xblob.h"
#include "tests/support/vec_file.h"

namespace orvo::test {

// Byte i is (i * 7 + 3) mod 251, as in tests/data/digest/make_vectors.py.
inline XBlob Pattern(uint32_t n) {
  XBlob blob(n);
  blob.size = n;
  for (uint32_t i = 0; i < n; ++i) blob.data[i] = static_cast<uint8_t>((uint64_t{i} * 7 + 3) % 251);
  return blob;
}

// The record's Text, repeated Repeat times (once without a Repeat field).
inline XBlob RepeatedText(const VecRecord& record) {
  const std::string& text = record.Get("Text");
  const uint64_t repeat = record.Has("Repeat") ? record.Number("Repeat") : 1;
  XBlob blob(16);
  for (uint64_t i = 0; i < repeat; ++i) {
    blob.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  }
  return blob;
}

}  // namespace orvo::test
