// Fuzz target: SetKey of XAES, XTwofish and XBlowfish on arbitrary bytes, then
// GetKey, Encrypt and Decrypt with the key that results.
//
// Input: Byte cipher (mod 3), Byte mode (0: 0, 1: ECB, 2: CBC, 3: 0xFFFFFFFF),
// Byte filler, Byte split (blocks in the first of two Encrypt calls), Piece
// earlier-key seed, Piece key blob, Rest data.
//
// Checks: a blob SetKey takes comes back unchanged from GetKey; a blob it
// refuses raises "Data is corrupted" with the cipher's name and leaves the
// earlier key in place; without a key the engine raises "Invalid key"; sealed
// data has the padded length and opens to the data and its filler bytes;
// CBC continued over two calls equals one call; AES gives the same bytes on
// the engine the process chose and on the tables.
#include <algorithm>
#include <cstring>
#include <memory>

#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvo::fuzz::BlobOf;
using orvo::fuzz::BytesOf;
using orvo::fuzz::IsAlarm;
using orvo::fuzz::SameBytes;

struct CipherRow {
  const char* name;
  std::unique_ptr<XBlockCipher> (*make)();
};

template <typename Cipher>
std::unique_ptr<XBlockCipher> Make() {
  return std::make_unique<Cipher>();
}

const CipherRow kCiphers[] = {{"AES", Make<XAES>}, {"Twofish", Make<XTwofish>}, {"Blowfish", Make<XBlowfish>}};
const CipherRow kAesTables = {"AES", [] { return std::unique_ptr<XBlockCipher>(new XAES(orvo::aes::Engine::kTable)); }};

const uint32_t kModes[] = {0, XBlockCipher::kModeECB, XBlockCipher::kModeCBC, 0xFFFFFFFFu};

// A fresh cipher keyed with `key`, set up in `mode` with `filler`.
std::unique_ptr<XBlockCipher> Keyed(const CipherRow& row, const XBlob& key, uint32_t mode, uint8_t filler) {
  std::unique_ptr<XBlockCipher> cipher = row.make();
  cipher->Setup(XBlockCipher::kModeECB, 0);
  cipher->SetKey(key);
  cipher->mode = mode;
  cipher->filler = filler;
  return cipher;
}

void CheckWithoutKey(const CipherRow& row, const XBlob& data) {
  std::unique_ptr<XBlockCipher> cipher = row.make();
  cipher->Setup(XBlockCipher::kModeCBC, 0);
  try {
    cipher->Encrypt(data);
    FUZZ_CHECK(!"Encrypt without a key succeeded");
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, nullptr));
  }
  try {
    cipher->GetKey();
    FUZZ_CHECK(!"GetKey without a key succeeded");
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, row.name));
  }
}

// Back to a zero chaining register with `mode` and `filler`, as a fresh
// cipher would start; the key stays (a Blowfish key schedule costs as much as
// the rest of an input).
void Restart(XBlockCipher& cipher, uint32_t mode, uint8_t filler) {
  cipher.Setup(XBlockCipher::kModeECB, 0);
  cipher.mode = mode;
  cipher.filler = filler;
}

// Sealing and opening `data` with `key`; returns the sealed bytes.
std::vector<uint8_t> CheckEngine(const CipherRow& row, const XBlob& key, uint32_t mode, uint8_t filler,
                                 uint32_t splitBlocks, const XBlob& data) {
  std::unique_ptr<XBlockCipher> cipher = Keyed(row, key, mode, filler);
  const uint32_t bs = cipher->BlockSize();
  const bool working = mode == XBlockCipher::kModeECB || mode == XBlockCipher::kModeCBC;
  const XBlob sealed = cipher->Encrypt(data);
  const uint32_t padded = (data.size + bs - 1) / bs * bs;
  FUZZ_CHECK(sealed.size == (working ? padded : 0));
  FUZZ_CHECK(sealed.size <= sealed.capacity);

  // Opening from a zero chaining register gives the data and the filler bytes.
  Restart(*cipher, mode, filler);
  const XBlob opened = cipher->Decrypt(sealed);
  std::vector<uint8_t> expected = BytesOf(data);
  if (working) {
    expected.resize(padded, filler);
  } else {
    expected.clear();
  }
  FUZZ_CHECK(SameBytes(opened, expected));

  // The same data in two calls continues one chain.
  if (working && padded > 0) {
    const uint32_t first = std::min(splitBlocks * bs, padded);
    Restart(*cipher, mode, filler);
    std::vector<uint8_t> bytes = expected;
    const XBlob a = cipher->Encrypt(BlobOf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + first)));
    const XBlob b = cipher->Encrypt(BlobOf(std::vector<uint8_t>(bytes.begin() + first, bytes.end())));
    std::vector<uint8_t> joined = BytesOf(a);
    const std::vector<uint8_t> tail = BytesOf(b);
    joined.insert(joined.end(), tail.begin(), tail.end());
    FUZZ_CHECK(SameBytes(sealed, joined));
  }

  // Decrypt of the raw data: whole blocks only.
  Restart(*cipher, mode, filler);
  try {
    const XBlob out = cipher->Decrypt(data);
    FUZZ_CHECK(data.size % bs == 0);
    FUZZ_CHECK(out.size == (working ? data.size : 0));
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(data.size % bs != 0);
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kUnableToDecrypt, nullptr));
  }
  return BytesOf(sealed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  orvo::fuzz::Input in(bytes, size);
  const CipherRow& row = kCiphers[in.Byte() % 3];
  const uint32_t mode = kModes[in.Byte() % 4];
  const uint8_t filler = in.Byte();
  const uint32_t split = in.Byte();
  const XBlob seed = BlobOf(in.Piece(64));
  const XBlob blob = BlobOf(in.Piece(128), in.Byte() % 8);
  const XBlob data = BlobOf(in.Rest(1024));

  CheckWithoutKey(row, data);

  // An earlier key from a seed, then the blob under test.
  std::unique_ptr<XBlockCipher> cipher = row.make();
  cipher->Setup(XBlockCipher::kModeECB, 0);
  cipher->GenerateKey(seed, seed.size);
  const XBlob earlier = cipher->GetKey();
  XBlob key(16);
  try {
    cipher->SetKey(blob);
    key = cipher->GetKey();
    FUZZ_CHECK(key.Equals(blob));
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kDataCorrupted, row.name));
    key = cipher->GetKey();
    FUZZ_CHECK(key.Equals(earlier));
  }

  const std::vector<uint8_t> sealed = CheckEngine(row, key, mode, filler, split, data);
  if (std::strcmp(row.name, "AES") == 0 && orvo::aes::EngineInUse() != orvo::aes::Engine::kTable) {
    const std::vector<uint8_t> table = CheckEngine(kAesTables, key, mode, filler, split, data);
    FUZZ_CHECK(table == sealed);
  }
  return 0;
}
