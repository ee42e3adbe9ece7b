// Results past 4 GiB - 1 through the scripting members, under the aliased
// block allocator (tests/support/aliased_blob_allocator.h), so a Blob of
// gigabytes costs megabytes. A member whose result would not fit a Blob
// fails with E_OUTOFMEMORY and no text, and leaves every Blob as it was: the
// same block, capacity and size, and no block asked for.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/objects/object_test_support.h"
#include "tests/support/aliased_blob_allocator.h"
#include "tests/support/vec_file.h"

namespace orvotest {
namespace {

constexpr uint32_t kMax = XBlob::kMaxSize;

class SizeLimitTest : public ObjectsTest {
 protected:
  // A test Blob whose content is `size` bytes (of meaningless value) in a block of `capacity`.
  TestBlob* LargeBlob(uint32_t capacity, uint32_t size) {
    TestBlob* blob = NewBlob();
    FreeWithoutWipe(blob->content);
    blob->content = orvotest::LargeBlob(capacity, size);
    large_.push_back(blob);
    return blob;
  }
  void TearDown() override {
    for (TestBlob* blob : large_) FreeWithoutWipe(blob->content);
    ObjectsTest::TearDown();
  }

  // Runs `call`, which must fail with E_OUTOFMEMORY, and checks that `blob` is as it was.
  template <class Call>
  void ExpectOversized(TestBlob* blob, Call call, const char* where) {
    const XBlob& x = blob->content;
    const uint8_t* data = x.data;
    const uint32_t capacity = x.capacity, size = x.size;
    const size_t blocks = LargeBlocksAsked();
    ExpectFailure(call(), E_OUTOFMEMORY, nullptr, where);
    EXPECT_EQ(x.data, data) << where;
    EXPECT_EQ(x.capacity, capacity) << where;
    EXPECT_EQ(x.size, size) << where;
    EXPECT_EQ(LargeBlocksAsked() - blocks, 0u) << where << ": no large block for a result that cannot fit";
  }

 private:
  std::vector<TestBlob*> large_;
};

// Set b = misc.Random(2147483647): misc.InsertBlobToBlob b, 0, b would make
// 4 + 2 * (2^31 - 1) = 2^32 bytes. Sizes added in 32 bits wrapped to 2 and the
// record was copied past the end of the Blob's block.
TEST_F(SizeLimitTest, MiscInsertsPastTheLimitFailAndLeaveTheBlob) {
  IDispatch* misc = Create(CLSID_CryptoMisc);
  TestBlob* b = LargeBlob(0x80000000u, 0x7FFFFFFFu);
  ExpectOversized(b, [&] { return CallStatement(misc, "InsertBlobToBlob", {Disp(b), I4(0), Disp(b)}); },
                  "InsertBlobToBlob b into b");

  TestBlob* full = LargeBlob(kMax, kMax - 10);
  TestBlob* seven = NewBlob(Bytes(7, 0x42));
  ExpectOversized(full, [&] { return CallStatement(misc, "InsertBlobToBlob", {Disp(full), I4(5), Disp(seven)}); },
                  "InsertBlobToBlob, 4 + 7 bytes into 4 GiB - 11");
  TestBlob* nearlyFull = LargeBlob(kMax, kMax - 3);
  ExpectOversized(nearlyFull, [&] { return CallStatement(misc, "InsertLongToBlob", {Disp(nearlyFull), I4(0), I4(7)}); },
                  "InsertLongToBlob, 4 bytes into 4 GiB - 4");
  EXPECT_EQ(Bytes(7, 0x42), seven->Bytes());
}

// Sealed data would pass 4 GiB - 1: the symmetric padding adds up to a block
// to the input, RSA turns every k - 42 bytes into k (a key of k bytes).
TEST_F(SizeLimitTest, SealedDataPastTheLimitFails) {
  for (const CLSID* clsid : {&CLSID_CryptoAES, &CLSID_CryptoTwofish, &CLSID_CryptoBlowfish}) {
    IDispatch* cipher = Create(*clsid);
    ASSERT_EQ(S_OK, CallStatement(cipher, "KeyGen", {Disp(NewBlob(Hex("73656564"))), I4(16)}).hr);
    TestBlob* data = LargeBlob(kMax, kMax - 3);  // not a whole number of blocks: padded past the limit
    ExpectOversized(data, [&] { return CallMethod(cipher, "Encrypt", {Disp(data)}); }, "symmetric Encrypt");
  }
  for (const auto& r : orvo::test::ReadVecFile("rsa/rsa_keys.vec")) {
    if (!r.Has("Public")) continue;
    IDispatch* rsa = Create(CLSID_CryptoRSA);
    ASSERT_EQ(S_OK, PutProperty(rsa, "PublicKey", Disp(NewBlob(r.Bytes("Public")))).hr) << r.Where();
    TestBlob* data = LargeBlob(kMax, kMax);
    ExpectOversized(data, [&] { return CallMethod(rsa, "Encrypt", {Disp(data)}); }, "RSA Encrypt");
    break;
  }
}

}  // namespace
}  // namespace orvotest
