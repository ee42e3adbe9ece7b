// RandomBytes: the counter construction, checked exactly with a replaced clock
// and entropy source against an independent implementation over Python's
// hashlib; and the real sources.
#include "digest/random.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "digest/md5.h"
#include "digest/test_hooks.h"
#include "tests/digest/digest_inputs.h"

namespace {

using namespace orvo::test;

uint32_t g_clock = 0;
std::vector<uint8_t> g_entropy;
int g_clockReads = 0;
std::vector<uint32_t> g_entropyRequests;

uint32_t FixedClock() {
  ++g_clockReads;
  return g_clock;
}

void FixedEntropy(uint8_t* out, uint32_t n) {
  g_entropyRequests.push_back(n);
  ASSERT_LE(n, g_entropy.size());
  std::memcpy(out, g_entropy.data(), n);
}

class RandomTest : public ::testing::Test {
 protected:
  void TearDown() override { orvo::SetRandomSourcesForTesting(nullptr); }

  static void UseFixed(uint32_t clock, const std::vector<uint8_t>& entropy) {
    g_clock = clock;
    g_entropy = entropy;
    g_clockReads = 0;
    g_entropyRequests.clear();
    const orvo::RandomSources fixed{FixedClock, FixedEntropy};
    orvo::SetRandomSourcesForTesting(&fixed);
  }
};

TEST_F(RandomTest, CounterConstructionVectors) {
  const auto records = ReadVecFile("digest/random_counter.vec");
  ASSERT_GE(records.size(), 10u);
  for (const VecRecord& r : records) {
    UseFixed(static_cast<uint32_t>(r.Number("Clock")), r.Bytes("Entropy"));
    const uint32_t n = static_cast<uint32_t>(r.Number("N"));
    const XBlob out = RandomBytes(n);
    EXPECT_EQ(ToHexText(out), r.Get("Out")) << r.Where();
    EXPECT_EQ(out.size, n);
    EXPECT_EQ(g_clockReads, 1) << r.Where();
    EXPECT_EQ(g_entropyRequests, std::vector<uint32_t>{12}) << "counter bytes 4 to 15, " << r.Where();
    if (n >= 16) {  // the first block is MD5 of the started counter
      XBlob head(out);
      head.size = 16;
      EXPECT_TRUE(MD5Digest(r.Blob("Counter")).Equals(head)) << r.Where();
    }
  }
}

TEST_F(RandomTest, SameSecondAndEntropyGiveTheSameBytesAndLongerIsAnExtension) {
  UseFixed(1700000000, std::vector<uint8_t>(12, 0x42));
  const XBlob a = RandomBytes(33);
  const XBlob b = RandomBytes(33);
  EXPECT_TRUE(a.Equals(b));
  XBlob prefix = RandomBytes(50);
  prefix.size = 33;
  EXPECT_TRUE(prefix.Equals(a));
  EXPECT_EQ(RandomBytes(0).size, 0u);
}

TEST_F(RandomTest, SystemEntropyMakesCallsInOneSecondDiffer) {
  const orvo::RandomSources clockOnly{FixedClock, orvo::SystemEntropy};
  g_clock = 1700000000;
  orvo::SetRandomSourcesForTesting(&clockOnly);
  const XBlob a = RandomBytes(16);
  const XBlob b = RandomBytes(16);
  EXPECT_EQ(a.size, 16u);
  EXPECT_FALSE(a.Equals(b));

  orvo::SetRandomSourcesForTesting(nullptr);  // the real clock too
  const XBlob c = RandomBytes(17);
  const XBlob d = RandomBytes(17);
  EXPECT_EQ(c.size, 17u);
  EXPECT_FALSE(c.Equals(d));
}

}  // namespace

namespace {

uint32_t ZeroClock() { return 0; }
void ZeroEntropy(uint8_t* out, uint32_t n) { std::memset(out, 0, n); }

// Sources swapped while another thread draws: each draw uses a whole source
// of one set or the other (under ThreadSanitizer: no data race on them).
TEST(RandomSourcesTest, SwappedWhileAnotherThreadDraws) {
  std::atomic<bool> stop{false};
  std::atomic<int> draws{0};
  std::thread drawer([&] {
    while (!stop.load()) {
      EXPECT_EQ(RandomBytes(20).size, 20u);
      ++draws;
    }
  });
  const orvo::RandomSources zero{ZeroClock, ZeroEntropy};
  // Swaps until the other thread has drawn a few hundred times in between.
  for (int i = 0; draws.load() < 300; ++i) orvo::SetRandomSourcesForTesting(i % 2 == 0 ? &zero : nullptr);
  stop = true;
  drawer.join();
  orvo::SetRandomSourcesForTesting(nullptr);
}

}  // namespace
