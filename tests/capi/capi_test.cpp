// Tests of liborvocrypto.so.1 through orvocrypto.h: every call family against
// the published vectors in tests/data, streaming equal to the whole-buffer
// calls, the error statuses and texts, the framing calls, and input that lies
// in the output buffer's own bytes. (header_c89.c checks that the header
// compiles as C89.)
#include <orvocrypto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/vec_file.h"

namespace {

using orvo::test::FromHexText;
using orvo::test::ReadVecFile;
using orvo::test::VecRecord;
using Bytes = std::vector<uint8_t>;

// A call expected to succeed, and one expected to fail with a status and
// exactly this text.
#define EXPECT_ORVO_OK(call)                                                                      \
  do {                                                                                            \
    const orvo_status s_ = (call);                                                                \
    EXPECT_EQ(s_, ORVO_OK) << #call << ": " << orvo_status_name(s_) << " \"" << orvo_last_error() \
                           << "\"";                                                               \
  } while (0)
#define EXPECT_ORVO_FAILS(call, status, text)                           \
  do {                                                                  \
    const orvo_status s_ = (call);                                      \
    EXPECT_STREQ(orvo_status_name(s_), orvo_status_name(status)) << #call; \
    EXPECT_STREQ(orvo_last_error(), text) << #call;                     \
  } while (0)

// An orvo_buffer that frees itself.
struct Buffer : orvo_buffer {
  Buffer() : orvo_buffer ORVO_BUFFER_INIT {}
  ~Buffer() { orvo_buffer_free(this); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  Bytes bytes() const { return size == 0 ? Bytes() : Bytes(data, data + size); }
};

struct Free {
  void operator()(orvo_cipher* c) const { orvo_cipher_free(c); }
  void operator()(orvo_rsa* r) const { orvo_rsa_free(r); }
  void operator()(orvo_md5* m) const { orvo_md5_free(m); }
  void operator()(orvo_sha1* s) const { orvo_sha1_free(s); }
};
using Cipher = std::unique_ptr<orvo_cipher, Free>;
using Rsa = std::unique_ptr<orvo_rsa, Free>;

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Appends a buffer's bytes to an accumulating one, through the framing calls.
void Append(orvo_buffer* all, const orvo_buffer* piece) {
  EXPECT_ORVO_OK(orvo_insert_frame(all, all->size, piece->data, piece->size));
  uint32_t ignored;  // drop the 4-byte length the frame put in front
  EXPECT_ORVO_OK(orvo_extract_long(all, all->size - piece->size - 4, &ignored));
}

// ---- Block ciphers ----

// The key blobs: a 4-byte number (AES: rounds; Twofish: key bytes / 8;
// Blowfish: key bytes), then the key.
Bytes KeyBlob(const std::string& cipher, const Bytes& key) {
  uint32_t number = static_cast<uint32_t>(key.size());
  if (cipher == "aes") number = key.size() == 16 ? 10 : key.size() == 24 ? 12 : 14;
  if (cipher == "twofish") number = static_cast<uint32_t>(key.size() / 8);
  Bytes blob = {static_cast<uint8_t>(number >> 24), static_cast<uint8_t>(number >> 16),
                static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
  blob.insert(blob.end(), key.begin(), key.end());
  return blob;
}

Cipher Keyed(const std::string& name, const Bytes& key) {
  orvo_cipher* c = nullptr;
  EXPECT_ORVO_OK(orvo_cipher_new(name.c_str(), &c));
  const Bytes blob = KeyBlob(name, key);
  EXPECT_ORVO_OK(orvo_cipher_set_key(c, blob.data(), blob.size()));
  return Cipher(c);
}

TEST(CapiTest, BlockCipherVectors) {
  const struct {
    const char* file;
    const char* cipher;
    const char* section;  // prefix of the sections used
    const char *key, *plain, *sealed;
    int records;  // at least this many
  } files[] = {
      {"crypto/aes_fips197.vec", "aes", "AES", "Key", "Plaintext", "Ciphertext", 3},
      {"crypto/aes_kat.vec", "aes", "", "Key", "Plaintext", "Ciphertext", 1039},
      {"crypto/twofish.vec", "twofish", "ECB", "Key", "PT", "CT", 150},
      {"crypto/blowfish.vec", "blowfish", "ECB", "Key", "PT", "CT", 34},
  };
  for (const auto& f : files) {
    int used = 0;
    for (const VecRecord& r : ReadVecFile(f.file)) {
      if (r.section.rfind(f.section, 0) != 0) continue;
      SCOPED_TRACE(r.Where());
      const Bytes plain = r.Bytes(f.plain), sealed = r.Bytes(f.sealed);
      const Cipher c = Keyed(f.cipher, r.Bytes(f.key));
      Buffer out;
      EXPECT_ORVO_OK(orvo_cipher_encrypt(c.get(), plain.data(), plain.size(), &out));
      EXPECT_EQ(out.bytes(), sealed);
      EXPECT_ORVO_OK(orvo_cipher_decrypt(c.get(), sealed.data(), sealed.size(), &out));
      EXPECT_EQ(out.bytes(), plain);
      ++used;
    }
    EXPECT_GE(used, f.records) << f.file;
  }
}

// Encrypts or decrypts `in` through the stream in pieces of `piece` bytes.
orvo_status Stream(orvo_cipher* c, bool encrypt, const Bytes& in, size_t piece, orvo_buffer* all) {
  Buffer out;
  orvo_status s = ORVO_OK;
  orvo_buffer_free(all);
  for (size_t at = 0; at < in.size() && s == ORVO_OK; at += piece) {
    const size_t n = std::min(piece, in.size() - at);
    s = encrypt ? orvo_cipher_encrypt_update(c, in.data() + at, n, &out)
                : orvo_cipher_decrypt_update(c, in.data() + at, n, &out);
    if (s == ORVO_OK) Append(all, &out);
  }
  if (s != ORVO_OK) return s;
  if (!encrypt) return orvo_cipher_decrypt_final(c);
  s = orvo_cipher_encrypt_final(c, &out);
  if (s == ORVO_OK) Append(all, &out);
  return s;
}

// The engine vectors (key 00..0f, modes, fillers, lengths): whole calls, and
// streams in pieces of several sizes give the same bytes.
TEST(CapiTest, EngineVectorsWholeAndStreamed) {
  Bytes key(16);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
  for (const VecRecord& r : ReadVecFile("crypto/aes_engine.vec")) {
    SCOPED_TRACE(r.Where());
    Buffer out;
    if (r.section == "Seal") {
      const Bytes plain = r.Bytes("Plaintext"), sealed = r.Bytes("Ciphertext");
      const Cipher c = Keyed("aes", key);
      EXPECT_ORVO_OK(orvo_cipher_set_mode(c.get(), static_cast<int>(r.Number("Mode"))));
      EXPECT_ORVO_OK(orvo_cipher_set_filler(c.get(), static_cast<unsigned>(r.Number("Filler"))));
      EXPECT_ORVO_OK(orvo_cipher_encrypt(c.get(), plain.data(), plain.size(), &out));
      EXPECT_EQ(out.bytes(), sealed);
      for (const size_t piece : {1, 5, 16, 17, 100}) {
        EXPECT_ORVO_OK(orvo_cipher_reset(c.get()));
        EXPECT_ORVO_OK(Stream(c.get(), true, plain, piece, &out));
        EXPECT_EQ(out.bytes(), sealed) << "piece " << piece;
        EXPECT_ORVO_OK(orvo_cipher_reset(c.get()));
        EXPECT_ORVO_OK(Stream(c.get(), false, sealed, piece, &out));
        // The plaintext, then its padding.
        ASSERT_EQ(out.size, sealed.size()) << "piece " << piece;
        EXPECT_EQ(Bytes(out.data, out.data + plain.size()), plain) << "piece " << piece;
      }
    } else if (r.section == "Chain") {
      // The chaining register carries from an ECB call into CBC calls.
      const Bytes first = r.Bytes("First"), second = r.Bytes("Second");
      const Cipher c = Keyed("aes", key);
      EXPECT_ORVO_OK(orvo_cipher_encrypt(c.get(), first.data(), first.size(), &out));
      EXPECT_EQ(out.bytes(), r.Bytes("FirstCiphertext"));
      EXPECT_ORVO_OK(orvo_cipher_set_mode(c.get(), ORVO_MODE_CBC));
      EXPECT_ORVO_OK(orvo_cipher_encrypt(c.get(), second.data(), second.size(), &out));
      EXPECT_EQ(out.bytes(), r.Bytes("SecondCiphertext"));
    }
  }
}

TEST(CapiTest, KeyGenVectors) {
  const char* const files[][2] = {
      {"crypto/aes_keygen.vec", "AES"}, {"crypto/twofish_keygen.vec", "Twofish"}, {"crypto/blowfish_keygen.vec", "blowfish"}};
  for (const auto& f : files) {
    for (const VecRecord& r : ReadVecFile(f[0])) {
      SCOPED_TRACE(r.Where());
      const Bytes seed = r.Bytes("Seed");
      orvo_cipher* raw = nullptr;
      EXPECT_ORVO_OK(orvo_cipher_new(f[1], &raw));  // names in any case
      const Cipher c(raw);
      Buffer blob;
      EXPECT_ORVO_OK(orvo_cipher_generate_key(c.get(), seed.data(), seed.size(), static_cast<uint32_t>(r.Number("Length"))));
      EXPECT_ORVO_OK(orvo_cipher_get_key(c.get(), &blob));
      EXPECT_EQ(blob.bytes(), r.Bytes("Blob"));
    }
  }
}

// ---- Digests ----

// The digests of `data`, `repeat` times over, fed in pieces of `piece` bytes,
// against the record's fields.
void CheckDigests(const Bytes& data, size_t repeat, size_t piece, const VecRecord& r) {
  SCOPED_TRACE(r.Where());
  orvo_md5* rawMd5 = nullptr;
  orvo_sha1* rawSha1 = nullptr;
  EXPECT_ORVO_OK(orvo_md5_new(&rawMd5));
  EXPECT_ORVO_OK(orvo_sha1_new(&rawSha1));
  const std::unique_ptr<orvo_md5, Free> md5(rawMd5);
  const std::unique_ptr<orvo_sha1, Free> sha1(rawSha1);
  uint32_t crc = 0;
  for (size_t k = 0; k < repeat; ++k) {
    size_t at = 0;
    do {
      const size_t n = std::min(piece, data.size() - at);
      EXPECT_ORVO_OK(orvo_md5_update(md5.get(), data.data() + at, n));
      EXPECT_ORVO_OK(orvo_sha1_update(sha1.get(), data.data() + at, n));
      EXPECT_ORVO_OK(orvo_crc32_update(&crc, data.data() + at, n));
      at += n;
    } while (at < data.size());
  }
  Buffer digest;
  if (r.Has("MD5")) {
    EXPECT_ORVO_OK(orvo_md5_final(md5.get(), &digest));
    EXPECT_EQ(digest.bytes(), r.Bytes("MD5"));
    EXPECT_ORVO_OK(orvo_md5_final(md5.get(), &digest));  // starts anew
    EXPECT_EQ(digest.bytes(), FromHexText("d41d8cd98f00b204e9800998ecf8427e"));
  }
  if (r.Has("SHA1")) {
    EXPECT_ORVO_OK(orvo_sha1_final(sha1.get(), &digest));
    EXPECT_EQ(digest.bytes(), r.Bytes("SHA1"));
  }
  if (r.Has("CRC32")) {
    EXPECT_EQ(crc, r.Number("CRC32"));
  }
  if (repeat != 1) return;
  if (r.Has("MD5")) {
    EXPECT_ORVO_OK(orvo_md5_digest(data.data(), data.size(), &digest));
    EXPECT_EQ(digest.bytes(), r.Bytes("MD5"));
  }
  if (r.Has("SHA1")) {
    EXPECT_ORVO_OK(orvo_sha1_digest(data.data(), data.size(), &digest));
    EXPECT_EQ(digest.bytes(), r.Bytes("SHA1"));
  }
}

TEST(CapiTest, DigestVectors) {
  for (const char* file : {"digest/md5_rfc1321.vec", "digest/sha1_fips180_1.vec", "digest/crc32_catalogue.vec"}) {
    for (const VecRecord& r : ReadVecFile(file)) {
      CheckDigests(TextBytes(r.Get("Text")), r.Has("Repeat") ? r.Number("Repeat") : 1, 7, r);
    }
  }
  // byte i = (i * 7 + 3) mod 251, in pieces around the 64-byte block
  size_t i = 0;
  for (const VecRecord& r : ReadVecFile("digest/pattern_digests.vec")) {
    Bytes data(r.Number("Len"));
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>((k * 7 + 3) % 251);
    CheckDigests(data, 1, i++ % 2 ? 63 : 65, r);
    CheckDigests(data, 1, data.size() + 1, r);
  }
}

TEST(CapiTest, Random) {
  Buffer a, b;
  EXPECT_ORVO_OK(orvo_random(100000, &a));
  EXPECT_ORVO_OK(orvo_random(100000, &b));
  ASSERT_EQ(a.size, 100000u);
  ASSERT_EQ(b.size, 100000u);
  EXPECT_NE(a.bytes(), b.bytes()) << "two draws differ";
  // Memory that cannot be had: a status, not an abort; the output stays.
  EXPECT_ORVO_FAILS(orvo_random(SIZE_MAX, &a), ORVO_E_NOMEM, "orvocrypto: out of memory");
  EXPECT_EQ(a.size, 100000u);
  EXPECT_ORVO_OK(orvo_random(0, &a));
  EXPECT_EQ(a.size, 0u);
  EXPECT_EQ(a.data, nullptr);
}

// ---- RSA ----

Rsa RsaWith(const VecRecord* r, const char* publicField, const char* privateField) {
  orvo_rsa* rsa = nullptr;
  EXPECT_ORVO_OK(orvo_rsa_new(&rsa));
  if (publicField != nullptr) {
    const Bytes b = r->Bytes(publicField);
    EXPECT_ORVO_OK(orvo_rsa_set_public_key(rsa, b.data(), b.size()));
  }
  if (privateField != nullptr) {
    const Bytes b = r->Bytes(privateField);
    EXPECT_ORVO_OK(orvo_rsa_set_private_key(rsa, b.data(), b.size()));
  }
  return Rsa(rsa);
}

TEST(CapiTest, RsaVectors) {
  int keygens = 0, signs = 0, decrypts = 0, valid = -1;
  for (const VecRecord& r : ReadVecFile("rsa/rsa_keys.vec")) {
    SCOPED_TRACE(r.Where());
    Buffer out, again;
    if (r.section == "KeyGen") {
      const Bytes s1 = r.Bytes("Seed1"), s2 = r.Bytes("Seed2");
      const Rsa rsa = RsaWith(&r, nullptr, nullptr);
      EXPECT_ORVO_OK(orvo_rsa_generate_key(rsa.get(), s1.data(), s1.size(), s2.data(), s2.size(),
                                           static_cast<uint32_t>(r.Number("Requested"))));
      EXPECT_ORVO_OK(orvo_rsa_get_public_key(rsa.get(), &out));
      EXPECT_EQ(out.bytes(), r.Bytes("Public"));
      EXPECT_ORVO_OK(orvo_rsa_get_private_key(rsa.get(), &out));
      EXPECT_EQ(out.bytes(), r.Bytes("Private"));
      ++keygens;
    } else if (r.section == "Sign") {
      const Bytes data = r.Bytes("Data");
      Bytes sig = r.Bytes("Signature");
      const Rsa signer = RsaWith(&r, nullptr, "Private"), checker = RsaWith(&r, "Public", nullptr);
      const size_t half = data.size() / 2;
      EXPECT_ORVO_OK(orvo_rsa_sign(signer.get(), data.data(), data.size(), &out));
      EXPECT_EQ(out.bytes(), sig);
      EXPECT_ORVO_OK(orvo_rsa_update(signer.get(), data.data(), half));
      EXPECT_ORVO_OK(orvo_rsa_update(signer.get(), data.data() + half, data.size() - half));
      EXPECT_ORVO_OK(orvo_rsa_sign_final(signer.get(), &again));
      EXPECT_EQ(again.bytes(), sig);
      EXPECT_ORVO_OK(orvo_rsa_verify(checker.get(), data.data(), data.size(), sig.data(), sig.size(), &valid));
      EXPECT_EQ(valid, 1);
      EXPECT_ORVO_OK(orvo_rsa_update(checker.get(), data.data(), half));
      EXPECT_ORVO_OK(orvo_rsa_update(checker.get(), data.data() + half, data.size() - half));
      EXPECT_ORVO_OK(orvo_rsa_verify_final(checker.get(), sig.data(), sig.size(), &valid));
      EXPECT_EQ(valid, 1);
      sig.back() ^= 1;  // a damaged signature is invalid, not an error
      EXPECT_ORVO_OK(orvo_rsa_verify(checker.get(), data.data(), data.size(), sig.data(), sig.size(), &valid));
      EXPECT_EQ(valid, 0);
      EXPECT_ORVO_OK(orvo_rsa_verify_final(checker.get(), sig.data(), sig.size(), &valid));
      EXPECT_EQ(valid, 0);
      ++signs;
    } else if (r.section == "Encrypt") {
      const Bytes label = r.Bytes("IVInput"), sealed = r.Bytes("Ciphertext"), data = r.Bytes("Data");
      const Rsa rsa = RsaWith(&r, "Public", "Private");
      EXPECT_ORVO_OK(orvo_rsa_set_label(rsa.get(), label.data(), label.size()));
      EXPECT_ORVO_OK(orvo_rsa_decrypt(rsa.get(), sealed.data(), sealed.size(), &out));
      EXPECT_EQ(out.bytes(), data);
      // A fresh encryption opens again; the same data sealed twice differs.
      EXPECT_ORVO_OK(orvo_rsa_encrypt(rsa.get(), data.data(), data.size(), &out));
      EXPECT_EQ(out.size, sealed.size());
      EXPECT_NE(out.bytes(), sealed);
      EXPECT_ORVO_OK(orvo_rsa_decrypt(rsa.get(), out.data, out.size, &again));
      EXPECT_EQ(again.bytes(), data);
      // Another label does not open it; a failed call leaves the output as it was.
      EXPECT_ORVO_OK(orvo_rsa_set_label(rsa.get(), "x", 1));
      EXPECT_ORVO_FAILS(orvo_rsa_decrypt(rsa.get(), sealed.data(), sealed.size(), &again), ORVO_E_DECRYPT,
                        "Crypto System: Unable to decrypt data - RSA");
      EXPECT_EQ(again.bytes(), data);
      ++decrypts;
    }
  }
  EXPECT_EQ(keygens, 10);
  EXPECT_EQ(signs, 3);
  EXPECT_EQ(decrypts, 5);
}

// A key blob of another key is refused once both halves are present, and a
// malformed one leaves the key whole.
TEST(CapiTest, RsaKeyLoading) {
  orvo_rsa* raw = nullptr;
  EXPECT_ORVO_OK(orvo_rsa_new(&raw));
  const Rsa rsa(raw);
  Buffer pub, priv, foreign, out;
  size_t size = 1;
  const uint8_t truncated[] = {0, 0, 0, 64, 0, 0, 0, 64, 1, 2};
  EXPECT_ORVO_OK(orvo_rsa_size(rsa.get(), &size));
  EXPECT_EQ(size, 0u) << "no key";
  EXPECT_ORVO_FAILS(orvo_rsa_get_public_key(rsa.get(), &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - RSA");
  EXPECT_ORVO_FAILS(orvo_rsa_sign(rsa.get(), "a", 1, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - RSA");
  EXPECT_ORVO_OK(orvo_rsa_generate_key(rsa.get(), "alpha", 5, "beta", 4, 64));
  EXPECT_ORVO_OK(orvo_rsa_size(rsa.get(), &size));
  EXPECT_EQ(size, 64u) << "512-bit key";
  EXPECT_ORVO_OK(orvo_rsa_get_public_key(rsa.get(), &pub));
  EXPECT_ORVO_OK(orvo_rsa_get_private_key(rsa.get(), &priv));
  EXPECT_ORVO_OK(orvo_rsa_new(&raw));
  const Rsa other(raw);
  EXPECT_ORVO_OK(orvo_rsa_generate_key(other.get(), "gamma", 5, "delta", 5, 64));
  EXPECT_ORVO_OK(orvo_rsa_get_public_key(other.get(), &foreign));
  EXPECT_ORVO_FAILS(orvo_rsa_set_public_key(rsa.get(), foreign.data, foreign.size), ORVO_E_INVALID_KEY,
                    "Crypto System: Invalid key - RSA");
  EXPECT_ORVO_FAILS(orvo_rsa_set_private_key(rsa.get(), truncated, sizeof truncated), ORVO_E_CORRUPT,
                    "Crypto System: Data is corrupted - XBlob");
  EXPECT_ORVO_FAILS(orvo_rsa_set_public_key(rsa.get(), truncated, 3), ORVO_E_CORRUPT,
                    "Crypto System: Data is corrupted - RSA");
  EXPECT_ORVO_OK(orvo_rsa_get_private_key(rsa.get(), &out));
  EXPECT_EQ(out.bytes(), priv.bytes()) << "the key stays whole";
  EXPECT_ORVO_OK(orvo_rsa_get_public_key(rsa.get(), &out));
  EXPECT_EQ(out.bytes(), pub.bytes()) << "the key stays whole";
}

// ---- Errors and state ----

TEST(CapiTest, CipherErrorsAndState) {
  orvo_cipher* raw = nullptr;
  const uint8_t wrongBlob[] = {0, 0, 0, 9, 1, 2, 3};
  int mode = 0;
  unsigned filler = 0;

  EXPECT_ORVO_FAILS(orvo_cipher_new("des", &raw), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_new: unknown cipher 'des' (aes, twofish or blowfish)");
  EXPECT_EQ(raw, nullptr) << "no handle for an unknown name";
  EXPECT_ORVO_FAILS(orvo_cipher_new(nullptr, &raw), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_new: name is NULL");
  EXPECT_ORVO_OK(orvo_cipher_new("aes", &raw));
  const Cipher c(raw);
  EXPECT_STREQ(orvo_last_error(), "") << "a success clears the text";

  Buffer out, key, before;
  EXPECT_ORVO_FAILS(orvo_cipher_get_key(c.get(), &key), ORVO_E_INVALID_KEY, "Crypto System: Invalid key - AES");
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt(c.get(), "abc", 3, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt_update(c.get(), "abc", 3, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");
  EXPECT_ORVO_FAILS(orvo_cipher_decrypt(c.get(), nullptr, 0, &out), ORVO_E_INVALID_KEY, "Crypto System: Invalid key");

  EXPECT_ORVO_OK(orvo_cipher_generate_key(c.get(), "seed", 4, 16));
  EXPECT_ORVO_OK(orvo_cipher_get_key(c.get(), &before));
  EXPECT_ORVO_FAILS(orvo_cipher_set_key(c.get(), wrongBlob, sizeof wrongBlob), ORVO_E_CORRUPT,
                    "Crypto System: Data is corrupted - AES");
  EXPECT_ORVO_OK(orvo_cipher_new("blowfish", &raw));
  const Cipher other(raw);
  EXPECT_ORVO_OK(orvo_cipher_generate_key(other.get(), "seed", 4, 16));
  EXPECT_ORVO_OK(orvo_cipher_get_key(other.get(), &key));
  EXPECT_ORVO_FAILS(orvo_cipher_set_key(c.get(), key.data, key.size), ORVO_E_CORRUPT,
                    "Crypto System: Data is corrupted - AES");
  EXPECT_ORVO_OK(orvo_cipher_get_key(c.get(), &key));
  EXPECT_EQ(key.bytes(), before.bytes()) << "the earlier key stays";

  EXPECT_ORVO_FAILS(orvo_cipher_decrypt(c.get(), "0123456789abcdef0", 17, &out), ORVO_E_DECRYPT,
                    "Crypto System: Unable to decrypt data");
  EXPECT_ORVO_FAILS(orvo_cipher_set_mode(c.get(), 3), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_set_mode: mode 3 is neither ORVO_MODE_ECB (1) nor ORVO_MODE_CBC (2)");
  EXPECT_ORVO_FAILS(orvo_cipher_set_filler(c.get(), 256), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_set_filler: filler 256 is not a byte value (0 to 255)");
  EXPECT_ORVO_OK(orvo_cipher_get_mode(c.get(), &mode));
  EXPECT_ORVO_OK(orvo_cipher_get_filler(c.get(), &filler));
  EXPECT_EQ(mode, ORVO_MODE_ECB) << "refused values change nothing";
  EXPECT_EQ(filler, 0u) << "refused values change nothing";
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt(c.get(), nullptr, 5, &out), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_encrypt: data is NULL with a size above 0");
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt(c.get(), "a", 1, nullptr), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_encrypt: out is NULL");
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt(nullptr, "a", 1, &out), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_encrypt: cipher is NULL");

  // An open stream refuses whole calls and the other direction.
  EXPECT_ORVO_OK(orvo_cipher_encrypt_update(c.get(), "abc", 3, &out));
  EXPECT_EQ(out.size, 0u) << "no whole block yet";
  EXPECT_ORVO_FAILS(orvo_cipher_encrypt(c.get(), "a", 1, &out), ORVO_E_STATE,
                    "orvo_cipher_encrypt: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  EXPECT_ORVO_FAILS(orvo_cipher_decrypt_update(c.get(), "a", 1, &out), ORVO_E_STATE,
                    "orvo_cipher_decrypt_update: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  EXPECT_ORVO_FAILS(orvo_cipher_decrypt_final(c.get()), ORVO_E_STATE,
                    "orvo_cipher_decrypt_final: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  EXPECT_ORVO_OK(orvo_cipher_encrypt_final(c.get(), &out));
  EXPECT_EQ(out.size, 16u) << "the padded rest";
  // A decryption stream left with a partial block fails at its end, and closes.
  EXPECT_ORVO_OK(orvo_cipher_decrypt_update(c.get(), out.data, 15, &key));
  EXPECT_ORVO_FAILS(orvo_cipher_decrypt_final(c.get()), ORVO_E_DECRYPT, "Crypto System: Unable to decrypt data");
  EXPECT_ORVO_OK(orvo_cipher_decrypt(c.get(), out.data, 16, &key));

  // Freeing NULL does nothing; so does freeing an empty buffer twice.
  orvo_cipher_free(nullptr);
  orvo_rsa_free(nullptr);
  orvo_md5_free(nullptr);
  orvo_sha1_free(nullptr);
  orvo_buffer_free(nullptr);
  orvo_buffer_free(&out);
  orvo_buffer_free(&out);
  EXPECT_STREQ(orvo_status_name(ORVO_E_CORRUPT), "ORVO_E_CORRUPT");
  EXPECT_STREQ(orvo_version(), ORVO_TEST_VERSION);
}

// The error text belongs to the thread that made the failing call.
// The chaining register as the CBC IV: NIST SP 800-38A's vectors from their
// IV, whole and streamed; the register after the calls; its errors.
TEST(CapiTest, CipherIv) {
  static const uint8_t kZeros[16] = {};
  Buffer out, iv, piece;
  for (const VecRecord& r : ReadVecFile("crypto/aes_cbc_iv.vec")) {
    SCOPED_TRACE(r.Where());
    const Bytes key = r.Bytes("Key"), start = r.Bytes("IV"), plain = r.Bytes("Plaintext"),
                sealed = r.Bytes("Ciphertext");
    const Cipher c = Keyed("aes", key);
    EXPECT_ORVO_OK(orvo_cipher_set_mode(c.get(), ORVO_MODE_CBC));
    EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), start.data(), start.size()));
    EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
    EXPECT_EQ(iv.bytes(), start);
    EXPECT_ORVO_OK(orvo_cipher_encrypt(c.get(), plain.data(), plain.size(), &out));
    EXPECT_EQ(out.bytes(), sealed);
    EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
    EXPECT_EQ(iv.bytes(), Bytes(sealed.end() - 16, sealed.end())) << "the register: the last block";
    // Set again, the same IV starts the same message again: in a stream of
    // odd pieces, then decrypted from it.
    EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), start.data(), start.size()));
    EXPECT_ORVO_OK(Stream(c.get(), true, plain, 7, &out));
    EXPECT_EQ(out.bytes(), sealed);
    EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), start.data(), start.size()));
    EXPECT_ORVO_OK(orvo_cipher_decrypt(c.get(), sealed.data(), sealed.size(), &out));
    EXPECT_EQ(out.bytes(), plain);
    // Reset goes back to zeros, not to the IV set.
    EXPECT_ORVO_OK(orvo_cipher_reset(c.get()));
    EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
    EXPECT_EQ(iv.bytes(), Bytes(kZeros, kZeros + 16)) << "reset zeroes it";
  }

  // A new cipher reads zeros, a block of its own size; set_iv takes that size only.
  orvo_cipher* raw = nullptr;
  ASSERT_EQ(ORVO_OK, orvo_cipher_new("blowfish", &raw));
  const Cipher c(raw);
  EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
  EXPECT_EQ(iv.bytes(), Bytes(kZeros, kZeros + 8)) << "a new cipher's register";
  EXPECT_ORVO_FAILS(orvo_cipher_set_iv(c.get(), "0123456789abcdef", 16), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_set_iv: iv_size 16 is not the block size (8)");
  EXPECT_ORVO_FAILS(orvo_cipher_set_iv(c.get(), nullptr, 8), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_set_iv: iv is NULL with a size above 0");
  EXPECT_ORVO_FAILS(orvo_cipher_get_iv(c.get(), nullptr), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_get_iv: iv is NULL");
  EXPECT_ORVO_FAILS(orvo_cipher_get_iv(nullptr, &iv), ORVO_E_INVALID_ARGUMENT, "orvo_cipher_get_iv: cipher is NULL");
  // The IV may lie in the buffer get_iv filled (and is read before the register changes).
  EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), "ABCDEFGH", 8));
  EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
  EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), iv.data, iv.size));
  EXPECT_ORVO_OK(orvo_cipher_get_iv(c.get(), &iv));
  EXPECT_EQ(iv.bytes(), TextBytes("ABCDEFGH")) << "set from get_iv's own buffer";
  // An open stream keeps its register: set_iv is refused until final.
  EXPECT_ORVO_OK(orvo_cipher_generate_key(c.get(), "seed", 4, 16));
  EXPECT_ORVO_OK(orvo_cipher_encrypt_update(c.get(), "abc", 3, &piece));
  EXPECT_ORVO_FAILS(orvo_cipher_set_iv(c.get(), "ABCDEFGH", 8), ORVO_E_STATE,
                    "orvo_cipher_set_iv: an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  EXPECT_ORVO_OK(orvo_cipher_encrypt_final(c.get(), &piece));
  EXPECT_ORVO_OK(orvo_cipher_set_iv(c.get(), "ABCDEFGH", 8));
}

// Filler stripping: at most a block less one trailing filler byte goes.
TEST(CapiTest, StripFiller) {
  const struct {
    const char* cipher;
    unsigned filler;
    const char* data;  // hex
    size_t kept;
  } cases[] = {
      {"aes", 0, "68656c6c6f0000000000000000000000", 5},   // "hello" padded
      {"aes", 0, "00112233445566778899aabbccddeeff", 16},  // a whole block: no padding was added
      {"aes", 0, "00000000000000000000000000000000", 1},   // all filler: 15 go, the data's own byte stays
      {"aes", 0, "6162630000000000000000000000000000000000000000000000000000000000", 17},
      {"aes", 0, "6162630000000000000000000000000000000000000000000000000000000061", 32},
      {"aes", 7, "68690707070707070707070707070707", 2},
      {"aes", 7, "68690000000000000000000000000000", 16},  // zeros are data under filler 7
      {"aes", 0, "", 0},
      {"aes", 0, "0000", 0},  // shorter than a block: all may go
      {"blowfish", 0, "6800000000000000", 1},
      {"blowfish", 0, "0000000000000000", 1},
      {"blowfish", 255, "68ffffffffffffff", 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.cipher) + " " + k.data);
    const Bytes data = FromHexText(k.data);
    orvo_cipher* raw = nullptr;
    ASSERT_EQ(ORVO_OK, orvo_cipher_new(k.cipher, &raw));
    const Cipher c(raw);
    EXPECT_ORVO_OK(orvo_cipher_set_filler(c.get(), k.filler));
    size_t kept = 99;
    EXPECT_ORVO_OK(orvo_cipher_strip_filler(c.get(), data.data(), data.size(), &kept));
    EXPECT_EQ(k.kept, kept);
  }
  orvo_cipher* raw = nullptr;
  ASSERT_EQ(ORVO_OK, orvo_cipher_new("aes", &raw));
  const Cipher c(raw);
  size_t kept = 99;
  EXPECT_ORVO_OK(orvo_cipher_strip_filler(c.get(), nullptr, 0, &kept));
  EXPECT_EQ(0u, kept) << "no data";
  EXPECT_ORVO_FAILS(orvo_cipher_strip_filler(c.get(), "ab", 2, nullptr), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_strip_filler: kept_size is NULL");
  EXPECT_ORVO_FAILS(orvo_cipher_strip_filler(nullptr, "ab", 2, &kept), ORVO_E_INVALID_ARGUMENT,
                    "orvo_cipher_strip_filler: cipher is NULL");
}

TEST(CapiTest, ErrorTextPerThread) {
  const char* const desText = "orvo_cipher_new: unknown cipher 'des' (aes, twofish or blowfish)";
  orvo_cipher* c = nullptr;
  EXPECT_ORVO_FAILS(orvo_cipher_new("des", &c), ORVO_E_INVALID_ARGUMENT, desText);
  orvo_status otherStatus = ORVO_OK;
  std::string otherText;
  std::thread([&] {
    orvo_cipher* mine = nullptr;
    otherStatus = orvo_cipher_new("rot13", &mine);
    otherText = orvo_last_error();
  }).join();
  EXPECT_EQ(otherStatus, ORVO_E_INVALID_ARGUMENT);
  EXPECT_NE(otherText.find("rot13"), std::string::npos) << "the other thread saw its own text";
  EXPECT_STREQ(orvo_last_error(), desText) << "this thread's text stays";
}

// ---- Framing ----

TEST(CapiTest, Framing) {
  Buffer blob, out;
  uint32_t value = 0;
  EXPECT_ORVO_OK(orvo_insert_long(&blob, 0, 0x01020304u));
  EXPECT_ORVO_OK(orvo_insert_frame(&blob, 4, "abc", 3));
  EXPECT_ORVO_OK(orvo_insert_long(&blob, 0, 0xA0B0C0D0u));
  EXPECT_EQ(blob.bytes(), FromHexText("a0b0c0d00102030400000003616263")) << "packed";
  // A record of the blob's own bytes.
  EXPECT_ORVO_OK(orvo_insert_frame(&blob, blob.size, blob.data, 4));
  EXPECT_EQ(blob.bytes(), FromHexText("a0b0c0d0010203040000000361626300000004a0b0c0d0")) << "own bytes";
  EXPECT_ORVO_FAILS(orvo_insert_long(&blob, blob.size + 1, 1), ORVO_E_INVALID_ARGUMENT,
                    "orvo_insert_long: position 24 is past the end (23 bytes)");
  EXPECT_ORVO_FAILS(orvo_extract_frame(&blob, 0, &out), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - XBlob");
  EXPECT_EQ(blob.size, 23u) << "nothing changed";
  EXPECT_ORVO_OK(orvo_extract_frame(&blob, 8, &out));
  EXPECT_EQ(out.bytes(), FromHexText("616263")) << "record";
  EXPECT_ORVO_OK(orvo_extract_long(&blob, 4, &value));
  EXPECT_EQ(value, 0x01020304u);
  EXPECT_ORVO_OK(orvo_extract_frame(&blob, 4, &out));
  EXPECT_EQ(out.bytes(), FromHexText("a0b0c0d0")) << "own record";
  EXPECT_EQ(blob.bytes(), FromHexText("a0b0c0d0")) << "left";
  // Fewer than four bytes: the missing ones read as zero, the present go.
  EXPECT_ORVO_OK(orvo_extract_long(&blob, 2, &value));
  EXPECT_EQ(value, 0xC0D00000u);
  EXPECT_EQ(blob.bytes(), FromHexText("a0b0"));
  EXPECT_ORVO_OK(orvo_buffer_set(&blob, "\0\0\0\5ab", 6));
  EXPECT_ORVO_FAILS(orvo_extract_frame(&blob, 0, &out), ORVO_E_CORRUPT, "Crypto System: Data is corrupted - XBlob");
}

// ---- Input in the output buffer's own bytes ----

// One call of a table row: `data` (n bytes) in, `out` written. Streams add
// what they need to finish (the final block, or the bytes that complete the
// last block of a decryption), so that their pending bytes show.
using AliasCall = orvo_status (*)(void* handle, const void* data, size_t n, orvo_buffer* out);

// A cipher keyed for AES in CBC mode with filler 7; with `stream`, 5 bytes of
// a stream already fed (so that the stream holds a partial block).
void* CipherForAlias(bool stream, bool encrypt) {
  Bytes key(16);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
  Cipher c = Keyed("aes", key);
  Buffer ignored;
  EXPECT_ORVO_OK(orvo_cipher_set_mode(c.get(), ORVO_MODE_CBC));
  EXPECT_ORVO_OK(orvo_cipher_set_filler(c.get(), 7));
  if (stream) {
    EXPECT_ORVO_OK(encrypt ? orvo_cipher_encrypt_update(c.get(), "prefx", 5, &ignored)
                           : orvo_cipher_decrypt_update(c.get(), "prefx", 5, &ignored));
    EXPECT_EQ(ignored.size, 0u) << "no whole block yet";
  }
  return c.release();
}
void* AliasPlainCipher() { return CipherForAlias(false, false); }
void* AliasEncryptStream() { return CipherForAlias(true, true); }
void* AliasDecryptStream() { return CipherForAlias(true, false); }
void AliasFreeCipher(void* c) { orvo_cipher_free(static_cast<orvo_cipher*>(c)); }

orvo_rsa* g_aliasRsa;
void* AliasSharedRsa() { return g_aliasRsa; }
void* AliasNone() { return nullptr; }
void AliasKeep(void*) {}

orvo_cipher* AsCipher(void* c) { return static_cast<orvo_cipher*>(c); }
orvo_rsa* AsRsa(void* r) { return static_cast<orvo_rsa*>(r); }

orvo_status CallEncrypt(void* c, const void* d, size_t n, orvo_buffer* out) { return orvo_cipher_encrypt(AsCipher(c), d, n, out); }
orvo_status CallDecrypt(void* c, const void* d, size_t n, orvo_buffer* out) { return orvo_cipher_decrypt(AsCipher(c), d, n, out); }
orvo_status CallEncryptUpdate(void* c, const void* d, size_t n, orvo_buffer* out) {
  Buffer last;
  orvo_status s = orvo_cipher_encrypt_update(AsCipher(c), d, n, out);
  if (s == ORVO_OK) s = orvo_cipher_encrypt_final(AsCipher(c), &last);
  if (s == ORVO_OK) Append(out, &last);
  return s;
}
orvo_status CallDecryptUpdate(void* c, const void* d, size_t n, orvo_buffer* out) {
  // 5 bytes fed before: the bytes that complete the last block follow.
  static const uint8_t fill[16] = {0};
  Buffer last;
  orvo_status s = orvo_cipher_decrypt_update(AsCipher(c), d, n, out);
  if (s == ORVO_OK) s = orvo_cipher_decrypt_update(AsCipher(c), fill, (16 - (5 + n) % 16) % 16, &last);
  if (s == ORVO_OK) s = orvo_cipher_decrypt_final(AsCipher(c));
  if (s == ORVO_OK) Append(out, &last);
  return s;
}
// RSA encryption draws a fresh seed: the block is decrypted again, in place.
orvo_status CallRsaRoundTrip(void* r, const void* d, size_t n, orvo_buffer* out) {
  const orvo_status s = orvo_rsa_encrypt(AsRsa(r), d, n, out);
  return s == ORVO_OK ? orvo_rsa_decrypt(AsRsa(r), out->data, out->size, out) : s;
}
orvo_status CallRsaSign(void* r, const void* d, size_t n, orvo_buffer* out) { return orvo_rsa_sign(AsRsa(r), d, n, out); }
orvo_status CallMd5(void*, const void* d, size_t n, orvo_buffer* out) { return orvo_md5_digest(d, n, out); }
orvo_status CallSha1(void*, const void* d, size_t n, orvo_buffer* out) { return orvo_sha1_digest(d, n, out); }
orvo_status CallSet(void*, const void* d, size_t n, orvo_buffer* out) { return orvo_buffer_set(out, d, n); }
orvo_status CallInsertFrame(void*, const void* d, size_t n, orvo_buffer* out) { return orvo_insert_frame(out, 3, d, n); }

// Every call that takes bytes and writes an orvo_buffer, given bytes of that
// buffer itself (all of them, its tail, its head), gives what it gives for a
// copy of them. The output buffer holds `size` bytes before the call.
TEST(CapiTest, InputInTheOutputBuffersOwnBytes) {
  const struct {
    const char* name;
    void* (*make)();
    void (*drop)(void*);
    AliasCall call;
    size_t size, offset;  // the overlapping inputs start or stop `offset` bytes in
  } calls[] = {
      {"orvo_buffer_set", AliasNone, AliasKeep, CallSet, 45, 7},
      {"orvo_cipher_encrypt", AliasPlainCipher, AliasFreeCipher, CallEncrypt, 45, 7},
      {"orvo_cipher_decrypt", AliasPlainCipher, AliasFreeCipher, CallDecrypt, 48, 16},
      {"orvo_cipher_encrypt_update", AliasEncryptStream, AliasFreeCipher, CallEncryptUpdate, 45, 7},
      {"orvo_cipher_encrypt_update", AliasEncryptStream, AliasFreeCipher, CallEncryptUpdate, 40, 9},
      {"orvo_cipher_decrypt_update", AliasDecryptStream, AliasFreeCipher, CallDecryptUpdate, 45, 7},
      {"orvo_cipher_decrypt_update", AliasDecryptStream, AliasFreeCipher, CallDecryptUpdate, 40, 9},
      {"orvo_rsa_encrypt, orvo_rsa_decrypt", AliasSharedRsa, AliasKeep, CallRsaRoundTrip, 45, 7},
      {"orvo_rsa_sign", AliasSharedRsa, AliasKeep, CallRsaSign, 45, 7},
      {"orvo_md5_digest", AliasNone, AliasKeep, CallMd5, 45, 7},
      {"orvo_sha1_digest", AliasNone, AliasKeep, CallSha1, 45, 7},
      {"orvo_insert_frame", AliasNone, AliasKeep, CallInsertFrame, 45, 7},
  };
  uint8_t pattern[64];
  for (size_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_ORVO_OK(orvo_rsa_new(&g_aliasRsa));
  const Rsa owner(g_aliasRsa);
  EXPECT_ORVO_OK(orvo_rsa_generate_key(g_aliasRsa, "alias one", 9, "alias two", 9, 64));
  for (const auto& call : calls) {
    const size_t m = call.size, off = call.offset;
    // the whole buffer, its tail, its head
    const size_t starts[3] = {0, off, 0}, lengths[3] = {m, m - off, m - off};
    for (int v = 0; v < 3; ++v) {
      SCOPED_TRACE(std::string(call.name) + ", bytes " + std::to_string(starts[v]) + " to " +
                   std::to_string(starts[v] + lengths[v]) + " of " + std::to_string(m));
      Buffer aliased, plain;
      void* h1 = call.make();
      void* h2 = call.make();
      EXPECT_ORVO_OK(orvo_buffer_set(&aliased, pattern, m));
      EXPECT_ORVO_OK(orvo_buffer_set(&plain, pattern, m));
      const Bytes copy(pattern + starts[v], pattern + starts[v] + lengths[v]);
      EXPECT_ORVO_OK(call.call(h1, aliased.data + starts[v], lengths[v], &aliased));
      EXPECT_ORVO_OK(call.call(h2, copy.data(), copy.size(), &plain));
      EXPECT_EQ(aliased.bytes(), plain.bytes());
      call.drop(h1);
      call.drop(h2);
    }
  }
  g_aliasRsa = nullptr;
}

// Refused: a number written into the bytes the call frees, and two buffers
// holding the same bytes. A checksum register inside its own input reads as if
// the input were copied.
TEST(CapiTest, RefusedAndCopiedOverlaps) {
  uint8_t pattern[16];
  for (size_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<uint8_t>(i * 37 + 11);
  Buffer blob;
  EXPECT_ORVO_OK(orvo_buffer_set(&blob, pattern, sizeof pattern));
  EXPECT_ORVO_FAILS(orvo_extract_long(&blob, 0, reinterpret_cast<uint32_t*>(static_cast<void*>(blob.data + 8))),
                    ORVO_E_INVALID_ARGUMENT, "orvo_extract_long: value lies in the blob's bytes");
  orvo_buffer sameBytes = blob;
  EXPECT_ORVO_FAILS(orvo_extract_frame(&blob, 0, &sameBytes), ORVO_E_INVALID_ARGUMENT,
                    "orvo_extract_frame: out holds the blob's bytes");
  EXPECT_EQ(blob.bytes(), Bytes(pattern, pattern + sizeof pattern)) << "nothing changed";

  uint32_t crcAndData[3] = {0, 0x64636261u, 0x68676665u}, crc = 0;
  EXPECT_ORVO_OK(orvo_crc32_update(&crc, crcAndData, sizeof crcAndData));
  EXPECT_ORVO_OK(orvo_crc32_update(&crcAndData[0], crcAndData, sizeof crcAndData));
  EXPECT_EQ(crcAndData[0], crc);
}

}  // namespace
