// The tool's key checks: the blobs it says KeyGen makes are exactly those the
// ciphers' GenerateKey gives for every requested length, and RSA key blobs
// are told apart by their records, whatever their length fields say.
#include "tools/orvocrypto/key_check.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "crypto/cipher_by_name.h"

namespace {

using orvo::cli::KeyGenMakes;
using orvo::cli::RsaBlobKind;
using orvo::cli::RsaBlobKindOf;

XBlob Bytes(std::initializer_list<uint8_t> bytes) {
  XBlob blob(16);
  for (uint8_t b : bytes) blob.Append(&b, 1);
  return blob;
}

TEST(KeyCheckTest, KeyGenMakesWhatGenerateKeyGives) {
  XBlob seed(16);
  seed.Append(reinterpret_cast<const uint8_t*>("seed"), 4);
  for (const char* name : {"aes", "twofish", "blowfish"}) {
    std::set<std::pair<uint32_t, size_t>> made;
    for (uint32_t length = 0; length <= 64; ++length) {
      std::unique_ptr<XBlockCipher> cipher = orvo::NewCipherNamed(name);
      cipher->GenerateKey(seed, length);
      const XBlob blob = cipher->GetKey();
      made.emplace(blob.ExtractLong(0), blob.size - 4);
    }
    made.emplace(0, 0);  // never made: checks that the loop below compares both ways
    for (uint32_t number = 0; number <= 64; ++number) {
      for (size_t bytes = 0; bytes <= 64; ++bytes) {
        const bool generated = made.count({number, bytes}) != 0 && !(number == 0 && bytes == 0);
        EXPECT_EQ(KeyGenMakes(name, number, bytes), generated) << name << " " << number << " " << bytes;
      }
    }
  }
}

TEST(KeyCheckTest, RsaBlobKinds) {
  const struct {
    XBlob blob;
    RsaBlobKind kind;
  } cases[] = {
      {Bytes({0, 0, 0, 64, 0, 0, 0, 1, 7, 0, 0, 0, 1, 3}), RsaBlobKind::kPublic},
      {Bytes({0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, 0}), RsaBlobKind::kPublic},  // two empty records
      {Bytes({0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
       RsaBlobKind::kPrivate},
      {Bytes({0, 0, 0, 64, 0, 0, 0, 1, 7}), RsaBlobKind::kOther},                    // one record
      {Bytes({0, 0, 0, 64, 0, 0, 0, 1, 7, 0, 0, 0, 2, 3}), RsaBlobKind::kOther},     // runs past the end
      {Bytes({0, 0, 0, 64, 0, 0, 0, 1, 7, 0, 0, 0}), RsaBlobKind::kOther},           // a cut length field
      {Bytes({0, 0, 0, 64, 0xFF, 0xFF, 0xFF, 0xFF, 7}), RsaBlobKind::kOther},        // a length near 2^32
      {Bytes({0, 0, 0, 64, 0xFF, 0xFF, 0xFF, 0xFC, 7, 0, 0, 0, 0}), RsaBlobKind::kOther},
      {Bytes({0, 0, 0}), RsaBlobKind::kOther},
      {Bytes({0, 0, 0, 64}), RsaBlobKind::kOther},
  };
  for (const auto& c : cases) EXPECT_EQ(RsaBlobKindOf(c.blob), c.kind) << c.blob.size;
}

TEST(KeyCheckTest, EncodedKeyHints) {
  const auto hint = [](const std::string& text) {
    XBlob blob(16);
    blob.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return orvo::cli::EncodedKeyHint(blob);
  };
  EXPECT_NE(hint("0000000a d41d8cd98f00b204e9800998ecf8427e\n").find("looks like hex"), std::string::npos);
  EXPECT_NE(hint("AAAACtQdjZjwCyBOmACY7PhCfg==\n").find("looks like Base64"), std::string::npos);
  EXPECT_EQ(hint(std::string("\0\0\0\x0a", 4) + "0123456789abcdef"), "");  // a raw blob
  EXPECT_EQ(hint("abc"), "");                                              // too short for a key blob
  EXPECT_EQ(hint("0000000a0"), "");                                        // odd hex, too short for Base64
  EXPECT_EQ(hint("AAAA=AAA"), "");                                         // padding inside
}

}  // namespace
