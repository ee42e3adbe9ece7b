// CRC32Update: the catalogue's check value, zlib's values at every length and
// on long inputs, chaining through the caller's register, and equality with the
// one-table loop, on both the portable and the carry-less multiplication path.
#include "digest/crc32.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "base/test_hooks.h"
#include "tests/digest/digest_inputs.h"

namespace {

using namespace orvo::test;

// The reference: the one-table loop, with the table made bit by bit.
uint32_t ReferenceRegister(uint32_t reg, const uint8_t* p, uint32_t n) {
  static const auto table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) != 0 ? 0xEDB88320u : 0u);
      t[i] = c;
    }
    return t;
  }();
  for (uint32_t i = 0; i < n; ++i) reg = table[(reg ^ p[i]) & 0xff] ^ (reg >> 8);
  return reg;
}

XBlob Slice(const XBlob& blob, uint32_t from, uint32_t to) {
  XBlob part(16);
  part.Append(blob.data + from, to - from);
  return part;
}

// CRC32Update over bytes that start anywhere, not only at an allocation's
// start: a borrowed view, given back before the buffer dies.
uint32_t UpdateAt(uint32_t& reg, const uint8_t* p, uint32_t n) {
  XBlob view(0);
  uint8_t* const own = view.data;
  view.data = const_cast<uint8_t*>(p);
  view.size = view.capacity = n;
  const uint32_t crc = CRC32Update(reg, view);
  view.data = own;
  view.size = view.capacity = 0;
  return crc;
}

class Crc32Test : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && !orvo::Crc32HardwareAvailable()) GTEST_SKIP() << "no carry-less multiplication";
    path_.emplace(orvo::cpu::Feature::kPclmulqdq, GetParam());
  }
  void TearDown() override { path_.reset(); }

 private:
  std::optional<orvo::cpu::ScopedFeatureOverride> path_;
};

TEST_P(Crc32Test, CatalogueCheckValue) {
  const auto records = ReadVecFile("digest/crc32_catalogue.vec");
  ASSERT_EQ(records.size(), 2u);
  for (const VecRecord& r : records) {
    uint32_t reg = 0xFFFFFFFF;
    const uint32_t crc = CRC32Update(reg, RepeatedText(r));
    EXPECT_EQ(crc, r.Number("CRC32")) << r.Where();
    EXPECT_EQ(reg, ~crc) << "the register keeps the uncomplemented value";
  }
}

TEST_P(Crc32Test, EveryLengthAndLongInputs) {
  for (const VecRecord& r : ReadVecFile("digest/pattern_digests.vec")) {
    uint32_t reg = 0xFFFFFFFF;
    EXPECT_EQ(CRC32Update(reg, Pattern(static_cast<uint32_t>(r.Number("Len")))), r.Number("CRC32")) << r.Where();
  }
}

TEST_P(Crc32Test, ChainingThroughTheRegisterEqualsOneRun) {
  uint32_t reg = 0xFFFFFFFF;
  CRC32Update(reg, BlobOf(std::string("1234")));
  EXPECT_EQ(CRC32Update(reg, BlobOf(std::string("56789"))), 0xCBF43926u);

  // Every split of a 200-byte input, and splits of a long one around block
  // and fold boundaries.
  for (const uint32_t n : {200u, 100000u}) {
    const XBlob whole = Pattern(n);
    uint32_t wholeReg = 0xFFFFFFFF;
    const uint32_t expected = CRC32Update(wholeReg, whole);
    for (uint32_t split = 0; split <= n; split += (n <= 200 || split < 300 || split > n - 300) ? 1 : 997) {
      uint32_t r = 0xFFFFFFFF;
      CRC32Update(r, Slice(whole, 0, split));
      ASSERT_EQ(CRC32Update(r, Slice(whole, split, n)), expected) << n << " split at " << split;
    }
  }
}

TEST_P(Crc32Test, NoBytesLeaveTheRegister) {
  uint32_t reg = 0xFFFFFFFF;
  EXPECT_EQ(CRC32Update(reg, XBlob(0)), 0u);
  EXPECT_EQ(reg, 0xFFFFFFFFu);
  reg = 0x12345678;
  EXPECT_EQ(CRC32Update(reg, XBlob(16)), ~0x12345678u);
  EXPECT_EQ(reg, 0x12345678u);
}

TEST_P(Crc32Test, SameRegisterAsTheOneTableLoopFromAnyStart) {
  std::mt19937 rng(20261210);
  const XBlob input = Pattern(10000);
  std::vector<uint32_t> lengths;
  for (uint32_t n = 0; n < 1100; ++n) lengths.push_back(n);
  // Long inputs run in three stretches side by side, with any remainder.
  for (uint32_t n = 1500; n < 1700; ++n) lengths.push_back(n);
  for (uint32_t n : {3000u, 4799u, 4800u, 4801u, 9983u}) lengths.push_back(n);
  for (const uint32_t n : lengths) {
    const uint32_t start = rng();
    const uint32_t offset = rng() % 17;  // any alignment
    uint32_t reg = start;
    UpdateAt(reg, input.data + offset, n);
    ASSERT_EQ(reg, ReferenceRegister(start, input.data + offset, n)) << "length " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Crc32Test, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "CarrylessMultiply" : "Portable"; });

}  // namespace
