#include "orvoblob/text_codecs.h"

#include <limits>
#include <new>

namespace orvo {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsWhiteSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

int Base64Value(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c - L'A';
  if (c >= L'a' && c <= L'z') return c - L'a' + 26;
  if (c >= L'0' && c <= L'9') return c - L'0' + 52;
  if (c == L'+') return 62;
  if (c == L'/') return 63;
  return -1;
}

// `units` groups of `per` characters; std::bad_alloc where the count does not
// fit a std::size_t (a 32-bit one: a Blob may hold 4 GiB - 1 bytes).
std::size_t TextLength(std::size_t units, std::size_t per) {
  if (units > std::numeric_limits<std::size_t>::max() / per) throw std::bad_alloc();
  return units * per;
}

bool Fail(std::string& error, const char* what, std::size_t index) {
  error = std::string(what) + std::to_string(index + 1);
  return false;
}

bool IsScalarValue(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUtf8(uint32_t c, std::vector<uint8_t>& out) {
  if (c < 0x80) {
    out.push_back(static_cast<uint8_t>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
    out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<uint8_t>(0xE0 | (c >> 12)));
    out.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<uint8_t>(0xF0 | (c >> 18)));
    out.push_back(static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  }
}

void AppendWide(uint32_t c, std::wstring& out) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 | (c >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 | (c & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(c));
}

}  // namespace

std::string FormatHex(const uint8_t* bytes, std::size_t n) {
  std::string out(TextLength(n, 2), '0');
  for (std::size_t i = 0; i < n; ++i) {
    out[2 * i] = kHexDigits[bytes[i] >> 4];
    out[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
  }
  return out;
}

bool ParseHex(std::wstring_view text, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  out.reserve(text.size() / 2);
  int high = -1;  // the first digit of a pair, while the pair is open
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (high < 0 && IsWhiteSpace(c)) continue;
    const int value = HexValue(c);
    if (value < 0) return Fail(error, "Invalid hexadecimal text at position ", i);
    if (high < 0) {
      high = value;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  if (high >= 0) {
    error = "Hexadecimal text has an odd number of digits";
    return false;
  }
  return true;
}

std::string FormatBase64(const uint8_t* bytes, std::size_t n) {
  std::string out;
  out.reserve(TextLength(n / 3 + (n % 3 != 0 ? 1 : 0), 4));
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t group = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    out += kBase64Alphabet[group >> 18];
    out += kBase64Alphabet[(group >> 12) & 0x3F];
    out += kBase64Alphabet[(group >> 6) & 0x3F];
    out += kBase64Alphabet[group & 0x3F];
  }
  if (n - i == 1) {
    out += kBase64Alphabet[bytes[i] >> 2];
    out += kBase64Alphabet[(bytes[i] & 0x03) << 4];
    out += "==";
  } else if (n - i == 2) {
    const uint32_t group = uint32_t{bytes[i]} << 8 | bytes[i + 1];
    out += kBase64Alphabet[group >> 10];
    out += kBase64Alphabet[(group >> 4) & 0x3F];
    out += kBase64Alphabet[(group << 2) & 0x3F];
    out += '=';
  }
  return out;
}

bool ParseBase64(std::wstring_view text, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  out.reserve(text.size() / 4 * 3);
  uint32_t group = 0;       // the bits of the open group
  int count = 0;            // characters of the open group, padding included
  int padding = 0;          // "=" seen in the open group
  std::size_t lastData = 0;  // index of the group's last alphabet character
  bool ended = false;       // a padded group closed the text
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IsWhiteSpace(c)) continue;
    if (ended) return Fail(error, "Invalid Base64 text at position ", i);
    if (c == L'=') {
      if (count < 2) return Fail(error, "Invalid Base64 text at position ", i);
      ++padding;
    } else {
      const int value = Base64Value(c);
      if (value < 0 || padding > 0) return Fail(error, "Invalid Base64 text at position ", i);
      group = group << 6 | static_cast<uint32_t>(value);
      lastData = i;
    }
    if (++count < 4) continue;
    if (padding == 0) {
      out.push_back(static_cast<uint8_t>(group >> 16));
      out.push_back(static_cast<uint8_t>(group >> 8));
      out.push_back(static_cast<uint8_t>(group));
    } else if (padding == 1) {  // 18 bits: two bytes and two zero bits
      if ((group & 0x03) != 0) return Fail(error, "Invalid Base64 text at position ", lastData);
      out.push_back(static_cast<uint8_t>(group >> 10));
      out.push_back(static_cast<uint8_t>(group >> 2));
      ended = true;
    } else {  // 12 bits: one byte and four zero bits
      if ((group & 0x0F) != 0) return Fail(error, "Invalid Base64 text at position ", lastData);
      out.push_back(static_cast<uint8_t>(group >> 4));
      ended = true;
    }
    group = 0;
    count = 0;
    padding = 0;
  }
  if (count != 0) {
    error = "Incomplete Base64 text: the characters do not make whole groups of four";
    return false;
  }
  return true;
}

bool WideToUtf8(std::wstring_view text, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      c &= 0xFFFF;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        const uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if (!IsScalarValue(c)) return Fail(error, "Invalid character in text at position ", i);
    AppendUtf8(c, out);
  }
  return true;
}

bool Utf8ToWide(const uint8_t* bytes, std::size_t n, std::wstring& out, std::string& error) {
  out.clear();
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const uint8_t lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    // RFC 3629, section 4: the lead byte fixes the length and the range of
    // the second byte; later bytes are 80..BF.
    std::size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    uint32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return Fail(error, "Invalid UTF-8 text at byte ", i);
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= n) return Fail(error, "Invalid UTF-8 text at byte ", i);
      const uint8_t b = bytes[i + k];
      if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return Fail(error, "Invalid UTF-8 text at byte ", i);
      c = c << 6 | (b & 0x3F);
    }
    AppendWide(c, out);
    i += length;
  }
  return true;
}

}  // namespace orvo
