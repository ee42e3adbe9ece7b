#include "tests/support/vec_file.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <map>
#include <stdexcept>

namespace orvo::test {

namespace {

std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  const auto end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Every vector file and its number of records: a file cut short or a record
// lost to a stray blank line fails the test that reads it.
const std::map<std::string, std::size_t> kRecordCounts = {
    {"crypto/aes_bulk.vec", 3},
    {"crypto/aes_cbc_iv.vec", 3},
    {"crypto/aes_engine.vec", 59},
    {"crypto/aes_fips197.vec", 3},
    {"crypto/aes_kat.vec", 1039},
    {"crypto/aes_keygen.vec", 26},
    {"crypto/aes_rounds.vec", 13},
    {"crypto/blowfish.vec", 59},
    {"crypto/blowfish_keygen.vec", 40},
    {"crypto/twofish.vec", 150},
    {"crypto/twofish_keygen.vec", 40},
    {"digest/crc32_catalogue.vec", 2},
    {"digest/expand_seed.vec", 65},
    {"digest/md5_rfc1321.vec", 7},
    {"digest/pattern_digests.vec", 210},
    {"digest/random_counter.vec", 11},
    {"digest/sha1_fips180_1.vec", 3},
    {"orvoblob/rfc3629.vec", 4},
    {"orvoblob/rfc4648.vec", 7},
    {"rsa/rsa_keys.vec", 42},
    {"wipe/padding_seeds.vec", 4},
};

constexpr char kSourcePrefix[] = "# Source: ";

}  // namespace

const std::string& VecRecord::Get(const std::string& name) const {
  const auto it = fields.find(name);
  if (it == fields.end()) throw std::runtime_error(Where() + ": no field " + name);
  return it->second;
}

std::vector<uint8_t> VecRecord::Bytes(const std::string& name) const { return FromHexText(Get(name)); }

XBlob VecRecord::Blob(const std::string& name) const { return BlobOf(Bytes(name)); }

uint64_t VecRecord::Number(const std::string& name) const { return std::stoull(Get(name), nullptr, 0); }

std::string VecRecord::Where() const { return file + ":" + std::to_string(line); }

std::string TestDataPath(const std::string& relativePath) {
  return std::string(ORVO_TEST_DATA_DIR) + "/" + relativePath;
}

std::vector<VecRecord> ReadVecFile(const std::string& relativePath) {
  std::vector<VecRecord> records;
  std::ifstream in(TestDataPath(relativePath));
  if (!in) {
    ADD_FAILURE() << "cannot open vector file " << TestDataPath(relativePath);
    return records;
  }
  std::string section;
  VecRecord current;
  std::string raw;
  int lineNumber = 0;
  auto flush = [&] {
    if (!current.fields.empty()) records.push_back(current);
    current = VecRecord();
  };
  std::string firstLine;
  while (std::getline(in, raw)) {
    if (++lineNumber == 1) firstLine = raw;
    const std::string line = Trim(raw);
    if (line.empty()) {
      flush();
      continue;
    }
    if (line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      flush();
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) throw std::runtime_error(relativePath + ":" + std::to_string(lineNumber) + ": no '='");
    if (current.fields.empty()) {
      current.file = relativePath;
      current.line = lineNumber;
      current.section = section;
    }
    current.fields[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
  }
  flush();
  if (lineNumber == 0 || firstLine.rfind(kSourcePrefix, 0) != 0) {
    ADD_FAILURE() << relativePath << ":1: the first line is not \"" << kSourcePrefix << "<public document>\"";
  }
  const auto expected = kRecordCounts.find(relativePath);
  if (expected == kRecordCounts.end()) {
    ADD_FAILURE() << relativePath << ": not in the record counts of tests/support/vec_file.cpp";
  } else if (records.size() != expected->second) {
    ADD_FAILURE() << relativePath << ": " << records.size() << " records, expected " << expected->second;
  }
  return records;
}

std::vector<uint8_t> FromHexText(const std::string& hex) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (const char c : hex) {
    if (c == ' ' || c == ':') continue;
    const int v = HexValue(c);
    if (v < 0) throw std::runtime_error("bad hexadecimal text: " + hex);
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) throw std::runtime_error("odd hexadecimal text: " + hex);
  return bytes;
}

std::string ToHexText(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string ToHexText(const XBlob& blob) { return ToHexText(blob.data, blob.size); }

XBlob BlobOf(const std::vector<uint8_t>& bytes) {
  XBlob blob(16);
  blob.Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return blob;
}

XBlob BlobOf(const std::string& text) {
  XBlob blob(16);
  blob.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  return blob;
}

}  // namespace orvo::test
