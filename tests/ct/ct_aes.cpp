// AES on the path the processor (as valgrind presents it: AES-NI, no VAES)
// gives, under valgrind's memcheck: the key bytes and the plaintext are
// marked secret, and the key expansion, block encryption and decryption,
// ECB and CBC of several blocks must take no branch and read no address that
// depends on them. The table-driven path is left out by name: its look-ups
// are indexed by key and data by design (run with
// ORVOCRYPTO_HIDE_CPU_FEATURES=aes, this program must be reported; the ct
// stage checks that too).
#include <cstring>

#include "crypto/aes.h"
#include "tests/ct/ct_support.h"

using namespace orvo::ct_check;

int main() {
  std::fprintf(stderr, "ct_aes: %s\n", orvo::aes::EngineName(orvo::aes::EngineInUse()));
  for (const uint32_t rounds : {10u, 12u, 14u}) {
    const uint32_t keyLength = rounds == 10 ? 16 : rounds == 12 ? 24 : 32;
    XBlob blob(64);
    blob.InsertLong(rounds);
    for (uint32_t i = 0; i < keyLength; ++i) {
      const uint8_t byte = static_cast<uint8_t>(i * 29 + rounds);
      blob.Append(&byte, 1);
    }
    XBlob plain(16);
    for (uint32_t i = 0; i < 16 * 9; ++i) {
      const uint8_t byte = static_cast<uint8_t>(i * 13 + 5);
      plain.Append(&byte, 1);
    }
    orvo::ct::Classify(blob.data + 4, keyLength);
    orvo::ct::Classify(plain.data, plain.size);

    for (const uint32_t mode : {1u, 2u}) {
      XAES aes;
      aes.SetKey(blob);
      aes.Setup(mode, 0);
      XBlob cipher = aes.Encrypt(plain);
      aes.Setup(mode, 0);
      XBlob back = aes.Decrypt(cipher);
      uint8_t block[16];
      aes.EncryptBlock(plain.data, block);
      aes.DecryptBlock(block, block);
      orvo::ct::Declassify(back.data, back.size);
      orvo::ct::Declassify(block, 16);
      XBlob visible(plain);
      orvo::ct::Declassify(visible.data, visible.size);
      Expect(back.size >= visible.size && std::memcmp(back.data, visible.data, visible.size) == 0, "round trip");
      Expect(std::memcmp(block, visible.data, 16) == 0, "block round trip");
    }
  }
  return g_failures == 0 ? 0 : 1;
}
