#include "tools/orvocrypto/key_check.h"

#include <cstring>

namespace orvo::cli {

namespace {

// The cipher's display name, for messages.
const char* Display(const std::string& cipher) {
  return cipher == "aes" ? "AES" : cipher == "twofish" ? "Twofish" : "Blowfish";
}

// A symmetric blob's opening number and key length, when it has at least one key byte.
bool Split(const XBlob& blob, uint32_t& number, size_t& keyBytes) {
  if (blob.size < 5) return false;
  number = blob.ExtractLong(0);
  keyBytes = blob.size - 4;
  return true;
}

// The KeyGen key the blob is, in words ("an AES-128 key"), or "".
std::string KeyGenKeyName(const XBlob& blob) {
  uint32_t number = 0;
  size_t keyBytes = 0;
  if (!Split(blob, number, keyBytes)) return "";
  if (KeyGenMakes("aes", number, keyBytes)) return "an AES-" + std::to_string(8 * keyBytes) + " key";
  if (KeyGenMakes("twofish", number, keyBytes)) return "a Twofish-" + std::to_string(8 * keyBytes) + " key";
  if (KeyGenMakes("blowfish", number, keyBytes)) return "a Blowfish key of " + std::to_string(keyBytes) + " bytes";
  return "";
}

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool KeyGenMakes(const std::string& cipher, uint32_t number, size_t keyBytes) {
  if (cipher == "aes") {
    return (number == 10 && keyBytes == 16) || (number == 12 && keyBytes == 24) || (number == 14 && keyBytes == 32);
  }
  if (cipher == "twofish") return number >= 2 && number <= 4 && keyBytes == 8 * size_t{number};
  if (cipher == "blowfish") return number >= 8 && number <= 56 && keyBytes == number;
  return false;
}

RsaBlobKind RsaBlobKindOf(const XBlob& blob) {
  if (blob.size < 4) return RsaBlobKind::kOther;
  uint64_t at = 4;
  int records = 0;
  while (at < blob.size) {
    if (blob.size - at < 4) return RsaBlobKind::kOther;
    at += 4 + uint64_t{blob.ExtractLong(static_cast<uint32_t>(at))};
    if (at > blob.size) return RsaBlobKind::kOther;
    ++records;
  }
  return records == 2 ? RsaBlobKind::kPublic : records == 7 ? RsaBlobKind::kPrivate : RsaBlobKind::kOther;
}

std::string DescribeKeyBlob(const XBlob& blob) {
  const std::string symmetric = KeyGenKeyName(blob);
  if (!symmetric.empty()) return symmetric;
  switch (RsaBlobKindOf(blob)) {
    case RsaBlobKind::kPublic: return "an RSA public key blob";
    case RsaBlobKind::kPrivate: return "an RSA private key blob";
    case RsaBlobKind::kOther: break;
  }
  return "";
}

std::string SymmetricKeyWarning(const std::string& cipher, const XBlob& blob) {
  uint32_t number = 0;
  size_t keyBytes = 0;
  if (!Split(blob, number, keyBytes) || KeyGenMakes(cipher, number, keyBytes)) return "";
  const std::string other = KeyGenKeyName(blob);
  std::string what;
  if (cipher == "aes") {
    what = "an AES key of " + std::to_string(keyBytes) + " bytes with " + std::to_string(number) +
           " rounds, which KeyGen never makes (it makes 10, 12 or 14 rounds with 16, 24 or 32 bytes)";
  } else {
    // Twofish loads only the blobs its KeyGen makes; Blowfish also keys of 0 to 7 bytes.
    what = std::string("a ") + Display(cipher) + " key of " + std::to_string(keyBytes) +
           (keyBytes == 1 ? " byte" : " bytes") + ", which KeyGen never makes (it makes 8 to 56)";
  }
  if (other.empty()) return cipher + " reads this key blob as " + what;
  return "this key blob looks like " + other + ": " + cipher + " reads it as " + what;
}

std::string EncodedKeyHint(const XBlob& blob) {
  size_t digits = 0;
  size_t hexDigits = 0;
  size_t padding = 0;
  bool base64 = true;
  for (uint32_t i = 0; i < blob.size; ++i) {
    const uint8_t c = blob.data[i];
    if (IsSpace(c)) continue;
    ++digits;
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (hex) ++hexDigits;
    if (c == '=') {
      ++padding;
    } else if (padding != 0 || !(hex || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') || c == '+' || c == '/')) {
      base64 = false;
    }
  }
  // The shortest key blob is 5 bytes: 10 hex digits, 8 Base64 characters.
  if (hexDigits == digits && digits >= 10 && digits % 2 == 0) {
    return "the key file looks like hex: add --key-format hex";
  }
  if (base64 && digits >= 8 && digits % 4 == 0 && padding <= 2) {
    return "the key file looks like Base64: add --key-format base64";
  }
  return "";
}

}  // namespace orvo::cli
