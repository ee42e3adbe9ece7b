// RandomBytes: an MD5 counter construction started from the clock.
#include "digest/random.h"

#include <atomic>
#include <ctime>

#include "base/wipe.h"
#include "digest/md5.h"
#include "digest/test_hooks.h"

namespace {

uint32_t SystemClock() { return static_cast<uint32_t>(std::time(nullptr)); }

// The sources in use. A test may replace them while other threads draw:
// each pointer is read and written whole (atomics), so a draw sees either
// source of a pair as it was or as it became, never a torn pointer.
std::atomic<uint32_t (*)()> g_clock{SystemClock};
std::atomic<void (*)(uint8_t*, uint32_t)> g_entropy{orvo::SystemEntropy};

// counter = (counter + addend) mod 2^128, both big-endian, byte 15 first.
void Add128(uint8_t counter[16], const uint8_t addend[16]) {
  unsigned carry = 0;
  for (int i = 15; i >= 0; --i) {
    const unsigned sum = counter[i] + addend[i] + carry;
    counter[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
}

void Increment128(uint8_t counter[16]) {
  for (int i = 15; i >= 0; --i) {
    if (++counter[i] != 0) break;
  }
}

}  // namespace

#if ORVO_TEST_HOOKS
namespace orvo {

RandomSources SetRandomSourcesForTesting(const RandomSources* sources) {
  const RandomSources next = sources != nullptr ? *sources : RandomSources{SystemClock, SystemEntropy};
  return RandomSources{g_clock.exchange(next.clock), g_entropy.exchange(next.entropy)};
}

}  // namespace orvo
#endif

XBlob RandomBytes(uint32_t n) {
  const uint32_t t = g_clock.load()();
  XBlob clockBytes(4);
  clockBytes.InsertLong(t);
  const XBlob k = MD5Digest(clockBytes);

  XBlob counter(16);
  counter.Append(clockBytes.data, 4);
  counter.size = 16;
  g_entropy.load()(counter.data + 4, 12);
  Add128(counter.data, k.data);

  XBlob output(n);
  while (output.size < n) {
    const XBlob block = MD5Digest(counter);
    const uint32_t take = n - output.size < 16 ? n - output.size : 16;
    output.Append(block.data, take);
    Increment128(counter.data);
  }
  return output;
}
