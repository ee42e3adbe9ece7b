// Every surface that reads or writes hexadecimal or Base64 text, from one table
// of cases: the Blob component's text members (ParseHex, ParseBase64), the
// tool's input and output formats (its streaming decoders, fed whole and one
// character at a time) and the framing's XBlob::FromHex. Each surface keeps
// the rule stored data and callers rely on; a row says what each one makes of
// the same text ("!" opens an expected error text).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/xblob.h"
#include "orvoblob/text_codecs.h"
#include "tests/support/vec_file.h"
#include "tools/orvocrypto/codec.h"

namespace {

using orvo::test::ToHexText;

// Bytes as upper-case hexadecimal, for the table.
std::string Shown(const uint8_t* bytes, size_t n) {
  std::string hex = ToHexText(bytes, n);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}
std::string Shown(const std::vector<uint8_t>& bytes) { return Shown(bytes.data(), bytes.size()); }

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string BlobHex(const std::wstring& text) {
  std::vector<uint8_t> out;
  std::string error;
  return orvo::ParseHex(text, out, error) ? Shown(out) : "!" + error;
}

std::string BlobBase64(const std::wstring& text) {
  std::vector<uint8_t> out;
  std::string error;
  return orvo::ParseBase64(text, out, error) ? Shown(out) : "!" + error;
}

// The tool's decoder over `text` in pieces of `piece` characters (all at once
// for 0), as its input reads a file a chunk at a time.
template <typename Decoder>
std::string Tool(const std::string& text, size_t piece) {
  Decoder decoder;
  std::vector<uint8_t> out(text.size() + 3);
  size_t n = 0;
  try {
    const size_t step = piece == 0 ? text.size() : piece;
    for (size_t at = 0; at < text.size(); at += step) {
      n += decoder.Feed(text.data() + at, std::min(step, text.size() - at), out.data() + n);
    }
    if constexpr (std::is_same_v<Decoder, orvo::cli::HexDecoder>) {
      decoder.Finish();
    } else {
      n += decoder.Finish(out.data() + n);
    }
  } catch (const std::invalid_argument& e) {
    return std::string("!") + e.what();
  }
  out.resize(n);
  return Shown(out);
}

std::string Framing(const std::string& text) {
  XBlob blob;
  blob.FromHex(text.c_str());
  return Shown(blob.data, blob.size);
}

struct HexCase {
  const char* text;
  const char* blob;     // the Blob's Hex member
  const char* tool;     // the tool's --hex input
  const char* framing;  // XBlob::FromHex
};

const char kOdd[] = "!Hexadecimal text has an odd number of digits";
const char kToolOdd[] = "!is not hexadecimal (an odd number of digits)";
const char kToolHex[] = "!is not hexadecimal (a character other than 0-9, a-f, A-F)";

const HexCase kHexCases[] = {
    {"", "", "", ""},
    {"666f6F", "666F6F", "666F6F", "666F6F"},
    // White space between pairs: the Blob takes the C library's six, the tool
    // four; the framing reads each pair as "%hx" does.
    {"66 6f", "666F", "666F", "06066F"},
    {" 66\r\n6f\t", "666F", "666F", "0606060F"},
    {"\v66\f", "66", kToolHex, "0606"},
    {"66\r\n", "66", "66", "6600"},
    // White space inside a pair: only the tool skips it.
    {"6 6", "!Invalid hexadecimal text at position 2", "66", "0606"},
    {"6\nf", "!Invalid hexadecimal text at position 2", "6F", "060F"},
    // An odd count of digits: the framing puts a "0" in front.
    {"6", kOdd, kToolOdd, "06"},
    {"66 6", kOdd, kToolOdd, "6606"},
    {"abc", kOdd, kToolOdd, "0ABC"},
    // What is no digit: the framing reads what "%hx" reads, 00 where nothing.
    {"zz", "!Invalid hexadecimal text at position 1", kToolHex, "00"},
    {"-1", "!Invalid hexadecimal text at position 1", kToolHex, "FF"},
    {"1g", "!Invalid hexadecimal text at position 2", kToolHex, "01"},
    {"0x66", "!Invalid hexadecimal text at position 2", kToolHex, "0066"},
    {"+f", "!Invalid hexadecimal text at position 1", kToolHex, "0F"},
};

TEST(TextCodecSurfaces, Hex) {
  for (const HexCase& c : kHexCases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(BlobHex(Widen(c.text)), c.blob);
    EXPECT_EQ(Tool<orvo::cli::HexDecoder>(c.text, 0), c.tool);
    EXPECT_EQ(Tool<orvo::cli::HexDecoder>(c.text, 1), c.tool);
    EXPECT_EQ(Framing(c.text), c.framing);
  }
}

struct Base64Case {
  const char* text;
  const char* blob;  // the Blob's Base64 member
  const char* tool;  // the tool's --base64 input
};

const char kIncomplete[] = "!Incomplete Base64 text: the characters do not make whole groups of four";

const Base64Case kBase64Cases[] = {
    {"", "", ""},
    {"Zg==", "66", "66"},
    {"Zm9vYmFy", "666F6F626172", "666F6F626172"},
    {"Zm9v\nYmFy\n", "666F6F626172", "666F6F626172"},
    {"Z g = =\n", "66", "66"},
    {"AP8Q", "00FF10", "00FF10"},
    // A last group without its "=": the tool reads it, the Blob refuses it.
    {"Zg", kIncomplete, "66"},
    {"Zm8", kIncomplete, "666F"},
    {"Zg=", kIncomplete, "!is not Base64 (incomplete padding)"},
    {"Z", kIncomplete, "!is not Base64 (a lone character in the last group)"},
    {"Zm9vY", kIncomplete, "!is not Base64 (a lone character in the last group)"},
    // Padding bits that are not zero: the Blob refuses them (RFC 4648, 3.5),
    // naming the last character that carries data; the tool drops them.
    {"Zh==", "!Invalid Base64 text at position 2", "66"},
    {"Zm9=", "!Invalid Base64 text at position 3", "666F"},
    {"Zh", kIncomplete, "66"},
    // Vertical tab and form feed are white space to the Blob only.
    {"Zm9v\vYmFy\f", "666F6F626172", "!is not Base64 (a character outside its alphabet)"},
    // Misplaced "=" and data after it.
    {"Zm=9", "!Invalid Base64 text at position 4", "!is not Base64 (data after '=')"},
    {"Zg==Zg==", "!Invalid Base64 text at position 5", "!is not Base64 (data after '=')"},
    {"Zg===", "!Invalid Base64 text at position 5", "!is not Base64 (misplaced '=')"},
    {"=Zg=", "!Invalid Base64 text at position 1", "!is not Base64 (misplaced '=')"},
    {"Zm9v=", "!Invalid Base64 text at position 5", "!is not Base64 (misplaced '=')"},
    {"Zg==!", "!Invalid Base64 text at position 5", "!is not Base64 (a character outside its alphabet)"},
    {"Zm9v-w==", "!Invalid Base64 text at position 5", "!is not Base64 (a character outside its alphabet)"},
};

TEST(TextCodecSurfaces, Base64) {
  for (const Base64Case& c : kBase64Cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(BlobBase64(Widen(c.text)), c.blob);
    EXPECT_EQ(Tool<orvo::cli::Base64Decoder>(c.text, 0), c.tool);
    EXPECT_EQ(Tool<orvo::cli::Base64Decoder>(c.text, 1), c.tool);
  }
}

// Wide characters are never cut to their low byte: U+0141 is no "A", U+FF10
// no "0".
TEST(TextCodecSurfaces, BlobTextBeyondAscii) {
  EXPECT_EQ(BlobHex(L"6\u0141"), "!Invalid hexadecimal text at position 2");
  EXPECT_EQ(BlobHex(L"\uFF1066"), "!Invalid hexadecimal text at position 1");
  EXPECT_EQ(BlobBase64(L"Zg=\u013D"), "!Invalid Base64 text at position 4");
  EXPECT_EQ(BlobBase64(L"Z\u0167=="), "!Invalid Base64 text at position 2");
  EXPECT_EQ(BlobBase64(L"Zg==\u3000"), "!Invalid Base64 text at position 5");
}

// Output: the Blob writes upper-case hex, the tool lower-case; both write
// padded Base64 without line breaks.
TEST(TextCodecSurfaces, Formatting) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* blobHex;
    const char* toolHex;
    const char* base64;
  };
  const Case cases[] = {
      {{}, "", "", ""},
      {{0x00, 0xFF, 0x10}, "00FF10", "00ff10", "AP8Q"},
      {{0xAB}, "AB", "ab", "qw=="},
      {{0xFB, 0xFF}, "FBFF", "fbff", "+/8="},
  };
  for (const Case& c : cases) {
    const uint8_t* p = c.bytes.data();
    const size_t n = c.bytes.size();
    EXPECT_EQ(orvo::FormatHex(p, n), c.blobHex);
    EXPECT_EQ(orvo::FormatBase64(p, n), c.base64);
    std::string hex(2 * n, '\0');
    EXPECT_EQ(orvo::cli::EncodeHex(p, n, hex.data()), 2 * n);
    EXPECT_EQ(hex, c.toolHex);
    for (size_t cut = 0; cut <= n; ++cut) {
      orvo::cli::Base64Encoder encoder;
      std::vector<char> text(2 * orvo::cli::Base64Encoder::Room(n));
      size_t m = encoder.Feed(p, cut, text.data());
      m += encoder.Feed(p + cut, n - cut, text.data() + m);
      m += encoder.Finish(text.data() + m);
      EXPECT_EQ(std::string(text.data(), m), c.base64) << "cut " << cut;
    }
  }
}

}  // namespace
