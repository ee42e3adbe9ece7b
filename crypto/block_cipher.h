// XBlockCipher: the abstract block cipher behind the symmetric scripting
// objects, the C library's and the Python package's ciphers and the tool's
// cipher commands, and the mode engine written once over it.
//
// Sealed data (the output of Encrypt) is the ciphertext blocks and nothing
// else: no header, no IV, no length, no mode mark, no checksum. Decrypt removes
// no padding. The chaining register persists from call to call: all zeros
// after Setup; after any Encrypt it holds the last ciphertext block, after an
// ECB Decrypt the last plaintext block, after a CBC Decrypt the last ciphertext
// block. Neither SetKey, GenerateKey nor a change of mode or filler resets it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/wipe.h"
#include "base/xblob.h"

namespace orvo {

// The key a cipher keeps for GetKey: the 4-byte number that opens its key blob
// and up to kMax key bytes. Wiped when it goes.
template <uint32_t kMax>
class KeyBytes {
 public:
  KeyBytes() = default;
  ~KeyBytes() { SecureWipe(this, sizeof *this); }
  KeyBytes(const KeyBytes&) = delete;
  KeyBytes& operator=(const KeyBytes&) = delete;

  // `length` is at most kMax.
  void Store(uint32_t number, const uint8_t* key, uint32_t length) {
    std::memset(bytes_, 0, sizeof bytes_);
    std::memcpy(bytes_, key, length);
    number_ = number;
    length_ = length;
  }
  const uint8_t* data() const { return bytes_; }
  // The key blob: the number (4 bytes, big-endian), then the key bytes.
  XBlob Blob() const {
    XBlob blob(16);
    blob.InsertLong(number_);
    blob.Append(bytes_, length_);
    return blob;
  }

 private:
  uint8_t bytes_[kMax] = {};
  uint32_t number_ = 0;
  uint32_t length_ = 0;
};

}  // namespace orvo

class XBlockCipher {
 public:
  static constexpr uint32_t kModeECB = 1;
  static constexpr uint32_t kModeCBC = 2;
  static constexpr uint32_t kFlagKeySet = 1;

  XBlockCipher() = default;
  XBlockCipher(const XBlockCipher&) = delete;
  XBlockCipher& operator=(const XBlockCipher&) = delete;

  virtual uint32_t BlockSize() const = 0;
  // One block, in and out pointing to different blocks.
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) const = 0;
  virtual void DecryptBlock(const uint8_t* in, uint8_t* out) const = 0;
  // Wipes the chaining register.
  virtual ~XBlockCipher();
  // A new key from ExpandSeed(seed, key length); the length rule is the cipher's own.
  virtual void GenerateKey(const XBlob& seed, uint32_t length) = 0;
  // Loads a key blob in the cipher's own layout; "Data is corrupted" with the
  // cipher's name for a blob of the wrong form, leaving the earlier key intact.
  virtual void SetKey(const XBlob& blob) = 0;
  // The key blob; "Invalid key" with the cipher's name when no key is set.
  virtual XBlob GetKey() const = 0;

  // Mode 2 for 2 and 1 for every other value; creates and zeroes the chaining
  // register; the filler is the argument's low byte.
  void Setup(uint32_t mode, uint32_t filler);

  // Pads with `filler` to whole blocks and enciphers in `mode`; any mode other
  // than 1 or 2 gives an empty result. "Invalid key" without a key. The result
  // has the capacity of a buffer of 16 doubled as its bytes were appended.
  // A cipher used before Setup starts from a zero chaining register.
  XBlob Encrypt(const XBlob& input);
  // Deciphers whole blocks in `mode`. "Invalid key" without a key, then
  // "Unable to decrypt data" for a length that is not a whole number of blocks.
  // An alarm leaves the chaining register as it was.
  XBlob Decrypt(const XBlob& input);

  bool KeySet() const { return (flags & kFlagKeySet) != 0; }

  // Encrypt and Decrypt piece by piece, for inputs too large to hold: the
  // chaining register carries from piece to piece, so the bytes are those one
  // Encrypt or Decrypt of the whole input gives. Encryption passes whole
  // blocks to EncryptBlocks, then the rest (fewer than BlockSize() bytes,
  // possibly none) to EncryptFinal, which pads it as Encrypt does; decryption
  // passes whole blocks to DecryptBlocks. `in` and `out` do not overlap; each
  // returns the bytes written to `out` (EncryptFinal: 0 or one block). The
  // checks are Encrypt's and Decrypt's: "Invalid key" without a key, "Unable
  // to decrypt data" for a piece that is not whole blocks (nothing written),
  // and nothing written in a mode other than 1 or 2.
  size_t EncryptBlocks(const uint8_t* in, uint8_t* out, size_t n);
  size_t EncryptFinal(const uint8_t* in, size_t n, uint8_t* out);
  size_t DecryptBlocks(const uint8_t* in, uint8_t* out, size_t n);

  // Written directly by the callers (the scripting objects' Mode and Filler
  // properties, the C library, the Python package).
  uint32_t mode = kModeECB;
  uint8_t filler = 0;
  uint8_t* chain = nullptr;  // BlockSize() bytes once set up
  uint32_t flags = 0;

 protected:
  void MarkKeySet() { flags |= kFlagKeySet; }
  // "Invalid key" with the cipher's name when no key is set (GetKey's check).
  void RequireKey(const char* name) const;

  // Bulk hooks of the engine: `blocks` whole blocks from `in` to `out`, two
  // buffers that do not overlap. The defaults loop over EncryptBlock and
  // DecryptBlock; a cipher that can keep several blocks in flight overrides
  // them with code that gives the same bytes.
  virtual void EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const;
  virtual void DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const;
  // CBC with the chaining value `iv` (BlockSize() bytes), which is left
  // holding the last ciphertext block.
  virtual void EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const;
  virtual void DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const;

 private:
  // Creates the zeroed chaining register when Setup has not run yet.
  void EnsureChain() {
    if (chain == nullptr) CreateChain();
  }
  void CreateChain();
  // BlockSize() without the virtual call once the register exists (its size).
  uint32_t KnownBlockSize() const { return chain != nullptr ? chainSize_ : BlockSize(); }
  // Runs `mode` over `blocks` whole blocks; the last chaining value goes to `chain`.
  void EncryptRun(const uint8_t* in, uint8_t* out, size_t blocks);
  void DecryptRun(const uint8_t* in, uint8_t* out, size_t blocks);

  uint32_t chainSize_ = 0;  // bytes at `chain`, kept for the wipe in the destructor
};
