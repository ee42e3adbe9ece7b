#include "orvoblob/text_codecs.h"

#include "base/text_codecs.h"

namespace orvo {
namespace {

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

// The Blob's rules: white space of the C locale, between pairs only; Base64
// padded, with zero padding bits, so that every accepted text has one reading.
constexpr codec::HexRules kHexRules{codec::WhiteSpace::kCLocale, false};
constexpr codec::Base64Rules kBase64Rules{codec::WhiteSpace::kCLocale, true, true};

std::string FormatHex(const uint8_t* bytes, std::size_t n) { return codec::FormatHex(bytes, n, codec::HexCase::kUpper); }

bool ParseHex(std::wstring_view text, std::vector<uint8_t>& out, std::string& error) {
  out.resize(text.size() / 2);
  codec::HexDecoder decoder(kHexRules);
  const std::size_t n = decoder.Feed(text.data(), text.size(), out.data());
  if (!decoder.Finish()) {
    const codec::Fault& fault = decoder.fault();
    error = fault.kind == codec::Fault::kOddDigitCount
                ? "Hexadecimal text has an odd number of digits"
                : "Invalid hexadecimal text at position " + std::to_string(fault.position + 1);
    return false;
  }
  out.resize(n);
  return true;
}

std::string FormatBase64(const uint8_t* bytes, std::size_t n) { return codec::FormatBase64(bytes, n); }

bool ParseBase64(std::wstring_view text, std::vector<uint8_t>& out, std::string& error) {
  out.resize(text.size() / 4 * 3 + 2);
  codec::Base64Decoder decoder(kBase64Rules);
  std::size_t n = decoder.Feed(text.data(), text.size(), out.data());
  n += decoder.Finish(out.data() + n);
  const codec::Fault& fault = decoder.fault();
  switch (fault.kind) {
    case codec::Fault::kNone:
      out.resize(n);
      return true;
    case codec::Fault::kLoneCharacter:
    case codec::Fault::kIncompletePadding:
    case codec::Fault::kMissingPadding:
      error = "Incomplete Base64 text: the characters do not make whole groups of four";
      return false;
    default:
      error = "Invalid Base64 text at position " + std::to_string(fault.position + 1);
      return false;
  }
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
