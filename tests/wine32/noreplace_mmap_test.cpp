// mmap with MAP_FIXED_NOREPLACE as the kernel defines it: the range is mapped
// at the address asked for, or the call fails with EEXIST when the range meets
// a mapping (and that mapping is left alone). Natively this checks the test
// against the kernel; in the 32-bit build it runs under qemu-i386 with
// scripts/wine32/noreplace-mmap.c preloaded, which gives qemu-user 7.2 (it
// takes the flag as a hint) these semantics for 32-bit Wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

namespace {

const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

// Five pages of address space: [0] and [4] stay reserved as guards, [1..3]
// are what the cases map into.
class NoReplaceMmap : public ::testing::Test {
 protected:
  void SetUp() override {
    void* p = mmap(nullptr, 5 * kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, p);
    base_ = static_cast<char*>(p);
  }
  void TearDown() override { munmap(base_, 5 * kPage); }
  char* page(int i) const { return base_ + i * kPage; }

  static void* MapNoReplace(void* at, size_t len) {
    return mmap(at, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  }

  char* base_ = nullptr;
};

TEST_F(NoReplaceMmap, FreeRangeIsMappedAtTheAddressAskedFor) {
  ASSERT_EQ(0, munmap(page(1), 3 * kPage));
  void* p = MapNoReplace(page(1), 3 * kPage);
  ASSERT_EQ(static_cast<void*>(page(1)), p);
  std::memset(p, 0x5a, 3 * kPage);  // writable, all of it
  EXPECT_EQ(0x5a, page(3)[kPage - 1]);
}

TEST_F(NoReplaceMmap, RangeMeetingAMappingFailsWithEexist) {
  ASSERT_EQ(0, munmap(page(1), 3 * kPage));
  char* taken = static_cast<char*>(
      mmap(page(2), kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0));
  ASSERT_EQ(page(2), taken);
  taken[0] = 7;
  struct Case {
    const char* what;
    int first;
    size_t pages;
  } cases[] = {
      {"the same page", 2, 1},
      {"ending inside it", 1, 2},
      {"starting inside it", 2, 2},
      {"around it", 1, 3},
      {"a length short of a page, inside it", 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    size_t len = c.pages ? c.pages * kPage : 16;
    EXPECT_EQ(MAP_FAILED, MapNoReplace(page(c.first), len));
    EXPECT_EQ(EEXIST, errno);
  }
  EXPECT_EQ(7, taken[0]) << "the mapping in the way was replaced";
  // The pages next to it are still free: each maps where asked.
  EXPECT_EQ(static_cast<void*>(page(1)), MapNoReplace(page(1), kPage));
  EXPECT_EQ(static_cast<void*>(page(3)), MapNoReplace(page(3), kPage));
}

TEST_F(NoReplaceMmap, FileMappingWithAnOffset) {
  FILE* f = tmpfile();
  ASSERT_NE(nullptr, f);
  for (size_t i = 0; i < 2 * kPage; i++) fputc(static_cast<int>(i / kPage + 1), f);
  fflush(f);
  ASSERT_EQ(0, munmap(page(1), kPage));
  void* p = mmap(page(1), kPage, PROT_READ, MAP_PRIVATE | MAP_FIXED_NOREPLACE, fileno(f), kPage);
  ASSERT_EQ(static_cast<void*>(page(1)), p);
  EXPECT_EQ(2, page(1)[0]);
  errno = 0;
  EXPECT_EQ(MAP_FAILED, mmap(page(1), kPage, PROT_READ, MAP_PRIVATE | MAP_FIXED_NOREPLACE, fileno(f), 0));
  EXPECT_EQ(EEXIST, errno);
  fclose(f);
}

}  // namespace
