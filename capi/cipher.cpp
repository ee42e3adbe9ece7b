// orvo_cipher: a block cipher with the scripting objects' mode, filler and
// chaining register, whole-buffer calls and streams.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "base/wipe.h"
#include "capi/call_frame.h"
#include "crypto/block_cipher.h"
#include "crypto/cipher_by_name.h"
#include "crypto/filler.h"

using namespace orvo::capi;

struct orvo_cipher {
  enum class Stream { kNone, kEncrypting, kDecrypting };

  std::unique_ptr<XBlockCipher> cipher;
  Stream stream = Stream::kNone;
  uint8_t pending[16] = {};  // bytes of an open stream short of a whole block
  size_t held = 0;

  ~orvo_cipher() { orvo::SecureWipe(pending, sizeof pending); }

  void CloseStream() {
    orvo::SecureWipe(pending, sizeof pending);
    held = 0;
    stream = Stream::kNone;
  }
};

namespace {

void NoStreamOpen(const orvo_cipher& c) {
  if (c.stream == orvo_cipher::Stream::kEncrypting) {
    Refuse(ORVO_E_STATE, "an encryption stream is open (orvo_cipher_encrypt_final ends it)");
  }
  if (c.stream == orvo_cipher::Stream::kDecrypting) {
    Refuse(ORVO_E_STATE, "a decryption stream is open (orvo_cipher_decrypt_final ends it)");
  }
}

void OpenStream(orvo_cipher& c, orvo_cipher::Stream direction) {
  if (c.stream != direction) NoStreamOpen(c);
}

// Feeds n bytes to the stream in `direction`, opening it: whole blocks of
// pending + input go through EncryptBlocks or DecryptBlocks, the rest stays
// pending. Nothing changes when the cipher throws. Every byte of the input is
// read before `out` is replaced, so the input may lie in out's own bytes.
void Update(orvo_cipher* cipher, orvo_cipher::Stream direction, const void* data, size_t n, orvo_buffer* out) {
  const uint8_t* in = Bytes(data, n, "data");
  Need(out, "out");
  OpenStream(*Need(cipher, "cipher"), direction);
  orvo_cipher& c = *cipher;
  const size_t bs = c.cipher->BlockSize();
  const size_t total = c.held + n;
  const size_t whole = total / bs * bs;
  // The pending bytes and the input's first whole blocks go through together;
  // both buffers exist before the cipher runs.
  Output joined(whole), result(whole);
  if (whole != 0) {
    std::memcpy(joined.data(), c.pending, c.held);
    std::memcpy(joined.data() + c.held, in, whole - c.held);
  }
  // Run even for no whole block, so that a cipher without a key fails at once.
  static uint8_t none[1];
  uint8_t* from = whole != 0 ? joined.data() : none;
  uint8_t* to = whole != 0 ? result.data() : none;
  const size_t written = direction == orvo_cipher::Stream::kEncrypting ? c.cipher->EncryptBlocks(from, to, whole)
                                                                        : c.cipher->DecryptBlocks(from, to, whole);
  // The input's tail becomes pending before `out` gives up its old bytes: the
  // input may lie in them.
  const size_t rest = total - whole;
  if (whole == 0) {
    std::memcpy(c.pending + c.held, in, n);
  } else {
    std::memcpy(c.pending, in + (n - rest), rest);
  }
  c.held = rest;
  c.stream = direction;
  result.HandTo(out, written);
}

// Ends an open stream in `direction` with `work`; the stream is closed whether
// the work succeeds or not.
template <typename Work>
void Finish(orvo_cipher* cipher, orvo_cipher::Stream direction, Work work) {
  OpenStream(*Need(cipher, "cipher"), direction);
  struct Closer {
    orvo_cipher* c;
    ~Closer() { c->CloseStream(); }
  } closer{cipher};
  work(*cipher->cipher);
}

}  // namespace

extern "C" {

orvo_status orvo_cipher_new(const char* name, orvo_cipher** cipher) {
  return Frame(__func__, [&] {
    Need(cipher, "cipher");
    *cipher = nullptr;
    auto made = std::make_unique<orvo_cipher>();
    made->cipher = orvo::NewCipherNamed(Need(name, "name"));
    if (made->cipher == nullptr) {
      Refuse(ORVO_E_INVALID_ARGUMENT, "unknown cipher '" + std::string(name) + "' (" + orvo::kCipherNames + ")");
    }
    *cipher = made.release();
  });
}

void orvo_cipher_free(orvo_cipher* cipher) { delete cipher; }

orvo_status orvo_cipher_block_size(const orvo_cipher* cipher, size_t* block_size) {
  return Frame(__func__, [&] { *Need(block_size, "block_size") = Need(cipher, "cipher")->cipher->BlockSize(); });
}

orvo_status orvo_cipher_generate_key(orvo_cipher* cipher, const void* seed, size_t seed_size, uint32_t length) {
  return Frame(__func__, [&] { Need(cipher, "cipher")->cipher->GenerateKey(BlobOf(seed, seed_size, "seed"), length); });
}

orvo_status orvo_cipher_get_key(const orvo_cipher* cipher, orvo_buffer* key_blob) {
  return Frame(__func__, [&] {
    Need(key_blob, "key_blob");
    Store(key_blob, Need(cipher, "cipher")->cipher->GetKey());
  });
}

orvo_status orvo_cipher_set_key(orvo_cipher* cipher, const void* key_blob, size_t size) {
  return Frame(__func__, [&] { Need(cipher, "cipher")->cipher->SetKey(BlobOf(key_blob, size, "key_blob")); });
}

orvo_status orvo_cipher_set_mode(orvo_cipher* cipher, int mode) {
  return Frame(__func__, [&] {
    Need(cipher, "cipher");
    if (mode != ORVO_MODE_ECB && mode != ORVO_MODE_CBC) {
      Refuse(ORVO_E_INVALID_ARGUMENT, "mode " + std::to_string(mode) + " is neither ORVO_MODE_ECB (1) nor ORVO_MODE_CBC (2)");
    }
    cipher->cipher->mode = static_cast<uint32_t>(mode);
  });
}

orvo_status orvo_cipher_get_mode(const orvo_cipher* cipher, int* mode) {
  return Frame(__func__, [&] { *Need(mode, "mode") = static_cast<int>(Need(cipher, "cipher")->cipher->mode); });
}

orvo_status orvo_cipher_set_filler(orvo_cipher* cipher, unsigned filler) {
  return Frame(__func__, [&] {
    Need(cipher, "cipher");
    if (filler > 255) Refuse(ORVO_E_INVALID_ARGUMENT, "filler " + std::to_string(filler) + " is not a byte value (0 to 255)");
    cipher->cipher->filler = static_cast<uint8_t>(filler);
  });
}

orvo_status orvo_cipher_get_filler(const orvo_cipher* cipher, unsigned* filler) {
  return Frame(__func__, [&] { *Need(filler, "filler") = Need(cipher, "cipher")->cipher->filler; });
}

orvo_status orvo_cipher_reset(orvo_cipher* cipher) {
  return Frame(__func__, [&] {
    XBlockCipher& c = *Need(cipher, "cipher")->cipher;
    c.Setup(c.mode, c.filler);
    cipher->CloseStream();
  });
}

orvo_status orvo_cipher_set_iv(orvo_cipher* cipher, const void* iv, size_t iv_size) {
  return Frame(__func__, [&] {
    const uint8_t* bytes = Bytes(iv, iv_size, "iv");
    NoStreamOpen(*Need(cipher, "cipher"));
    XBlockCipher& c = *cipher->cipher;
    const size_t bs = c.BlockSize();
    if (iv_size != bs) {
      Refuse(ORVO_E_INVALID_ARGUMENT,
             "iv_size " + std::to_string(iv_size) + " is not the block size (" + std::to_string(bs) + ")");
    }
    // Read before the register is made: `iv` may lie anywhere. Setup only
    // makes the register the first time (the engine would make it zeroed).
    uint8_t block[16];
    std::memcpy(block, bytes, bs);
    if (c.chain == nullptr) c.Setup(c.mode, c.filler);
    std::memcpy(c.chain, block, bs);
    orvo::SecureWipe(block, sizeof block);
  });
}

orvo_status orvo_cipher_get_iv(const orvo_cipher* cipher, orvo_buffer* iv) {
  return Frame(__func__, [&] {
    Need(iv, "iv");
    const XBlockCipher& c = *Need(cipher, "cipher")->cipher;
    static const uint8_t zeros[16] = {};
    // A cipher that has not chained yet has no register: it starts from zeros.
    Store(iv, c.chain != nullptr ? c.chain : zeros, c.BlockSize());
  });
}

orvo_status orvo_cipher_strip_filler(const orvo_cipher* cipher, const void* data, size_t size, size_t* kept_size) {
  return Frame(__func__, [&] {
    const uint8_t* bytes = Bytes(data, size, "data");
    Need(kept_size, "kept_size");
    const XBlockCipher& c = *Need(cipher, "cipher")->cipher;
    *kept_size = orvo::WithoutFiller(bytes, size, c.BlockSize(), c.filler);
  });
}

orvo_status orvo_cipher_encrypt(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] {
    const uint8_t* in = Bytes(data, size, "data");
    Need(out, "out");
    NoStreamOpen(*Need(cipher, "cipher"));
    XBlockCipher& c = *cipher->cipher;
    const size_t bs = c.BlockSize();
    const size_t whole = size / bs * bs;
    Output result(whole + bs);
    size_t written = c.EncryptBlocks(in, result.data(), whole);
    written += c.EncryptFinal(in + whole, size - whole, result.data() + written);
    result.HandTo(out, written);
  });
}

orvo_status orvo_cipher_decrypt(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] {
    const uint8_t* in = Bytes(data, size, "data");
    Need(out, "out");
    NoStreamOpen(*Need(cipher, "cipher"));
    static uint8_t none[1];
    Output result(size);
    const size_t written = cipher->cipher->DecryptBlocks(in, size != 0 ? result.data() : none, size);
    result.HandTo(out, written);
  });
}

orvo_status orvo_cipher_encrypt_update(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] { Update(cipher, orvo_cipher::Stream::kEncrypting, data, size, out); });
}

orvo_status orvo_cipher_encrypt_final(orvo_cipher* cipher, orvo_buffer* out) {
  return Frame(__func__, [&] {
    Need(out, "out");
    Finish(cipher, orvo_cipher::Stream::kEncrypting, [&](XBlockCipher& c) {
      Output block(c.BlockSize());
      block.HandTo(out, c.EncryptFinal(cipher->pending, cipher->held, block.data()));
    });
  });
}

orvo_status orvo_cipher_decrypt_update(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out) {
  return Frame(__func__, [&] { Update(cipher, orvo_cipher::Stream::kDecrypting, data, size, out); });
}

orvo_status orvo_cipher_decrypt_final(orvo_cipher* cipher) {
  return Frame(__func__, [&] {
    // A partial block left fails as one Decrypt of the whole input would.
    Finish(cipher, orvo_cipher::Stream::kDecrypting, [&](XBlockCipher& c) {
      uint8_t block[16];
      c.DecryptBlocks(cipher->pending, block, cipher->held);
      orvo::SecureWipe(block, sizeof block);
    });
  });
}

}  // extern "C"
