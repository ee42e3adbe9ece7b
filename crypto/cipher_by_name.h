// The block ciphers by name, as the command-line tool, the C library and the
// Python package take them: "aes", "twofish" and "blowfish", in any case.
#pragma once

#include <memory>
#include <string_view>

#include "crypto/block_cipher.h"

namespace orvo {

// The names, for messages that list them.
inline constexpr const char kCipherNames[] = "aes, twofish or blowfish";

// The lower-case name of the cipher called `name` in any case, or null when
// no cipher has that name.
const char* CipherName(std::string_view name);

// A new cipher of that name, set up as Setup(ECB, filler 0) leaves it and
// without a key, or null when no cipher has that name.
std::unique_ptr<XBlockCipher> NewCipherNamed(std::string_view name);

}  // namespace orvo
