// The Blob's text forms without COM: RFC 4648 Base16/Base64 vectors, RFC 3629
// UTF-8 examples, and the refusals of malformed text with their positions.
#include "orvoblob/text_codecs.h"

#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/vec_file.h"

namespace {

using orvo::test::FromHexText;
using orvo::test::ReadVecFile;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Code points as wide text: UTF-16 (surrogate pairs) or UTF-32, as wchar_t is.
std::wstring FromCodePoints(const std::string& list) {
  std::wstring out;
  std::istringstream in(list);
  std::string group;
  while (in >> group) {
    auto c = static_cast<uint32_t>(std::stoul(group, nullptr, 16));
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 | (c >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 | (c & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}

TEST(TextCodecs, Rfc4648Vectors) {
  for (const auto& r : ReadVecFile("orvoblob/rfc4648.vec")) {
    SCOPED_TRACE(r.Where());
    const std::string& input = r.Get("Input");
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    EXPECT_EQ(r.Get("Base16"), orvo::FormatHex(bytes, input.size()));
    EXPECT_EQ(r.Get("Base64"), orvo::FormatBase64(bytes, input.size()));

    const std::vector<uint8_t> expected(input.begin(), input.end());
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(orvo::ParseBase64(Widen(r.Get("Base64")), out, error)) << error;
    EXPECT_EQ(expected, out);
    std::string lower = r.Get("Base16");
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(orvo::ParseHex(Widen(lower), out, error)) << error;
    EXPECT_EQ(expected, out);
  }
}

TEST(TextCodecs, Rfc3629Examples) {
  for (const auto& r : ReadVecFile("orvoblob/rfc3629.vec")) {
    SCOPED_TRACE(r.Where());
    const std::wstring text = FromCodePoints(r.Get("CodePoints"));
    const std::vector<uint8_t> utf8 = FromHexText(r.Get("Utf8"));
    std::vector<uint8_t> encoded;
    std::string error;
    ASSERT_TRUE(orvo::WideToUtf8(text, encoded, error)) << error;
    EXPECT_EQ(utf8, encoded);
    std::wstring decoded;
    ASSERT_TRUE(orvo::Utf8ToWide(utf8.data(), utf8.size(), decoded, error)) << error;
    EXPECT_TRUE(text == decoded);
  }
}

struct TextCase {
  const wchar_t* text;
  const char* bytes;  // hexadecimal; null when the text is refused
  const char* error;  // the refusal's message
};

// Each text gives its bytes, or is refused with its message.
template <size_t N>
void ExpectParses(bool (*parse)(std::wstring_view, std::vector<uint8_t>&, std::string&), const TextCase (&cases)[N]) {
  for (const TextCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    std::vector<uint8_t> out;
    std::string error;
    const bool ok = parse(c.text, out, error);
    if (c.bytes != nullptr) {
      ASSERT_TRUE(ok) << error;
      EXPECT_EQ(FromHexText(c.bytes), out);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(c.error, error);
    }
  }
}

TEST(TextCodecs, HexReadsEitherCaseAndWhiteSpaceBetweenPairs) {
  const TextCase cases[] = {
      {L"", "", nullptr},
      {L"00ff7Fa0", "00FF7FA0", nullptr},
      {L" 0A 0b\r\n\t1C\v\f ", "0A0B1C", nullptr},
      {L"0A0", nullptr, "Hexadecimal text has an odd number of digits"},
      {L"0A 0", nullptr, "Hexadecimal text has an odd number of digits"},
      {L"0A0BxC", nullptr, "Invalid hexadecimal text at position 5"},
      {L"0 A", nullptr, "Invalid hexadecimal text at position 2"},  // white space inside a pair
      {L"0x0A", nullptr, "Invalid hexadecimal text at position 2"},
      {L"-1", nullptr, "Invalid hexadecimal text at position 1"},
      {L"0A\u00E90B", nullptr, "Invalid hexadecimal text at position 3"},
      {L"\uFF10\uFF11", nullptr, "Invalid hexadecimal text at position 1"},  // full-width digits
  };
  ExpectParses(orvo::ParseHex, cases);
}

TEST(TextCodecs, Base64RefusesMalformedText) {
  const TextCase cases[] = {
      {L"Zm9v\r\nYmFy", "666F6F626172", nullptr},  // MIME line breaks
      {L" Zg = = ", "66", nullptr},
      {L"Zg", nullptr, "Incomplete Base64 text: the characters do not make whole groups of four"},
      {L"Zg=", nullptr, "Incomplete Base64 text: the characters do not make whole groups of four"},
      {L"Zm9vY", nullptr, "Incomplete Base64 text: the characters do not make whole groups of four"},
      {L"Zg=a", nullptr, "Invalid Base64 text at position 4"},
      {L"Z===", nullptr, "Invalid Base64 text at position 2"},
      {L"====", nullptr, "Invalid Base64 text at position 1"},
      {L"Zg==Zm8=", nullptr, "Invalid Base64 text at position 5"},  // data after the padding
      {L"Zh==", nullptr, "Invalid Base64 text at position 2"},      // padding bits not zero
      {L"Zm9=", nullptr, "Invalid Base64 text at position 3"},
      {L"Zm9v!A==", nullptr, "Invalid Base64 text at position 5"},
      {L"Zm-_", nullptr, "Invalid Base64 text at position 3"},  // the URL alphabet is another encoding
  };
  ExpectParses(orvo::ParseBase64, cases);
}

// Ill-formed sequences of the Unicode Standard's table of well-formed UTF-8
// (the ranges of RFC 3629, section 4).
TEST(TextCodecs, Utf8RefusesIllFormedBytes) {
  const struct {
    const char* bytes;
    const char* error;
  } cases[] = {
      {"41C080", "Invalid UTF-8 text at byte 2"},      // overlong "/"
      {"E08080", "Invalid UTF-8 text at byte 1"},      // overlong three-byte form
      {"F08F8080", "Invalid UTF-8 text at byte 1"},    // overlong four-byte form
      {"EDA080", "Invalid UTF-8 text at byte 1"},      // the surrogate U+D800
      {"F4908080", "Invalid UTF-8 text at byte 1"},    // U+110000
      {"414280", "Invalid UTF-8 text at byte 3"},      // a stray continuation byte
      {"E282", "Invalid UTF-8 text at byte 1"},        // cut short
      {"E2824141", "Invalid UTF-8 text at byte 1"},
      {"FF", "Invalid UTF-8 text at byte 1"},
      {"F5808080", "Invalid UTF-8 text at byte 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::vector<uint8_t> bytes = FromHexText(c.bytes);
    std::wstring out;
    std::string error;
    EXPECT_FALSE(orvo::Utf8ToWide(bytes.data(), bytes.size(), out, error));
    EXPECT_EQ(c.error, error);
  }
  // The edges of each range are accepted.
  const std::vector<uint8_t> edges = FromHexText("7FC280DFBFE0A080ED9FBFEE8080F0908080F48FBFBF00");
  std::wstring out;
  std::string error;
  EXPECT_TRUE(orvo::Utf8ToWide(edges.data(), edges.size(), out, error)) << error;
  EXPECT_TRUE(FromCodePoints("7F 80 7FF 800 D7FF E000 10000 10FFFF 0") == out);
}

TEST(TextCodecs, UnpairedSurrogatesCannotBeEncoded) {
  const auto high = static_cast<wchar_t>(0xD800);
  const auto low = static_cast<wchar_t>(0xDFFF);
  const struct {
    std::wstring text;
    const char* error;
  } cases[] = {
      {std::wstring{L'A', high, L'B'}, "Invalid character in text at position 2"},
      {std::wstring{L'A', high}, "Invalid character in text at position 2"},
      {std::wstring{low, L'A'}, "Invalid character in text at position 1"},
      {std::wstring{L'A', low, high}, "Invalid character in text at position 2"},  // pair in the wrong order
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(orvo::WideToUtf8(c.text, out, error));
    EXPECT_EQ(c.error, error);
  }
  // Embedded NUL characters are text like any other.
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(orvo::WideToUtf8(std::wstring(L"a\0b", 3), out, error));
  EXPECT_EQ(FromHexText("610062"), out);
}

}  // namespace

// A byte count whose text would not fit a size_t (as 4 GiB - 1 bytes do not
// with a 32-bit one) fails before a byte is read: a wrapped length would give
// a short text and the formatter would read and write past it.
TEST(TextCodecsLimits, TextLongerThanASizeTFailsBeforeReading) {
  const uint8_t byte = 0;
  const std::size_t max = std::numeric_limits<std::size_t>::max();
  EXPECT_THROW(orvo::FormatHex(&byte, max / 2 + 1), std::bad_alloc);
  EXPECT_THROW(orvo::FormatHex(&byte, max), std::bad_alloc);
  EXPECT_THROW(orvo::FormatBase64(&byte, max), std::bad_alloc);
  EXPECT_THROW(orvo::FormatBase64(&byte, max / 4 * 3 + 3), std::bad_alloc);
}
