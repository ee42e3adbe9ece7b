// Replays a fuzz target's saved corpus (tests/fuzz/corpus/<target>/) as a
// plain test, so every build (the sanitizer build and the cross build under
// Wine included) runs the inputs the fuzzer found interesting. A finding
// aborts the test with the check's text; the trace names the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzReplay, SavedCorpus) {
  const fs::path corpus(ORVO_FUZZ_CORPUS_DIR);
  // A new target runs before its first corpus is saved; a saved folder must not be empty.
  if (!fs::exists(corpus)) GTEST_SKIP() << "no saved corpus yet: " << corpus.string();
  ASSERT_TRUE(fs::is_directory(corpus)) << corpus.string();
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no inputs in " << corpus.string();
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream stream(file, std::ios::binary);
    ASSERT_TRUE(stream.good());
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
  }
}

}  // namespace
