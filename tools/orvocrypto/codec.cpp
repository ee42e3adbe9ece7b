#include "tools/orvocrypto/codec.h"

#include <cctype>
#include <stdexcept>

namespace orvo::cli {

namespace {

const char kHexDigits[] = "0123456789abcdef";
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool ParseFormat(const std::string& text, Format& format) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "raw") {
    format = Format::kRaw;
  } else if (lower == "hex") {
    format = Format::kHex;
  } else if (lower == "base64") {
    format = Format::kBase64;
  } else {
    return false;
  }
  return true;
}

size_t EncodeHex(const uint8_t* in, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kHexDigits[in[i] >> 4];
    out[2 * i + 1] = kHexDigits[in[i] & 15];
  }
  return 2 * n;
}

size_t Base64Encoder::Feed(const uint8_t* in, size_t n, char* out) {
  size_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    held_[count_++] = in[i];
    if (count_ == 3) {
      const uint32_t v = uint32_t{held_[0]} << 16 | uint32_t{held_[1]} << 8 | held_[2];
      for (int k = 0; k < 4; ++k) out[written++] = kBase64[(v >> (18 - 6 * k)) & 63];
      count_ = 0;
    }
  }
  return written;
}

size_t Base64Encoder::Finish(char* out) {
  if (count_ == 0) return 0;
  const uint32_t v = uint32_t{held_[0]} << 16 | (count_ > 1 ? uint32_t{held_[1]} << 8 : 0);
  out[0] = kBase64[v >> 18];
  out[1] = kBase64[(v >> 12) & 63];
  out[2] = count_ > 1 ? kBase64[(v >> 6) & 63] : '=';
  out[3] = '=';
  count_ = 0;
  return 4;
}

size_t HexDecoder::Feed(const char* in, size_t n, uint8_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    if (IsSpace(in[i])) continue;
    const int v = HexValue(in[i]);
    if (v < 0) throw std::invalid_argument("is not hexadecimal (a character other than 0-9, a-f, A-F)");
    if (high_ < 0) {
      high_ = v;
    } else {
      out[written++] = static_cast<uint8_t>(high_ << 4 | v);
      high_ = -1;
    }
  }
  return written;
}

void HexDecoder::Finish() const {
  if (high_ >= 0) throw std::invalid_argument("is not hexadecimal (an odd number of digits)");
}

size_t Base64Decoder::Feed(const char* in, size_t n, uint8_t* out) {
  size_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = in[i];
    if (IsSpace(c)) continue;
    if (c == '=') {
      // Padding completes a group of two or three characters.
      if (count_ + padding_ < 2 || count_ + padding_ >= 4) throw std::invalid_argument("is not Base64 (misplaced '=')");
      ++padding_;
      if (count_ + padding_ == 4) {
        written += Finish(out + written);
        padding_ = -1;  // the group is done; only white space may follow
      }
      continue;
    }
    const int v = Base64Value(c);
    if (v < 0) throw std::invalid_argument("is not Base64 (a character outside its alphabet)");
    if (padding_ != 0) throw std::invalid_argument("is not Base64 (data after '=')");
    bits_ = bits_ << 6 | static_cast<uint32_t>(v);
    if (++count_ == 4) {
      out[written++] = static_cast<uint8_t>(bits_ >> 16);
      out[written++] = static_cast<uint8_t>(bits_ >> 8);
      out[written++] = static_cast<uint8_t>(bits_);
      bits_ = 0;
      count_ = 0;
    }
  }
  return written;
}

size_t Base64Decoder::Finish(uint8_t* out) {
  if (padding_ > 0 && count_ + padding_ != 4) throw std::invalid_argument("is not Base64 (incomplete padding)");
  size_t written = 0;
  if (count_ == 1) throw std::invalid_argument("is not Base64 (a lone character in the last group)");
  if (count_ == 2) {
    out[written++] = static_cast<uint8_t>(bits_ >> 4);
  } else if (count_ == 3) {
    out[written++] = static_cast<uint8_t>(bits_ >> 10);
    out[written++] = static_cast<uint8_t>(bits_ >> 2);
  }
  bits_ = 0;
  count_ = 0;
  return written;
}

}  // namespace orvo::cli
