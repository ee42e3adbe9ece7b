// Reader for known-answer vector files (tests/data/<area>/*.vec).
//
// Format: lines "Name = value"; a blank line ends a record; "[Section]" sets
// the section of the records that follow; "#" starts a comment line. The first
// line of every file is "# Source: <public document>".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/xblob.h"

namespace orvo::test {

struct VecRecord {
  std::string file;
  int line = 0;  // line of the record's first field
  std::string section;
  std::map<std::string, std::string> fields;

  bool Has(const std::string& name) const { return fields.count(name) != 0; }
  const std::string& Get(const std::string& name) const;
  // The field's hexadecimal value as bytes (empty text gives no bytes).
  std::vector<uint8_t> Bytes(const std::string& name) const;
  XBlob Blob(const std::string& name) const;
  uint64_t Number(const std::string& name) const;  // decimal or 0x-hexadecimal
  // "file:line" for failure messages.
  std::string Where() const;
};

// Reads tests/data/<relativePath>. Fails the calling test, naming the file,
// when the file is missing, does not open with its "# Source:" line, or holds
// another number of records than its entry in vec_file.cpp says.
std::vector<VecRecord> ReadVecFile(const std::string& relativePath);

// Absolute path of a file under tests/data.
std::string TestDataPath(const std::string& relativePath);

std::vector<uint8_t> FromHexText(const std::string& hex);
std::string ToHexText(const uint8_t* bytes, size_t n);
std::string ToHexText(const XBlob& blob);
XBlob BlobOf(const std::vector<uint8_t>& bytes);
XBlob BlobOf(const std::string& text);

}  // namespace orvo::test
