#include "base/text_codecs.h"

#include <limits>
#include <new>

namespace orvo::codec {
namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A character's code, never cut to its low byte (a char above 0x7F is its
// byte, not a negative number).
uint32_t Code(char c) { return static_cast<unsigned char>(c); }
uint32_t Code(wchar_t c) { return static_cast<uint32_t>(c); }

bool IsWhiteSpace(uint32_t c, WhiteSpace space) {
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
  return space == WhiteSpace::kCLocale && (c == '\v' || c == '\f');
}

int HexValue(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

int Base64Value(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// `units` groups of `per` characters; std::bad_alloc where the count does not
// fit a size_t (a 32-bit one: a Blob may hold 4 GiB - 1 bytes).
size_t TextLength(size_t units, size_t per) {
  if (units > std::numeric_limits<size_t>::max() / per) throw std::bad_alloc();
  return units * per;
}

// The value "%hx" reads from a two-character text: leading white space (the C
// locale's) skipped, a sign taken, digits read until the first character that
// is not one; 0 where no digit is read.
unsigned ScanHexPair(const char pair[2]) {
  int i = 0;
  while (i < 2 && IsWhiteSpace(Code(pair[i]), WhiteSpace::kCLocale)) ++i;
  bool negative = false;
  if (i < 2 && (pair[i] == '+' || pair[i] == '-')) {
    negative = pair[i] == '-';
    ++i;
  }
  unsigned value = 0;
  for (; i < 2 && HexValue(Code(pair[i])) >= 0; ++i) value = value * 16 + static_cast<unsigned>(HexValue(Code(pair[i])));
  return negative ? 0u - value : value;
}

}  // namespace

size_t EncodeHex(const uint8_t* in, size_t n, char* out, HexCase letters) {
  const char* digits = letters == HexCase::kUpper ? kUpperDigits : kLowerDigits;
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = digits[in[i] >> 4];
    out[2 * i + 1] = digits[in[i] & 0x0F];
  }
  return 2 * n;
}

std::string FormatHex(const uint8_t* in, size_t n, HexCase letters) {
  std::string out(TextLength(n, 2), '0');
  EncodeHex(in, n, out.data(), letters);
  return out;
}

bool HexDecoder::Fails(Fault::Kind kind, uint64_t position) {
  fault_ = Fault{kind, position};
  return false;
}

template <typename Char>
size_t HexDecoder::FeedText(const Char* in, size_t n, uint8_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < n && fault_.kind == Fault::kNone; ++i) {
    const uint32_t c = Code(in[i]);
    const uint64_t position = fed_++;
    if (IsWhiteSpace(c, rules_.space) && (high_ < 0 || rules_.spaceInsidePair)) continue;
    const int value = HexValue(c);
    if (value < 0) {
      Fails(Fault::kBadCharacter, position);
    } else if (high_ < 0) {
      high_ = value;
    } else {
      out[written++] = static_cast<uint8_t>(high_ << 4 | value);
      high_ = -1;
    }
  }
  return written;
}

size_t HexDecoder::Feed(const char* in, size_t n, uint8_t* out) { return FeedText(in, n, out); }
size_t HexDecoder::Feed(const wchar_t* in, size_t n, uint8_t* out) { return FeedText(in, n, out); }

bool HexDecoder::Finish() {
  if (fault_.kind != Fault::kNone) return false;
  if (high_ >= 0) return Fails(Fault::kOddDigitCount, fed_);
  return true;
}

size_t ScanHexPairs(const char* text, size_t n, uint8_t* out) {
  size_t written = 0;
  size_t i = 0;
  char pair[2];
  if (n % 2 != 0) {
    pair[0] = '0';
    pair[1] = text[0];
    out[written++] = static_cast<uint8_t>(ScanHexPair(pair));
    i = 1;
  }
  for (; i < n; i += 2) {
    pair[0] = text[i];
    pair[1] = text[i + 1];
    out[written++] = static_cast<uint8_t>(ScanHexPair(pair));
  }
  return written;
}

size_t Base64Encoder::Feed(const uint8_t* in, size_t n, char* out) {
  size_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    held_[count_++] = in[i];
    if (count_ == 3) {
      const uint32_t v = uint32_t{held_[0]} << 16 | uint32_t{held_[1]} << 8 | held_[2];
      for (int k = 0; k < 4; ++k) out[written++] = kBase64Alphabet[(v >> (18 - 6 * k)) & 63];
      count_ = 0;
    }
  }
  return written;
}

size_t Base64Encoder::Finish(char* out) {
  if (count_ == 0) return 0;
  const uint32_t v = uint32_t{held_[0]} << 16 | (count_ > 1 ? uint32_t{held_[1]} << 8 : 0);
  out[0] = kBase64Alphabet[v >> 18];
  out[1] = kBase64Alphabet[(v >> 12) & 63];
  out[2] = count_ > 1 ? kBase64Alphabet[(v >> 6) & 63] : '=';
  out[3] = '=';
  count_ = 0;
  return 4;
}

std::string FormatBase64(const uint8_t* in, size_t n) {
  std::string out(TextLength(n / 3 + (n % 3 != 0 ? 1 : 0), 4), '=');
  Base64Encoder encoder;
  const size_t written = encoder.Feed(in, n, out.data());
  encoder.Finish(out.data() + written);
  return out;
}

bool Base64Decoder::Fails(Fault::Kind kind, uint64_t position) {
  fault_ = Fault{kind, position};
  return false;
}

// The bytes of a group of 2, 3 or 4 characters; with fewer than 4, the bits
// below the last byte are padding.
size_t Base64Decoder::CloseGroup(uint8_t* out) {
  const int count = count_;
  const uint32_t bits = bits_;
  bits_ = 0;
  count_ = 0;
  padding_ = 0;
  if (count == 4) {
    out[0] = static_cast<uint8_t>(bits >> 16);
    out[1] = static_cast<uint8_t>(bits >> 8);
    out[2] = static_cast<uint8_t>(bits);
    return 3;
  }
  const uint32_t paddingMask = count == 3 ? 0x03 : 0x0F;  // 18 bits: two bytes and 2; 12 bits: one byte and 4
  if (rules_.zeroPaddingBits && (bits & paddingMask) != 0) {
    Fails(Fault::kNonZeroPaddingBits, lastData_);
    return 0;
  }
  if (count == 3) {
    out[0] = static_cast<uint8_t>(bits >> 10);
    out[1] = static_cast<uint8_t>(bits >> 2);
    return 2;
  }
  out[0] = static_cast<uint8_t>(bits >> 4);
  return 1;
}

template <typename Char>
size_t Base64Decoder::FeedText(const Char* in, size_t n, uint8_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < n && fault_.kind == Fault::kNone; ++i) {
    const uint32_t c = Code(in[i]);
    const uint64_t position = fed_++;
    if (IsWhiteSpace(c, rules_.space)) continue;
    const int value = Base64Value(c);
    if (c == '=') {
      if (ended_ || count_ + padding_ < 2) {
        Fails(Fault::kMisplacedPadding, position);
      } else if (count_ + ++padding_ == 4) {
        written += CloseGroup(out + written);
        ended_ = true;
      }
    } else if (value < 0) {
      Fails(Fault::kBadCharacter, position);
    } else if (ended_ || padding_ > 0) {
      Fails(Fault::kDataAfterPadding, position);
    } else {
      bits_ = bits_ << 6 | static_cast<uint32_t>(value);
      lastData_ = position;
      if (++count_ == 4) written += CloseGroup(out + written);
    }
  }
  return written;
}

size_t Base64Decoder::Feed(const char* in, size_t n, uint8_t* out) { return FeedText(in, n, out); }
size_t Base64Decoder::Feed(const wchar_t* in, size_t n, uint8_t* out) { return FeedText(in, n, out); }

size_t Base64Decoder::Finish(uint8_t* out) {
  if (fault_.kind != Fault::kNone || count_ == 0) return 0;
  if (padding_ > 0) {
    Fails(Fault::kIncompletePadding, fed_);
  } else if (count_ == 1) {
    Fails(Fault::kLoneCharacter, fed_);
  } else if (rules_.paddingRequired) {
    Fails(Fault::kMissingPadding, fed_);
  } else {
    return CloseGroup(out);
  }
  return 0;
}

uint32_t LoadLongZeroFilled(const uint8_t* p, size_t available, size_t* taken) {
  const size_t present = available < 4 ? available : 4;
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | (i < present ? p[i] : 0u);
  *taken = present;
  return value;
}

}  // namespace orvo::codec
