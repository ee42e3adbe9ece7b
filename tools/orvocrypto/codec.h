// The tool's text formats: hexadecimal and Base64 (RFC 4648, standard
// alphabet, '=' padding) for data streams, over the base layer's codecs with
// the tool's rules. The decoders take their text in pieces of any size and
// keep the digits of an unfinished byte or group for the next piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text_codecs.h"

namespace orvo::cli {

enum class Format { kRaw, kHex, kBase64 };

// "raw", "hex" or "base64" in any case; false for any other text.
bool ParseFormat(const std::string& text, Format& format);

// Lower-case hexadecimal; `out` has room for 2 * n characters.
size_t EncodeHex(const uint8_t* in, size_t n, char* out);

using Base64Encoder = codec::Base64Encoder;

// Decoders: white space (space, tab, CR, LF) is skipped anywhere, also inside
// a hexadecimal pair; `out` has room for n + 2 bytes. Feed and Finish return
// the bytes written, or throw std::invalid_argument naming the fault.
class HexDecoder {
 public:
  size_t Feed(const char* in, size_t n, uint8_t* out);
  void Finish();  // an odd number of digits is a fault

 private:
  codec::HexDecoder decoder_{{codec::WhiteSpace::kBlankTabNewline, true}};
};

class Base64Decoder {
 public:
  size_t Feed(const char* in, size_t n, uint8_t* out);
  // A last group of two or three characters without its '=' is accepted, and
  // padding bits are not checked.
  size_t Finish(uint8_t* out);

 private:
  codec::Base64Decoder decoder_{{codec::WhiteSpace::kBlankTabNewline, false, false}};
};

}  // namespace orvo::cli
