// Twofish: the published vectors of the Twofish paper's submission files, the
// fixed tables rebuilt from the paper's definitions.
#include "crypto/twofish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/twofish_core.h"
#include "tests/crypto/byte_fields_paths.h"
#include "tests/crypto/cipher_checks.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::test::BlobOf;
using orvo::test::ExpectAlarm;
using orvo::test::FromHexText;
using orvo::test::ReadVecFile;
using orvo::test::ToHexText;
using orvo::test::VecRecord;

// k (4 bytes, big-endian) followed by the key bytes.
XBlob TwofishKeyBlob(uint32_t k, const std::vector<uint8_t>& key) {
  XBlob blob(16);
  blob.InsertLong(k);
  blob.Append(key.data(), static_cast<uint32_t>(key.size()));
  return blob;
}

// ECB_IVAL and the three 49-step ECB_TBL chains, both directions, in place too.
TEST(TwofishTest, PublishedVectors) {
  const auto records = ReadVecFile("crypto/twofish.vec");
  ASSERT_EQ(records.size(), 3u + 3 * 49);
  for (const auto& rec : records) {
    SCOPED_TRACE(rec.Where());
    const std::vector<uint8_t> key = rec.Bytes("Key");
    const std::vector<uint8_t> pt = rec.Bytes("PT");
    const std::vector<uint8_t> ct = rec.Bytes("CT");
    ASSERT_TRUE(key.size() == 16 || key.size() == 24 || key.size() == 32);
    ASSERT_EQ(pt.size(), 16u);
    orvo::twofish::Schedule schedule;
    orvo::twofish::ExpandKey(key.data(), static_cast<uint32_t>(key.size() / 8), schedule);
    uint8_t out[16];
    orvo::twofish::EncryptBlock(schedule, pt.data(), out);
    EXPECT_EQ(ToHexText(out, 16), ToHexText(ct.data(), ct.size()));
    orvo::twofish::DecryptBlock(schedule, ct.data(), out);
    EXPECT_EQ(ToHexText(out, 16), ToHexText(pt.data(), pt.size()));
    std::memcpy(out, pt.data(), 16);
    orvo::twofish::EncryptBlock(schedule, out, out);
    EXPECT_EQ(ToHexText(out, 16), ToHexText(ct.data(), ct.size()));
  }
}

// The paper's vectors through XTwofish: key blob, block operations and the
// engine in ECB.
TEST(TwofishTest, PublishedVectorsThroughTheObject) {
  for (const VecRecord& rec : ReadVecFile("crypto/twofish.vec")) {
    if (rec.section != "ECB_IVAL" && rec.Get("I") != "49") continue;
    SCOPED_TRACE(rec.Where());
    const std::vector<uint8_t> key = rec.Bytes("Key");
    XTwofish c;
    c.Setup(XBlockCipher::kModeECB, 0);
    c.SetKey(TwofishKeyBlob(static_cast<uint32_t>(key.size() / 8), key));
    const std::vector<uint8_t> pt = rec.Bytes("PT");
    const std::vector<uint8_t> ct = rec.Bytes("CT");
    uint8_t out[16];
    c.EncryptBlock(pt.data(), out);
    EXPECT_EQ(ToHexText(out, 16), ToHexText(ct.data(), 16));
    EXPECT_EQ(ToHexText(c.Encrypt(BlobOf(pt))), ToHexText(ct.data(), 16));
    EXPECT_EQ(ToHexText(c.Decrypt(BlobOf(ct))), ToHexText(pt.data(), 16));
  }
}

// The bulk runs (four blocks in flight, then one at a time) on each path
// against the one-block function chained by hand, with a 256-bit key.
TEST(TwofishTest, BulkRunsMatchTheBlockFunction) {
  namespace tf = orvo::twofish;
  std::vector<uint8_t> key(32);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(7 * i + 1);
  tf::Schedule schedule;
  tf::ExpandKey(key.data(), 4, schedule);
  orvo::test::BulkRuns runs;
  runs.blockSize = tf::kBlockSize;
  runs.encryptBlock = [&](const uint8_t* in, uint8_t* out) { tf::EncryptBlock(schedule, in, out); };
  runs.encryptECB = [&](const uint8_t* in, uint8_t* out, size_t n) { tf::EncryptECB(schedule, in, out, n); };
  runs.decryptECB = [&](const uint8_t* in, uint8_t* out, size_t n) { tf::DecryptECB(schedule, in, out, n); };
  runs.encryptCBC = [&](const uint8_t* in, uint8_t* out, size_t n, uint8_t* iv) {
    tf::EncryptCBC(schedule, in, out, n, iv);
  };
  runs.decryptCBC = [&](const uint8_t* in, uint8_t* out, size_t n, uint8_t* iv) {
    tf::DecryptCBC(schedule, in, out, n, iv);
  };
  orvo::test::OnEachByteFieldsPath([&] { orvo::test::ExpectBulkRunsMatchTheBlockFunction(runs); });
}

// q0 and q1 from the 4-bit permutations t0..t3 of the Twofish paper (4.3.5).
uint8_t BuildQ(const uint8_t (&t)[4][16], uint8_t x) {
  auto ror4 = [](uint8_t v) { return static_cast<uint8_t>(((v >> 1) | (v << 3)) & 15); };
  uint8_t a = x >> 4;
  uint8_t b = x & 15;
  uint8_t a1 = a ^ b;
  uint8_t b1 = (a ^ ror4(b) ^ (8 * a)) & 15;
  a = t[0][a1];
  b = t[1][b1];
  a1 = a ^ b;
  b1 = (a ^ ror4(b) ^ (8 * a)) & 15;
  return static_cast<uint8_t>(16 * t[3][b1] + t[2][a1]);
}

uint8_t GfMul(uint8_t a, uint8_t b, unsigned polynomial) {
  unsigned product = 0;
  for (unsigned x = a, y = b; y != 0; y >>= 1) {
    if (y & 1) product ^= x;
    x <<= 1;
    if (x & 0x100) x ^= polynomial;
  }
  return static_cast<uint8_t>(product);
}

TEST(TwofishTest, FixedTablesMatchThePaper) {
  const uint8_t t0[4][16] = {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
                             {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
                             {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
                             {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}};
  const uint8_t t1[4][16] = {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
                             {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
                             {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
                             {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}};
  // MDS (4.3.2) over GF(2^8) mod x^8+x^6+x^5+x^3+1; RS (4.3) mod x^8+x^6+x^3+x^2+1.
  const uint8_t mds[4][4] = {{0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01},
                             {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
  const uint8_t rs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                            {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                            {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                            {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};
  for (unsigned x = 0; x < 256; ++x) {
    const uint8_t q0 = BuildQ(t0, static_cast<uint8_t>(x));
    const uint8_t q1 = BuildQ(t1, static_cast<uint8_t>(x));
    ASSERT_EQ(orvo::twofish::kQ0[x], q0) << "x = " << x;
    ASSERT_EQ(orvo::twofish::kQ1[x], q1) << "x = " << x;
    for (unsigned j = 0; j < 4; ++j) {
      const uint8_t y = (j % 2 == 0) ? q1 : q0;  // the last q of byte position j
      uint32_t word = 0;
      for (unsigned row = 0; row < 4; ++row) word |= uint32_t{GfMul(mds[row][j], y, 0x169)} << (8 * row);
      ASSERT_EQ(orvo::twofish::kMdsQ.col[j][x], word) << "j = " << j << ", x = " << x;
    }
    for (unsigned c = 0; c < 8; ++c) {
      uint32_t word = 0;
      for (unsigned row = 0; row < 4; ++row) {
        word |= uint32_t{GfMul(rs[row][c], static_cast<uint8_t>(x), 0x14D)} << (8 * row);
      }
      ASSERT_EQ(orvo::twofish::kRs.col[c][x], word) << "c = " << c << ", x = " << x;
    }
  }
}

}  // namespace
