// The tool's streaming hexadecimal and Base64 codecs: RFC 4648's test vectors
// (section 10) fed whole and cut at every point, white space, and the faults
// each decoder reports.
#include "tools/orvocrypto/codec.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvo::cli::Base64Decoder;
using orvo::cli::Base64Encoder;
using orvo::cli::HexDecoder;

struct Rfc4648Case {
  const char* bytes;
  const char* base64;
  const char* hex;
};

const Rfc4648Case kCases[] = {
    {"", "", ""},
    {"f", "Zg==", "66"},
    {"fo", "Zm8=", "666f"},
    {"foo", "Zm9v", "666f6f"},
    {"foob", "Zm9vYg==", "666f6f62"},
    {"fooba", "Zm9vYmE=", "666f6f6261"},
    {"foobar", "Zm9vYmFy", "666f6f626172"},
};

// Decodes `text` in two pieces cut at `cut`.
template <typename Decoder>
std::string DecodeCut(const std::string& text, size_t cut) {
  Decoder decoder;
  std::vector<uint8_t> out(text.size() + 3);
  size_t n = decoder.Feed(text.data(), cut, out.data());
  n += decoder.Feed(text.data() + cut, text.size() - cut, out.data() + n);
  if constexpr (std::is_same_v<Decoder, HexDecoder>) {
    decoder.Finish();
  } else {
    n += decoder.Finish(out.data() + n);
  }
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

std::string EncodeBase64Cut(const std::string& bytes, size_t cut) {
  Base64Encoder encoder;
  std::vector<char> out(Base64Encoder::Room(bytes.size()) * 2);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t n = encoder.Feed(p, cut, out.data());
  n += encoder.Feed(p + cut, bytes.size() - cut, out.data() + n);
  n += encoder.Finish(out.data() + n);
  return std::string(out.data(), n);
}

TEST(CodecTest, Rfc4648VectorsInAnyPieces) {
  for (const Rfc4648Case& c : kCases) {
    const std::string bytes = c.bytes, base64 = c.base64, hex = c.hex;
    for (size_t cut = 0; cut <= bytes.size(); ++cut) EXPECT_EQ(EncodeBase64Cut(bytes, cut), base64) << cut;
    for (size_t cut = 0; cut <= base64.size(); ++cut) EXPECT_EQ(DecodeCut<Base64Decoder>(base64, cut), bytes) << base64 << " cut " << cut;
    for (size_t cut = 0; cut <= hex.size(); ++cut) EXPECT_EQ(DecodeCut<HexDecoder>(hex, cut), bytes) << hex << " cut " << cut;
    std::string hexText(2 * bytes.size(), '\0');
    orvo::cli::EncodeHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), hexText.data());
    EXPECT_EQ(hexText, hex);
  }
}

TEST(CodecTest, WhiteSpaceCaseAndUnpaddedEnds) {
  EXPECT_EQ(DecodeCut<HexDecoder>(" 66 6F\r\n6f\t", 3), "foo");
  EXPECT_EQ(DecodeCut<Base64Decoder>("Zm9v\nYmFy\n", 5), "foobar");
  EXPECT_EQ(DecodeCut<Base64Decoder>("Zm9vYg", 2), "foob");  // '=' may be left out
  EXPECT_EQ(DecodeCut<Base64Decoder>("Zm9vYmE", 7), "fooba");
  EXPECT_EQ(DecodeCut<Base64Decoder>("Zm8=\n", 3), "fo");
}

TEST(CodecTest, FaultsAreReported) {
  for (const char* text : {"6", "6g", "0x66", "66 6"}) {
    EXPECT_THROW(DecodeCut<HexDecoder>(text, 1), std::invalid_argument) << text;
  }
  for (const char* text : {"Z", "Zm9vY", "Zm=9", "Zg==Zg==", "Zg===", "=Zg=", "Zm9v-w==", "Zg="}) {
    EXPECT_THROW(DecodeCut<Base64Decoder>(text, 1), std::invalid_argument) << text;
  }
}

}  // namespace
