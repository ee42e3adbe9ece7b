#include "tools/orvocrypto/codec.h"

#include <stdexcept>

#include "base/ascii.h"

namespace orvo::cli {

namespace {

[[noreturn]] void ThrowBase64(const codec::Fault& fault) {
  switch (fault.kind) {
    case codec::Fault::kMisplacedPadding:
      throw std::invalid_argument("is not Base64 (misplaced '=')");
    case codec::Fault::kDataAfterPadding:
      throw std::invalid_argument("is not Base64 (data after '=')");
    case codec::Fault::kIncompletePadding:
      throw std::invalid_argument("is not Base64 (incomplete padding)");
    case codec::Fault::kLoneCharacter:
      throw std::invalid_argument("is not Base64 (a lone character in the last group)");
    default:  // kBadCharacter; the tool's rules raise no other fault
      throw std::invalid_argument("is not Base64 (a character outside its alphabet)");
  }
}

}  // namespace

bool ParseFormat(const std::string& text, Format& format) {
  const std::string lower = AsciiLower(text);
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

size_t EncodeHex(const uint8_t* in, size_t n, char* out) { return codec::EncodeHex(in, n, out, codec::HexCase::kLower); }

size_t HexDecoder::Feed(const char* in, size_t n, uint8_t* out) {
  const size_t written = decoder_.Feed(in, n, out);
  if (decoder_.fault().kind != codec::Fault::kNone) {
    throw std::invalid_argument("is not hexadecimal (a character other than 0-9, a-f, A-F)");
  }
  return written;
}

void HexDecoder::Finish() {
  if (!decoder_.Finish()) throw std::invalid_argument("is not hexadecimal (an odd number of digits)");
}

size_t Base64Decoder::Feed(const char* in, size_t n, uint8_t* out) {
  const size_t written = decoder_.Feed(in, n, out);
  if (decoder_.fault().kind != codec::Fault::kNone) ThrowBase64(decoder_.fault());
  return written;
}

size_t Base64Decoder::Finish(uint8_t* out) {
  const size_t written = decoder_.Finish(out);
  if (decoder_.fault().kind != codec::Fault::kNone) ThrowBase64(decoder_.fault());
  return written;
}

}  // namespace orvo::cli
