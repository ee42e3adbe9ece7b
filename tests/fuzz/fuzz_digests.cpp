// Fuzz target: the digests, the checksum and the seed expansion on arbitrary
// bytes (the tool's md5, sha1 and crc32 read them from files; every key
// generation expands a script's seed).
//
// Input: U16 split, U16 expansion length (mod 1153), Rest data.
//
// Checks: SHA-1 and CRC-32 give the same values on their hardware and
// portable paths; CRC-32 continued over two pieces equals one pass; the
// digests have their lengths; ExpandSeed gives the requested number of bytes,
// and a shorter expansion of the same seed is a prefix of a longer one.
#include <algorithm>

#include "base/test_hooks.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/seed_expansion.h"
#include "digest/sha1.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvo::fuzz::BlobOf;
using orvo::fuzz::BytesOf;

uint32_t Crc(const XBlob& data) {
  uint32_t reg = 0xFFFFFFFFu;
  return CRC32Update(reg, data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  orvo::fuzz::Input in(bytes, size);
  const uint32_t split = in.U16();
  // Each pass of the expansion hashes everything before it, so the cost grows
  // with the square of the length; 1152 bytes take 32 passes, the last
  // loop-count bucket libFuzzer tells apart below 128. Keys need at most 128.
  const uint32_t expansion = in.U16() % 1153;
  const std::vector<uint8_t> raw = in.Rest(1 << 16);
  const XBlob data = BlobOf(raw);

  FUZZ_CHECK(MD5Digest(data).size == 16);

  const XBlob sha1 = SHA1Digest(data);
  FUZZ_CHECK(sha1.size == 20);
  {
    const orvo::cpu::ScopedFeatureOverride portable(orvo::cpu::Feature::kSha);
    FUZZ_CHECK(SHA1Digest(data).Equals(sha1));
  }

  const uint32_t crc = Crc(data);
  {
    const orvo::cpu::ScopedFeatureOverride portable(orvo::cpu::Feature::kPclmulqdq);
    FUZZ_CHECK(Crc(data) == crc);
  }
  const size_t cut = std::min<size_t>(split, raw.size());
  uint32_t reg = 0xFFFFFFFFu;
  CRC32Update(reg, BlobOf(std::vector<uint8_t>(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(cut))));
  FUZZ_CHECK(CRC32Update(reg, BlobOf(std::vector<uint8_t>(raw.begin() + static_cast<std::ptrdiff_t>(cut), raw.end()))) ==
             crc);

  const XBlob seed = BlobOf(std::vector<uint8_t>(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(raw.size(), 256))));
  const XBlob longer = ExpandSeed(seed, expansion);
  FUZZ_CHECK(longer.size == expansion);
  const XBlob shorter = ExpandSeed(seed, expansion / 2);
  FUZZ_CHECK(shorter.size == expansion / 2);
  FUZZ_CHECK(shorter.size == 0 || std::equal(shorter.data, shorter.data + shorter.size, longer.data));
  return 0;
}
