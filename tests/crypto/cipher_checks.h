// Checks shared by the cipher tests: the engine's results through a cipher's
// bulk paths against its single-block operations, refused key blobs, the wipe
// on destruction.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "crypto/block_cipher.h"
#include "tests/support/alarm_checks.h"
#include "tests/support/vec_file.h"

namespace orvo::test {

// What the engine must give, computed block by block with EncryptBlock and
// DecryptBlock: `data` (padded with `filler`) through ECB or CBC from the
// chaining value `chain`, which is left as the engine leaves its register.
inline std::vector<uint8_t> ReferenceRun(const XBlockCipher& c, uint32_t mode, bool encrypt,
                                         std::vector<uint8_t> data, uint8_t filler, std::vector<uint8_t>& chain) {
  const size_t bs = c.BlockSize();
  while (data.size() % bs != 0) data.push_back(filler);
  std::vector<uint8_t> out(data.size());
  std::vector<uint8_t> block(bs);
  for (size_t at = 0; at < data.size(); at += bs) {
    const uint8_t* in = data.data() + at;
    uint8_t* result = out.data() + at;
    if (encrypt) {
      for (size_t i = 0; i < bs; ++i) block[i] = mode == XBlockCipher::kModeCBC ? in[i] ^ chain[i] : in[i];
      c.EncryptBlock(block.data(), result);
      std::memcpy(chain.data(), result, bs);
    } else {
      c.DecryptBlock(in, result);
      if (mode == XBlockCipher::kModeCBC) {
        for (size_t i = 0; i < bs; ++i) result[i] ^= chain[i];
        std::memcpy(chain.data(), in, bs);
      } else {
        std::memcpy(chain.data(), result, bs);
      }
    }
  }
  return out;
}

// The engine over several lengths, two calls in a row on one object (so the
// chaining register carries over), against ReferenceRun: covers every group
// size and remainder of the cipher's bulk paths.
inline void ExpectEngineMatchesBlocks(XBlockCipher& c) {
  const size_t bs = c.BlockSize();
  for (const uint32_t mode : {XBlockCipher::kModeECB, XBlockCipher::kModeCBC}) {
    for (const bool encrypt : {true, false}) {
      for (const size_t blocks : {0, 1, 2, 3, 4, 5, 7, 9, 64}) {
        const size_t extra = encrypt ? 3 : 0;  // a partial last block where allowed
        SCOPED_TRACE(testing::Message() << "mode " << mode << (encrypt ? " encrypt " : " decrypt ") << blocks
                                        << " blocks + " << extra);
        c.Setup(mode, 0xA5);
        std::vector<uint8_t> chain(bs, 0);
        for (int call = 0; call < 2; ++call) {
          std::vector<uint8_t> data(blocks * bs + extra);
          for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + call * 13 + blocks);
          const std::vector<uint8_t> want = ReferenceRun(c, mode, encrypt, data, 0xA5, chain);
          const XBlob got = encrypt ? c.Encrypt(BlobOf(data)) : c.Decrypt(BlobOf(data));
          ASSERT_EQ(ToHexText(got), ToHexText(want.data(), want.size())) << "call " << call;
          ASSERT_EQ(ToHexText(c.chain, c.BlockSize()), ToHexText(chain.data(), bs)) << "register after call " << call;
        }
      }
    }
  }
}

// The destructor leaves no key byte (all equal to `keyByte`) in the object's
// storage, and almost nothing non-zero (the vtable and chain pointers and a
// few small fields).
template <typename Cipher>
void ExpectDestructionWipes(const XBlob& keyBlob, uint8_t keyByte) {
  alignas(Cipher) unsigned char storage[sizeof(Cipher)];
  Cipher* c = new (storage) Cipher;
  c->Setup(XBlockCipher::kModeCBC, 0);
  c->SetKey(keyBlob);
  c->~Cipher();
  size_t keyBytes = 0;
  size_t set = 0;
  for (const unsigned char b : storage) {
    keyBytes += b == keyByte ? 1 : 0;
    set += b != 0 ? 1 : 0;
  }
  EXPECT_LT(keyBytes, 4u) << "key bytes survive the destructor";
  EXPECT_LT(set, 24u) << "key state survives the destructor";
}

// A key blob that SetKey must refuse, and why.
struct RejectedBlob {
  const char* what;
  std::string hex;
};

// SetKey refuses every blob of `cases` with "Data is corrupted" naming
// `name`, on a fresh cipher (which stays without a key) and on one keyed with
// `keyBlob`, which keeps its key: the same blob back, the same ciphertext, and
// whatever `alsoCheck` looks at.
template <typename Cipher>
void ExpectRejectedBlobsKeepTheKey(const XBlob& keyBlob, const std::vector<RejectedBlob>& cases, const char* name,
                                   const std::function<void(const Cipher&)>& alsoCheck = nullptr) {
  Cipher fresh;
  fresh.Setup(XBlockCipher::kModeECB, 0);
  Cipher keyed;
  keyed.Setup(XBlockCipher::kModeECB, 0);
  keyed.SetKey(keyBlob);
  const XBlob text = BlobOf(std::string("sixteen bytes!!!"));
  const std::string before = ToHexText(keyed.Encrypt(text));
  for (const RejectedBlob& c : cases) {
    SCOPED_TRACE(c.what);
    const XBlob blob = BlobOf(FromHexText(c.hex));
    ExpectAlarm([&] { keyed.SetKey(blob); }, alarm_text::kDataCorrupted, name);
    ExpectAlarm([&] { fresh.SetKey(blob); }, alarm_text::kDataCorrupted, name);
    EXPECT_FALSE(fresh.KeySet());
    EXPECT_TRUE(keyed.KeySet());
    EXPECT_EQ(ToHexText(keyed.GetKey()), ToHexText(keyBlob));
    EXPECT_EQ(ToHexText(keyed.Encrypt(text)), before);
    if (alsoCheck) alsoCheck(keyed);
  }
}

}  // namespace orvo::test
