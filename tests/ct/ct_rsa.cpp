// The RSA private-key operations under valgrind's memcheck: the numbers of
// the private blob (d, p, q, dP, dQ, qInv) are marked secret before the blob
// is loaded, and key loading, Sign, Decrypt of a valid ciphertext and of
// damaged ones, the direct path of a key whose CRT numbers do not agree, and
// PrivateRaw must take no branch and read no address that depends on them.
// The library itself makes public only what base/constant_time.h's
// Declassify calls name; this program declassifies the results it checks.
//
//   ct_rsa KEYS.vec SIZE...   (SIZE: 64, 128 or 256 bytes)
#include <cstring>

#include "base/alarm.h"
#include "rsa/rsa_key.h"
#include "tests/ct/ct_support.h"

using namespace orvo::ct_check;

namespace {

// Marks the bytes of the private blob's numbers after n (not their length
// fields, which are public) as secret.
void ClassifyPrivateNumbers(XBlob& blob) {
  uint32_t offset = 4;
  for (int field = 0; field < 7; ++field) {
    const uint32_t length = blob.ExtractLong(offset);
    if (field > 0) orvo::ct::Classify(blob.data + offset + 4, length);
    offset += 4 + length;
  }
}

bool Refused(const char* text, void (*call)(const XRSAKey&, const XBlob&), const XRSAKey& key, const XBlob& arg) {
  try {
    call(key, arg);
  } catch (const XAlarm& alarm) {
    return std::strcmp(alarm.message, text) == 0;
  }
  return false;
}

void CheckKey(const KeyBlobs& blobs, uint32_t size) {
  std::fprintf(stderr, "ct_rsa: %u-byte key\n", size);
  XBlob priv(blobs.priv);
  ClassifyPrivateNumbers(priv);
  XRSAKey key;
  key.SetPublicBlob(blobs.pub);
  key.SetPrivateBlob(priv);

  const XBlob data = BlobOfText("constant-time check");
  const XBlob signature = key.Sign(data);
  Expect(key.Verify(data, signature) == 1, "signature verifies");

  // Two blocks: both decoded before the verdict.
  XBlob plain(16);
  for (uint32_t i = 0; i < size; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i * 7 + 1);
    plain.Append(&byte, 1);
  }
  const XBlob ciphertext = key.Encrypt(plain);
  XBlob back = key.Decrypt(ciphertext);
  orvo::ct::Declassify(back.data, back.size);
  Expect(back.Equals(plain), "decrypt gives the plaintext");

  // A damaged block (its low byte changed, so it stays below n) and a block
  // whose label hash is wrong (another iv): both fail the padding check.
  XBlob damaged(ciphertext);
  damaged.data[size - 1] ^= 0x5A;
  Expect(Refused("Unable to decrypt data", [](const XRSAKey& k, const XBlob& c) { k.Decrypt(c); }, key, damaged),
         "damaged ciphertext refused");
  XRSAKey other;
  other.SetPublicBlob(blobs.pub);
  other.SetPrivateBlob(priv);
  other.SetIV(BlobOfText("another label"));
  Expect(Refused("Unable to decrypt data", [](const XRSAKey& k, const XBlob& c) { k.Decrypt(c); }, other, ciphertext),
         "wrong label refused");

  // The private half alone: Sign without the check by e.
  XRSAKey privateOnly;
  privateOnly.SetPrivateBlob(priv);
  const XBlob again = privateOnly.Sign(data);
  Expect(again.Equals(signature), "the private half alone signs alike");

  // dQ damaged (its last byte changed): Sign refuses, Decrypt works with d.
  XBlob inconsistent(blobs.priv);
  uint32_t offset = 4;
  for (int field = 0; field < 6; ++field) offset += 4 + inconsistent.ExtractLong(offset);
  inconsistent.data[offset + 4 + inconsistent.ExtractLong(offset) - 1] ^= 0x01;
  ClassifyPrivateNumbers(inconsistent);
  XRSAKey direct;
  direct.SetPublicBlob(blobs.pub);
  direct.SetPrivateBlob(inconsistent);
  Expect(Refused("Invalid key", [](const XRSAKey& k, const XBlob& d) { k.Sign(d); }, direct, data),
         "an inconsistent key does not sign");
  back = direct.Decrypt(ciphertext);
  orvo::ct::Declassify(back.data, back.size);
  Expect(back.Equals(plain), "the direct path decrypts");

  XBigInt x;
  x.FromBytes(BlobOfText("raw"));
  const XBigInt raw = key.PrivateRaw(x);
  Expect(key.PublicRaw(raw).Compare(x) == 0, "PrivateRaw inverts PublicRaw");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ct_rsa KEYS.vec SIZE...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const uint32_t size = static_cast<uint32_t>(std::stoul(argv[i]));
    CheckKey(KeyOfSize(argv[1], size), size);
  }
  return g_failures == 0 ? 0 : 1;
}
