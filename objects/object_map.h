// The object map of orvocrypto: the five creatable classes in the order AES,
// Twofish, Blowfish, RSA, Misc, ended by an empty row.
#pragma once

#include "xatlcom/module.h"

namespace orvo {

ObjectMapEntry* OrvoCryptoObjectMap() noexcept;

}  // namespace orvo
