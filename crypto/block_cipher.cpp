// The mode engine (ECB and CBC with filler padding) over XBlockCipher.
//
// The engine works on whole runs of blocks: the full blocks go straight from
// the input to the output buffer through the bulk hooks, and only a partial
// last block is padded, in a scratch block. The output buffer is allocated once
// with the capacity that doubling from 16 would reach, so results, capacities
// and the chaining register match a block-by-block pass with byte appends.
#include "crypto/block_cipher.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "base/alarm.h"
#include "base/wipe.h"

namespace {

// The capacity of a working buffer that starts at 16 and doubles as `size`
// bytes are appended one by one.
uint32_t DoubledCapacity(uint64_t size) {
  uint64_t capacity = 16;
  while (capacity < size) capacity *= 2;
  return static_cast<uint32_t>(capacity > 0xFFFFFFFFu ? size : capacity);
}

// A chaining value: the usual block sizes as fixed-size copies the compiler
// inlines (a short message's call pays no library call for it).
void CopyBlock(uint8_t* to, const uint8_t* from, uint32_t bs) {
  if (bs == 16) {
    std::memcpy(to, from, 16);
  } else if (bs == 8) {
    std::memcpy(to, from, 8);
  } else {
    std::memcpy(to, from, bs);
  }
}

void XorBlock(uint8_t* out, const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(a[i] ^ b[i]);
}

// A scratch block on the stack for the usual block sizes, on the heap otherwise;
// wiped when it goes, since it holds plaintext.
class ScratchBlock {
 public:
  explicit ScratchBlock(size_t n) : n_(n) {
    if (n > sizeof small_) heap_.resize(n);
  }
  ~ScratchBlock() { orvo::SecureWipe(data(), n_); }
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;
  uint8_t* data() { return heap_.empty() ? small_ : heap_.data(); }

 private:
  size_t n_;
  uint8_t small_[32] = {};
  std::vector<uint8_t> heap_;
};

}  // namespace

void XBlockCipher::RequireKey(const char* name) const {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey, name);
}

XBlockCipher::~XBlockCipher() {
  if (chain != nullptr) {
    orvo::SecureWipe(chain, chainSize_);
    delete[] chain;
  }
}

void XBlockCipher::Setup(uint32_t mode_, uint32_t filler_) {
  mode = mode_ == kModeCBC ? kModeCBC : kModeECB;
  EnsureChain();
  std::memset(chain, 0, chainSize_);
  filler = static_cast<uint8_t>(filler_);
}

void XBlockCipher::CreateChain() {
  chainSize_ = BlockSize();
  chain = new uint8_t[chainSize_ == 0 ? 1 : chainSize_]();
}

XBlob XBlockCipher::Encrypt(const XBlob& input) {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey);
  const uint32_t bs = KnownBlockSize();
  if ((mode != kModeECB && mode != kModeCBC) || bs == 0) return XBlob(16);
  EnsureChain();

  const size_t full = input.size / bs;
  const uint32_t rest = input.size % bs;
  const uint64_t outSize = (uint64_t{full} + (rest != 0 ? 1 : 0)) * bs;
  // Sealed data past 4 GiB - 1 does not fit a Blob: the call fails as when
  // memory runs out (std::bad_alloc), before anything is encrypted.
  XBlob out(DoubledCapacity(XBlob::CheckedSize(outSize)));
  if (full != 0) EncryptRun(input.data, out.data, full);
  if (rest != 0) {
    ScratchBlock last(bs);
    std::memcpy(last.data(), input.data + full * bs, rest);
    std::memset(last.data() + rest, filler, bs - rest);
    EncryptRun(last.data(), out.data + full * bs, 1);
  }
  out.size = static_cast<uint32_t>(outSize);
  return out;
}

XBlob XBlockCipher::Decrypt(const XBlob& input) {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey);
  const uint32_t bs = KnownBlockSize();
  if (bs == 0 || input.size % bs != 0) throw XCryptoAlarm(alarm_text::kUnableToDecrypt);
  if (mode != kModeECB && mode != kModeCBC) return XBlob(16);
  EnsureChain();

  XBlob out(DoubledCapacity(input.size));
  const size_t blocks = input.size / bs;
  if (blocks != 0) DecryptRun(input.data, out.data, blocks);
  out.size = input.size;
  return out;
}

void XBlockCipher::EncryptRun(const uint8_t* in, uint8_t* out, size_t blocks) {
  const uint32_t bs = chainSize_;
  if (mode == kModeCBC) {
    EncryptBlocksCBC(in, out, blocks, chain);
  } else {
    EncryptBlocksECB(in, out, blocks);
    CopyBlock(chain, out + (blocks - 1) * bs, bs);
  }
}

void XBlockCipher::DecryptRun(const uint8_t* in, uint8_t* out, size_t blocks) {
  const uint32_t bs = chainSize_;
  if (mode == kModeCBC) {
    DecryptBlocksCBC(in, out, blocks, chain);
  } else {
    // After an ECB Decrypt the register holds the last plaintext block.
    DecryptBlocksECB(in, out, blocks);
    CopyBlock(chain, out + (blocks - 1) * bs, bs);
  }
}

void XBlockCipher::EncryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  const uint32_t bs = KnownBlockSize();
  for (size_t i = 0; i < blocks; ++i) EncryptBlock(in + i * bs, out + i * bs);
}

void XBlockCipher::DecryptBlocksECB(const uint8_t* in, uint8_t* out, size_t blocks) const {
  const uint32_t bs = KnownBlockSize();
  for (size_t i = 0; i < blocks; ++i) DecryptBlock(in + i * bs, out + i * bs);
}

void XBlockCipher::EncryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  const uint32_t bs = KnownBlockSize();
  ScratchBlock scratch(bs);
  const uint8_t* previous = iv;
  for (size_t i = 0; i < blocks; ++i) {
    XorBlock(scratch.data(), in + i * bs, previous, bs);
    EncryptBlock(scratch.data(), out + i * bs);
    previous = out + i * bs;
  }
  if (blocks != 0) std::memcpy(iv, previous, bs);
}

void XBlockCipher::DecryptBlocksCBC(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* iv) const {
  const uint32_t bs = KnownBlockSize();
  const uint8_t* previous = iv;
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t* plain = out + i * bs;
    DecryptBlock(in + i * bs, plain);
    XorBlock(plain, plain, previous, bs);
    previous = in + i * bs;
  }
  if (blocks != 0) std::memcpy(iv, previous, bs);
}

size_t XBlockCipher::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t n) {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey);
  const uint32_t bs = KnownBlockSize();
  if ((mode != kModeECB && mode != kModeCBC) || bs == 0 || n == 0) return 0;
  if (n % bs != 0) throw std::invalid_argument("EncryptBlocks takes whole blocks");
  EnsureChain();
  EncryptRun(in, out, n / bs);
  return n;
}

size_t XBlockCipher::EncryptFinal(const uint8_t* in, size_t n, uint8_t* out) {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey);
  const uint32_t bs = KnownBlockSize();
  if ((mode != kModeECB && mode != kModeCBC) || bs == 0 || n == 0) return 0;
  if (n >= bs) throw std::invalid_argument("EncryptFinal takes less than a block");
  EnsureChain();
  ScratchBlock last(bs);
  std::memcpy(last.data(), in, n);
  std::memset(last.data() + n, filler, bs - n);
  EncryptRun(last.data(), out, 1);
  return bs;
}

size_t XBlockCipher::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t n) {
  if (!KeySet()) throw XCryptoAlarm(alarm_text::kInvalidKey);
  const uint32_t bs = KnownBlockSize();
  if (bs == 0 || n % bs != 0) throw XCryptoAlarm(alarm_text::kUnableToDecrypt);
  if (mode != kModeECB && mode != kModeCBC) return 0;
  if (n == 0) return 0;
  EnsureChain();
  DecryptRun(in, out, n / bs);
  return n;
}
