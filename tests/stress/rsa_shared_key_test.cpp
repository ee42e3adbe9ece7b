// One RSA key shared by several threads at once, through the core (a const
// XRSAKey) and through the C library (a const orvo_rsa handle): each thread
// verifies, signs, encrypts and decrypts with the same fresh key, so the
// derived values the operations keep (Montgomery constants, the check of the
// CRT numbers) are made while other threads use them. Expected values come
// from the Python reference (tests/data/rsa/rsa_keys.vec). Run under
// ThreadSanitizer (preset tsan) or AddressSanitizer this is the race check.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "orvocrypto.h"
#include "rsa/rsa_key.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ReadVecFile;
using orvo::test::ToHexText;

constexpr int kThreads = 4;
constexpr int kRounds = 6;  // a fresh key each round

struct Vector {
  std::vector<uint8_t> privateBlob, publicBlob, data, signature;
};

std::vector<Vector> SignVectors() {
  std::vector<Vector> out;
  for (const auto& record : ReadVecFile("rsa/rsa_keys.vec")) {
    if (record.section != "Sign") continue;
    out.push_back({record.Bytes("Private"), record.Bytes("Public"), record.Bytes("Data"), record.Bytes("Signature")});
  }
  return out;
}

// Runs work(thread) on kThreads threads released together; returns how many
// checks failed.
int RunTogether(const std::function<int(int)>& work) {
  std::atomic<int> ready{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      failed.fetch_add(work(t));
    });
  }
  for (auto& thread : threads) thread.join();
  return failed.load();
}

TEST(SharedRsaKeyTest, OneConstCoreKeyServesThreadsAtOnce) {
  const std::vector<Vector> vectors = SignVectors();
  ASSERT_FALSE(vectors.empty());
  for (int round = 0; round < kRounds; ++round) {
    for (const Vector& v : vectors) {
      XRSAKey owned;
      owned.SetPrivateBlob(BlobOf(v.privateBlob));
      owned.SetPublicBlob(BlobOf(v.publicBlob));
      const XRSAKey& key = owned;
      const XBlob data = BlobOf(v.data);
      const XBlob signature = BlobOf(v.signature);
      const std::string expected = ToHexText(signature);
      const int failed = RunTogether([&](int t) {
        int bad = 0;
        // Each thread starts with another operation, so every derived value
        // is first made while other threads ask for it.
        for (int i = 0; i < 4; ++i) {
          switch ((i + t) % 4) {
            case 0: bad += key.Verify(data, signature) != 1; break;
            case 1: bad += ToHexText(key.Sign(data)) != expected; break;
            case 2: bad += !key.Decrypt(key.Encrypt(data)).Equals(data); break;
            default: bad += !key.Decrypt(XBlob(16)).Equals(XBlob(16)) || key.Verify(signature, signature) != 0;
          }
        }
        return bad;
      });
      EXPECT_EQ(failed, 0) << "round " << round;
    }
  }
}

TEST(SharedRsaKeyTest, OneConstCHandleServesThreadsAtOnce) {
  const std::vector<Vector> vectors = SignVectors();
  ASSERT_FALSE(vectors.empty());
  for (int round = 0; round < kRounds; ++round) {
    for (const Vector& v : vectors) {
      orvo_rsa* owned = nullptr;
      ASSERT_EQ(orvo_rsa_new(&owned), ORVO_OK);
      ASSERT_EQ(orvo_rsa_set_private_key(owned, v.privateBlob.data(), v.privateBlob.size()), ORVO_OK);
      ASSERT_EQ(orvo_rsa_set_public_key(owned, v.publicBlob.data(), v.publicBlob.size()), ORVO_OK);
      const orvo_rsa* rsa = owned;
      const std::vector<uint8_t>& data = v.data;
      const int failed = RunTogether([&](int t) {
        int bad = 0;
        for (int i = 0; i < 3; ++i) {
          orvo_buffer out = ORVO_BUFFER_INIT;
          orvo_buffer back = ORVO_BUFFER_INIT;
          int valid = -1;
          switch ((i + t) % 3) {
            case 0:
              bad += orvo_rsa_verify(rsa, data.data(), data.size(), v.signature.data(), v.signature.size(), &valid) !=
                         ORVO_OK ||
                     valid != 1;
              break;
            case 1:
              bad += orvo_rsa_sign(rsa, data.data(), data.size(), &out) != ORVO_OK ||
                     std::vector<uint8_t>(static_cast<uint8_t*>(out.data),
                                          static_cast<uint8_t*>(out.data) + out.size) != v.signature;
              break;
            default:
              bad += orvo_rsa_encrypt(rsa, data.data(), data.size(), &out) != ORVO_OK ||
                     orvo_rsa_decrypt(rsa, out.data, out.size, &back) != ORVO_OK ||
                     std::vector<uint8_t>(static_cast<uint8_t*>(back.data),
                                          static_cast<uint8_t*>(back.data) + back.size) != data;
          }
          orvo_buffer_free(&out);
          orvo_buffer_free(&back);
        }
        return bad;
      });
      EXPECT_EQ(failed, 0) << "round " << round;
      orvo_rsa_free(owned);
    }
  }
}

}  // namespace
