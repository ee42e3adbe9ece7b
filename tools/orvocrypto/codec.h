// Hexadecimal and Base64 (RFC 4648, standard alphabet, '=' padding) for data
// streams: the decoders take their text in pieces of any size and keep the
// digits of an unfinished byte or group for the next piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvo::cli {

enum class Format { kRaw, kHex, kBase64 };

// "raw", "hex" or "base64" in any case; false for any other text.
bool ParseFormat(const std::string& text, Format& format);

// Encoders: `out` has room for 2 * n characters (hex, lowercase) or for
// Base64EncodedLength of what is held plus n.
size_t EncodeHex(const uint8_t* in, size_t n, char* out);

class Base64Encoder {
 public:
  // Room needed in `out` for Feed of n bytes or for Finish (n = 0).
  static size_t Room(size_t n) { return (n + 2) / 3 * 4 + 4; }
  size_t Feed(const uint8_t* in, size_t n, char* out);
  size_t Finish(char* out);  // the last group, padded

 private:
  uint8_t held_[3] = {};
  size_t count_ = 0;
};

// Decoders: white space (space, tab, CR, LF) is skipped anywhere; `out` has
// room for n bytes (n characters never give more). Feed and Finish return the
// bytes written, or throw std::invalid_argument naming the fault.
class HexDecoder {
 public:
  size_t Feed(const char* in, size_t n, uint8_t* out);
  void Finish() const;  // an odd number of digits is a fault

 private:
  int high_ = -1;  // the first digit of an unfinished byte
};

class Base64Decoder {
 public:
  size_t Feed(const char* in, size_t n, uint8_t* out);
  // A last group of two or three characters without its '=' is accepted.
  size_t Finish(uint8_t* out);

 private:
  uint32_t bits_ = 0;
  int count_ = 0;     // characters of the current group
  int padding_ = 0;   // '=' seen; only padding and white space may follow
};

}  // namespace orvo::cli
