// Fuzz target: the Blob component's text codecs (hexadecimal, Base64, UTF-8)
// on arbitrary text, the way a script hands them a string.
//
// Input: Byte mode, Rest text. The text bytes become wide characters two at a
// time (big-endian UTF-16 code units, so unpaired surrogates occur) or, with
// mode bit 0x80, one byte each (so the parsers see mostly ASCII).
//
// Checks: whatever parses formats back to text that parses again to the same
// bytes; formatted text is what its format promises (upper-case hex pairs,
// Base64 in padded groups of four); UTF-8 that decodes re-encodes to the very
// same bytes (only one encoding is well-formed); a failure always leaves a
// message.
#include <string>
#include <vector>

#include "orvoblob/text_codecs.h"
#include "tests/fuzz/fuzz_support.h"


namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring TextOf(const std::vector<uint8_t>& raw, bool bytewise) {
  std::wstring text;
  if (bytewise) {
    for (const uint8_t b : raw) text.push_back(static_cast<wchar_t>(b));
    return text;
  }
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    text.push_back(static_cast<wchar_t>((raw[i] << 8) | raw[i + 1]));
  }
  return text;
}

void CheckHex(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!orvo::ParseHex(text, bytes, error)) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  const std::string formatted = orvo::FormatHex(bytes.data(), bytes.size());
  FUZZ_CHECK(formatted.size() == 2 * bytes.size());
  for (const char c : formatted) FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
  std::vector<uint8_t> again;
  FUZZ_CHECK(orvo::ParseHex(Widen(formatted), again, error));
  FUZZ_CHECK(again == bytes);
}

void CheckBase64(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!orvo::ParseBase64(text, bytes, error)) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  const std::string formatted = orvo::FormatBase64(bytes.data(), bytes.size());
  FUZZ_CHECK(formatted.size() == (bytes.size() + 2) / 3 * 4);
  std::vector<uint8_t> again;
  FUZZ_CHECK(orvo::ParseBase64(Widen(formatted), again, error));
  FUZZ_CHECK(again == bytes);
  // One reading per text: stripped of white space, the accepted text is the formatted one.
  std::wstring compact;
  for (const wchar_t c : text) {
    if (c != L' ' && c != L'\t' && c != L'\r' && c != L'\n' && c != L'\v' && c != L'\f') compact.push_back(c);
  }
  FUZZ_CHECK(compact == Widen(formatted));
}

void CheckUtf8(const std::wstring& text, const std::vector<uint8_t>& raw) {
  // Wide text to UTF-8 and back.
  std::vector<uint8_t> utf8;
  std::string error;
  if (orvo::WideToUtf8(text, utf8, error)) {
    std::wstring back;
    FUZZ_CHECK(orvo::Utf8ToWide(utf8.data(), utf8.size(), back, error));
    FUZZ_CHECK(back == text);
  } else {
    FUZZ_CHECK(!error.empty());
  }
  // Raw bytes as UTF-8: what decodes encodes back to the same bytes.
  std::wstring decoded;
  if (orvo::Utf8ToWide(raw.data(), raw.size(), decoded, error)) {
    std::vector<uint8_t> encoded;
    FUZZ_CHECK(orvo::WideToUtf8(decoded, encoded, error));
    FUZZ_CHECK(encoded == raw);
  } else {
    FUZZ_CHECK(!error.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  orvo::fuzz::Input in(bytes, size);
  const uint8_t mode = in.Byte();
  const std::vector<uint8_t> raw = in.Rest(1 << 14);
  const std::wstring text = TextOf(raw, (mode & 0x80) != 0);
  CheckHex(text);
  CheckBase64(text);
  CheckUtf8(text, raw);
  return 0;
}
