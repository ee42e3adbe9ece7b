// What a key file looks like, for the warnings and hints of the commands that
// load keys: a symmetric key blob that the cipher's KeyGen never makes (the
// key of another cipher that happens to load, a round count or key length no
// seed gives), an RSA key blob of the other half, and key text in hexadecimal
// or Base64 given without --key-format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/xblob.h"

namespace orvo::cli {

// True when the cipher named `cipher` ("aes", "twofish", "blowfish") makes a
// key blob that opens with `number` and holds `keyBytes` key bytes from some
// seed and length: AES rounds 10, 12, 14 with 16, 24, 32 bytes; Twofish 2, 3,
// 4 64-bit words; Blowfish 8 to 56 bytes.
bool KeyGenMakes(const std::string& cipher, uint32_t number, size_t keyBytes);

// A description of `blob` as a key: "an AES-128 key", "a Twofish-256 key",
// "a Blowfish key of 16 bytes", "an RSA public key blob", "an RSA private key
// blob", or "" when it is none of these.
std::string DescribeKeyBlob(const XBlob& blob);

// The warning for a symmetric key blob that `cipher` loaded but its KeyGen
// never makes ("" when KeyGen makes it), saying what the blob looks like.
std::string SymmetricKeyWarning(const std::string& cipher, const XBlob& blob);

// An RSA key blob's records: kPublic when size, n and e fill it exactly,
// kPrivate when size and the seven numbers do, else kOther.
enum class RsaBlobKind { kPublic, kPrivate, kOther };
RsaBlobKind RsaBlobKindOf(const XBlob& blob);

// A hint for a key file that failed to load as raw bytes: "it looks like
// hex: add --key-format hex" (or Base64), else "".
std::string EncodedKeyHint(const XBlob& blob);

}  // namespace orvo::cli
