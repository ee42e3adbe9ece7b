// The object map of orvocrypto (see object_map.h).
#include "objects/object_map.h"

#include "objects/crypto_misc.h"
#include "objects/crypto_rsa.h"
#include "objects/crypto_symmetric.h"
#include "xatlcom/comobject.h"

namespace orvo {

ObjectMapEntry* OrvoCryptoObjectMap() noexcept {
  static ObjectMapEntry map[] = {
      ObjectMapRow<CryptoAES>(), ObjectMapRow<CryptoTwofish>(), ObjectMapRow<CryptoBlowfish>(),
      ObjectMapRow<CryptoRSA>(), ObjectMapRow<CryptoMisc>(),    ObjectMapEnd(),
  };
  return map;
}

}  // namespace orvo
